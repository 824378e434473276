// The main window without a network: its shape, the table it shows, the pop-up menu's
// commands on rows written directly, and the shut-down.
#include <atomic>
#include <fstream>
#include <thread>
#include <vector>

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QToolBar>
#include <QtTest>

#include "GuiFixture.h"
#include "GuiTests.h"
#include "gui/MessageBox.h"
#include "platform/files.h"

namespace qingtong::guitest {

class MainWindowTest : public QObject {
    Q_OBJECT
    std::unique_ptr<WindowRig> rig;

private slots:
    void init() { rig = std::make_unique<WindowRig>(); }
    void cleanup() { rig.reset(); }

    void windowShape()
    {
        MainWindow& w = *rig->window;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.windowTitle(), u8("青桐抖音直播间实时监控下载(免费永久版)"));
        QCOMPARE(w.frameGeometry().topLeft(), QPoint(50, 50));
        QCOMPARE(w.frameGeometry().size(), QSize(1186, 592));

        QTreeView* list = w.findChild<QTreeView*>(u8("超级列表框1"));
        QVERIFY(list);
        const char* headers[] = {"序号", "用户昵称", "抖音号", "用户id", "直播状态", "直播房间",
                                 "直播源", "下载状态", "文件尺寸", "下载线程", "文件路径"};
        const int widths[] = {50, 100, 100, 50, 100, 60, 80, 110, 80, 80, 100};
        QCOMPARE(list->header()->count(), 11);
        for (int c = 0; c < 11; ++c) {
            QCOMPARE(list->model()->headerData(c, Qt::Horizontal).toString(), u8(headers[c]));
            QCOMPARE(list->columnWidth(c), widths[c]);
        }

        QToolBar* toolbar = w.findChild<QToolBar*>(u8("工具条1"));
        QVERIFY(toolbar);
        const QList<QAction*> tools = toolbar->actions();
        QCOMPARE(tools.size(), 7);
        const char* texts[] = {"添加监控对象", nullptr, "监控设置", nullptr, "开始监控", "停止监控", nullptr};
        for (int i = 0; i < 7; ++i) {
            QCOMPARE(tools[i]->isSeparator(), texts[i] == nullptr);
            if (texts[i])
                QCOMPARE(tools[i]->text(), u8(texts[i]));
        }
        QVERIFY(tools[4]->isCheckable());
        QVERIFY(!tools[4]->isChecked());
        QVERIFY(tools[4]->isEnabled());
        QVERIFY(!tools[5]->isEnabled());
        QVERIFY(tools[0]->isEnabled() && tools[2]->isEnabled());

        QMenu* menu = w.findChild<QMenu*>(u8("菜单"));
        QVERIFY(menu);
        const char* items[] = {"复制直播源", nullptr, "删除对象", nullptr, "停止下载", nullptr, "定位文件"};
        QCOMPARE(menu->actions().size(), 7);
        for (int i = 0; i < 7; ++i) {
            QCOMPARE(menu->actions()[i]->isSeparator(), items[i] == nullptr);
            if (items[i])
                QCOMPARE(menu->actions()[i]->text(), u8(items[i]));
        }

        QVERIFY(w.findChild<QStatusBar*>(u8("状态条1")));
        QVERIFY(!w.findChild<QLabel*>(u8("图片框1"))->isVisible());
        QVERIFY(!w.findChild<QLabel*>(u8("透明标签1"))->isVisible());
        QVERIFY(!w.findChild<QWidget*>(u8("超文本浏览框1"))->isVisible());

        // The list and the side panel follow the window.
        const int listWidth = list->width();
        w.resize(w.width() + 200, w.height() + 100);
        QTRY_COMPARE(list->width(), listWidth + 200);
    }

    // The start-up load fills the list from userList.txt off the GUI thread; the status bar
    // ends with the ready text. Starting with an empty list starts nothing.
    void startUpAndEmptyStart()
    {
        MainWindow& w = *rig->window;
        w.show();
        w.start();
        QTRY_COMPARE(w.statusText(), u8("当前状态 -> 就绪。"));
        QCOMPARE(w.model()->rowCount(), 0);

        w.toolAction(MainWindow::ToolStart)->trigger();
        QTRY_COMPARE(w.statusText(), u8("当前状态 -> 列表中没有被监控对象，请先添加监控对象再开始监控任务。"));
        QVERIFY(!w.toolAction(MainWindow::ToolStart)->isChecked());
        QVERIFY(!w.toolAction(MainWindow::ToolStop)->isEnabled());
        QVERIFY(!rig->controller->isMonitoring());
    }

