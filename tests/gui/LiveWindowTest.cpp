// The main window over the core against the loopback fake of the service and a loopback
// FLV stream: monitoring switched on and off from the toolbar, live users recorded while
// the list follows, recordings stopped one by one or all at once.
#include <fstream>

#include <QApplication>
#include <QClipboard>
#include <QtTest>

#include "GuiFixture.h"
#include "GuiTests.h"
#include "gui/MessageBox.h"
#include "platform/files.h"
#include "support/FakeService.h"
#include "support/FlvStreamServer.h"

namespace qingtong::guitest {

using namespace std::chrono_literals;
using test::FakeService;
using test::FlvStreamServer;

class LiveWindowTest : public QObject {
    Q_OBJECT
    std::unique_ptr<FakeService> service;
    std::unique_ptr<FlvStreamServer> streams;
    std::unique_ptr<WindowRig> rig;

    // A user of the fake, listed in the table; live users stream from `path`.
    void addUser(const char* uid, const char* nickname, bool live, const std::string& path = {},
                 int tags = -1)
    {
        const std::string room = std::string("73000000000000000") + uid;
        service->addUser({std::string("sec") + uid, uid, nickname, std::string("d") + uid,
                          std::string("5") + uid, live, room});
        if (!path.empty()) {
            FlvStreamServer::Script script;
            script.tags = tags;
            script.interval = 3ms;
            streams->setScript(path, script);
            service->setStreamUrl(room, streams->url(path));
        }
        rig->addRow(nickname, (std::string("d") + uid).c_str(), uid);
    }

    QString downloadState(int row) const { return rig->shown(row, CellDownload); }

private slots:
    void init()
    {
        service = std::make_unique<FakeService>();
        QVERIFY(service->running());
        service->install();
        streams = std::make_unique<FlvStreamServer>();
        MonitorOptions options = WindowRig::fastOptions();
        options.sweepPause = 300ms;
        rig = std::make_unique<WindowRig>(options);
        QVERIFY(createDirectory(rig->context.settings.downloadFolder()));
    }

    void cleanup()
    {
        rig.reset();
        streams.reset();
        service.reset();
        setServiceConfig(ServiceConfig{});
    }

    // The monitoring states of the toolbar: off, on, still on after "No", off after "Yes".
    void startAndStop()
    {
        addUser("1", "青桐小站", false);
        MainWindow& w = *rig->window;
        QAction* start = rig->tool(MainWindow::ToolStart);
        QAction* stop = rig->tool(MainWindow::ToolStop);

        start->trigger();
        QTRY_COMPARE(w.statusText(), u8("当前状态 -> 监控任务进行中.."));
        QVERIFY(start->isChecked());
        QVERIFY(stop->isEnabled());
        QVERIFY(rig->controller->isMonitoring());

        // A second click while monitoring keeps the button checked and starts nothing new.
        start->trigger();
        QVERIFY(start->isChecked());
        QVERIFY(rig->controller->isMonitoring());

        MessageBox::setNextAnswer(MessageBox::No);
        stop->trigger();
        QCOMPARE(MessageBox::lastText(), u8("停止监控后将终止所有正在下载的任务，确认要停止监控？"));
        QVERIFY(rig->controller->isMonitoring());
        QVERIFY(start->isChecked());
        QVERIFY(stop->isEnabled());
        QTRY_COMPARE(rig->shown(0, CellLiveState), u8("还未开播"));

        MessageBox::setNextAnswer(MessageBox::Yes);
        stop->trigger();
        QTRY_COMPARE(w.statusText(), u8("当前状态 -> 监控任务被停止。"));
        QVERIFY(!start->isChecked());
        QVERIFY(!stop->isEnabled());
        QVERIFY(!rig->controller->isMonitoring());

        // And on again.
        start->trigger();
        QTRY_COMPARE(w.statusText(), u8("当前状态 -> 监控任务进行中.."));
        QVERIFY(rig->controller->isMonitoring());
    }

    // Rows in every state: live and recording, recorded and ended, not live. Then the
    // commands on them: copy, locate, stop one recording, stop all.
    void liveUsersRecorded()
    {
        QStringList opened;
        rig->window->setFileOpener([&opened](const QString& path) {
            opened << path;
            return true;
        });
        addUser("1", "青桐小站", true, "/a.flv");
        addUser("2", "夜猫子电台", false);
        addUser("3", "山城老火锅", true, "/c.flv", 40);
        addUser("4", "阿蓝的日常", true, "/d.flv");
        MainWindow& w = *rig->window;
        w.show();
        w.start();

        rig->tool(MainWindow::ToolStart)->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(downloadState(0), u8("正在下载"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(downloadState(2), u8("下载完成"), 10000);
        // The third user's broadcast ends; its row keeps the end text of its recording.
        service->setLive("3", false);
        QTRY_COMPARE_WITH_TIMEOUT(rig->shown(2, CellLiveState), u8("还未开播"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(downloadState(2), u8("下载完成"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(downloadState(3), u8("正在下载"), 10000);
        QCOMPARE(rig->shown(1, CellLiveState), u8("还未开播"));
        QCOMPARE(rig->shown(0, CellLiveState), u8("正在直播"));
        QCOMPARE(rig->shown(0, CellStream), QString::fromStdString(streams->url("/a.flv")));
        QVERIFY(!rig->shown(0, CellFilePath).isEmpty());
        // The file size is shown as the recording grows.
        QTRY_VERIFY_WITH_TIMEOUT(rig->shown(0, CellFileSize) != u8("0 kb") && !rig->shown(0, CellFileSize).isEmpty(),
                                 10000);

        const QByteArray shot = qgetenv("QINGTONG_SCREENSHOT");
        if (!shot.isEmpty())
            QVERIFY(w.grab().save(QString::fromLocal8Bit(shot), "PNG"));

        rig->select(0);
        w.menuAction(MainWindow::MenuCopy)->trigger();
        QCOMPARE(QApplication::clipboard()->text(), QString::fromStdString(streams->url("/a.flv")));
        w.menuAction(MainWindow::MenuLocate)->trigger();
        QCOMPARE(opened, QStringList{rig->shown(0, CellFilePath)});

        // Stop only the first recording (its user goes off the air so that it is not
        // started again); the fourth records on.
        service->setLive("1", false);
        const int boxes = MessageBox::shownCount();
        w.menuAction(MainWindow::MenuStopDownload)->trigger();
        QCOMPARE(MessageBox::shownCount(), boxes);
        QTRY_COMPARE(downloadState(0), u8("下载终止"));
        QCOMPARE(downloadState(3), u8("正在下载"));

        MessageBox::setNextAnswer(MessageBox::Yes);
        rig->tool(MainWindow::ToolStop)->trigger();
        QTRY_COMPARE(downloadState(3), u8("下载终止"));
        QCOMPARE(rig->controller->runningRecordings(), 0);
    }

    // Closing the window while a recording runs ends it promptly: the list is saved and
    // the file holds what was downloaded.
    void closeWhileRecording()
    {
        addUser("1", "青桐小站", true, "/a.flv");
        MainWindow& w = *rig->window;
        w.show();
        rig->tool(MainWindow::ToolStart)->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(downloadState(0), u8("正在下载"), 10000);
        const Text path = rig->context.list.cell(0, CellFilePath);
        QTRY_VERIFY(fileSize(path) > 0);

        w.close();
        QCOMPARE(rig->controller->runningRecordings(), 0);
        QVERIFY(!rig->controller->isMonitoring());
        QCOMPARE(readTextFile(rig->file("userList.txt")), gbk("青桐小站--d1--1\r\n"));
        const Text body = readTextFile(path);
        QVERIFY(body.size() > 9);
        QCOMPARE(body.substr(0, 3), Text("FLV"));
    }
};

} // namespace qingtong::guitest

using qingtong::guitest::LiveWindowTest;
QINGTONG_GUI_TEST(LiveWindowTest)

#include "LiveWindowTest.moc"