    void startUpLoadsList()
    {
        QVERIFY(writeTextFile(rig->file("userList.txt"), gbk("甲--a1--11\r\nbroken line\r\n乙--b2--22\r\n")));
        MainWindow& w = *rig->window;
        w.start();
        QTRY_COMPARE(w.statusText(), u8("当前状态 -> 就绪。"));
        QTRY_COMPARE(w.model()->rowCount(), 2);
        QCOMPARE(rig->shown(1, CellSerial), u8("2"));
        QCOMPARE(rig->shown(1, CellNickname), u8("乙"));
        QCOMPARE(rig->shown(0, CellUserId), u8("11"));
    }

    // A right click selects the row under the mouse and opens the pop-up menu there.
    void popupSelectsRow()
    {
        rig->addRow("甲", "a1", "11");
        rig->addRow("乙", "b2", "22");
        MainWindow& w = *rig->window;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_COMPARE(w.model()->rowCount(), 2);
        QTreeView* list = w.listView();
        const QPoint at = list->visualRect(w.model()->index(1, 1)).center();
        emit list->customContextMenuRequested(at);
        QVERIFY(w.popupMenu()->isVisible());
        const QModelIndexList selected = list->selectionModel()->selectedRows();
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected.first().row(), 1);
        w.popupMenu()->hide();
    }

    // Every command of the pop-up menu does nothing at all without a selected row.
    void menuWithoutSelectionDoesNothing()
    {
        rig->addRow("甲", "a1", "11");
        rig->context.list.setCell(0, CellStream, "https://example.invalid/s.flv");
        QApplication::clipboard()->setText(u8("before"));
        QTRY_COMPARE(rig->window->model()->rowCount(), 1);
        rig->select(-1);
        const int boxes = MessageBox::shownCount();
        for (int item : {MainWindow::MenuCopy, MainWindow::MenuDelete, MainWindow::MenuStopDownload,
                         MainWindow::MenuLocate})
            rig->window->menuAction(item)->trigger();
        QCOMPARE(MessageBox::shownCount(), boxes);
        QCOMPARE(QApplication::clipboard()->text(), u8("before"));
        QCOMPARE(rig->context.list.rowCount(), 1);
    }

    void deleteAsksAndRenumbers()
    {
        for (const char* uid : {"11", "22", "33"})
            rig->addRow(uid, uid, uid);
        MainWindow& w = *rig->window;
        QTRY_COMPARE(w.model()->rowCount(), 3);
        rig->select(1);

        MessageBox::setNextAnswer(MessageBox::No);
        w.menuAction(MainWindow::MenuDelete)->trigger();
        QCOMPARE(MessageBox::lastText(), u8("删除对象后将从配置中移出，确认要删除该对象？"));
        QCOMPARE(rig->context.list.rowCount(), 3);

        MessageBox::setNextAnswer(MessageBox::Yes);
        w.menuAction(MainWindow::MenuDelete)->trigger();
        QTRY_COMPARE(w.model()->rowCount(), 2);
        QCOMPARE(rig->shown(0, CellUserId), u8("11"));
        QCOMPARE(rig->shown(1, CellUserId), u8("33"));
        QCOMPARE(rig->shown(0, CellSerial), u8("1"));
        QTRY_COMPARE(rig->shown(1, CellSerial), u8("2"));
    }

    // Row 0 is idle; "停止下载" tells so and changes nothing.
    void stopDownloadOnIdleRow()
    {
        rig->addRow("甲", "a1", "11");
        rig->context.list.setCell(0, CellDownload, gbk("下载完成"));
        QTRY_COMPARE(rig->window->model()->rowCount(), 1);
        rig->select(0);
        const int boxes = MessageBox::shownCount();
        MessageBox::setNextAnswer(MessageBox::Ok);
        rig->window->menuAction(MainWindow::MenuStopDownload)->trigger();
        QCOMPARE(MessageBox::shownCount(), boxes + 1);
        QCOMPARE(MessageBox::lastText(), u8("该对象未在下载状态，无需停止。"));
        QCOMPARE(rig->context.list.cell(0, CellDownload), gbk("下载完成"));
    }

    void copyStreamAddress_data()
    {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QString>("clipboard");
        QTest::newRow("address") << u8("https://127.0.0.1:1/live/甲.flv") << u8("https://127.0.0.1:1/live/甲.flv");
        QTest::newRow("fetch failed") << u8("获取失败") << u8("获取失败");
        QTest::newRow("empty keeps clipboard") << QString() << u8("before");
    }
    void copyStreamAddress()
    {
        QFETCH(QString, cell);
        QFETCH(QString, clipboard);
        rig->addRow("甲", "a1", "11");
        rig->context.list.setCell(0, CellStream, utf8ToAnsi(cell.toStdString()));
        QTRY_COMPARE(rig->window->model()->rowCount(), 1);
        QApplication::clipboard()->setText(u8("before"));
        rig->select(0);
        rig->window->menuAction(MainWindow::MenuCopy)->trigger();
        QCOMPARE(QApplication::clipboard()->text(), clipboard);
    }

    void locateFile()
    {
        QStringList opened;
        rig->window->setFileOpener([&opened](const QString& path) {
            opened << path;
            return true;
        });
        rig->addRow("甲", "a1", "11");
        rig->addRow("乙", "b2", "22");
        rig->addRow("丙", "c3", "33");
        const Text existing = rig->file("甲_202401011200.flv");
        QVERIFY(writeTextFile(existing, "FLV"));
        rig->context.list.setCell(0, CellFilePath, existing);
        rig->context.list.setCell(1, CellFilePath, rig->file("gone.flv"));
        QTRY_COMPARE(rig->window->model()->rowCount(), 3);
        for (int row : {0, 1, 2}) {
            rig->select(row);
            rig->window->menuAction(MainWindow::MenuLocate)->trigger();
        }
        QCOMPARE(opened, QStringList{QString::fromStdString(ansiToUtf8(existing))});
    }

    // Rows inserted, deleted and changed by several threads at once: once the queue has
    // drained, the list shows exactly what the table holds, row by row.
    void modelFollowsConcurrentChanges()
    {
        MonitorList& list = rig->context.list;
        for (int i = 0; i < 20; ++i)
            rig->addRow("x", "x", std::to_string(i).c_str());
        std::atomic<bool> go{false};
        std::atomic<int> finished{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&list, &go, &finished, t] {
                while (!go)
                    std::this_thread::yield();
                for (int i = 0; i < 200; ++i) {
                    const RowId id = list.appendRow();
                    list.setCellById(id, CellNickname, "t" + std::to_string(t) + "-" + std::to_string(i));
                    if (i % 3 == 0)
                        list.deleteRow(0);
                    list.setCell(i % 7, CellFileSize, std::to_string(i) + " KB");
                    if (i % 5 == 0)
                        list.deleteRowById(id);
                }
                ++finished;
            });
        }
        go = true;
        // The GUI thread applies changes while the workers still make them.
        while (finished < 4)
            QCoreApplication::processEvents();
        for (auto& thread : threads)
            thread.join();
        QTRY_COMPARE(rig->window->model()->rowCount(), list.rowCount());
        QCoreApplication::processEvents();
        const std::vector<MonitorRow> rows = list.snapshot();
        const std::vector<RowId> ids = list.ids();
        for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
            QCOMPARE(rig->window->model()->idAt(r), ids[static_cast<size_t>(r)]);
            for (int c = 0; c < kCellCount; ++c)
                QCOMPARE(rig->window->model()->cellText(r, c), rows[static_cast<size_t>(r)][static_cast<size_t>(c)]);
        }
    }

    // Closing while the start-up load still reads the list must not drop the rows it had
    // not read yet from userList.txt.
    void closeDuringStartUpKeepsEveryRow()
    {
        Text list;
        for (int i = 0; i < 20000; ++i)
            list += gbk("用户") + std::to_string(i) + "--acc" + std::to_string(i) + "--" + std::to_string(i) + "\r\n";
        QVERIFY(writeTextFile(rig->file("userList.txt"), list));
        MainWindow& w = *rig->window;
        w.show();
        w.start();
        w.close();
        QCOMPARE(readTextFile(rig->file("userList.txt")), list);
    }

    // Closing hides the window and writes every row to userList.txt, including rows the
    // start-up load read and rows added since.
    void closeSavesList()
    {
        QVERIFY(writeTextFile(rig->file("userList.txt"), gbk("甲--a1--11\r\n")));
        MainWindow& w = *rig->window;
        w.show();
        w.start();
        QTRY_COMPARE(w.model()->rowCount(), 1);
        rig->addRow("乙", "b2", "22");
        w.close();
        QVERIFY(!w.isVisible());
        QCOMPARE(readTextFile(rig->file("userList.txt")), gbk("甲--a1--11\r\n乙--b2--22\r\n"));
    }
};

} // namespace qingtong::guitest

using qingtong::guitest::MainWindowTest;
QINGTONG_GUI_TEST(MainWindowTest)

#include "MainWindowTest.moc"
