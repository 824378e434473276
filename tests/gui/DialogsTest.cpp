// The settings window and the add window, alone and opened from the toolbar.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>

#include "GuiFixture.h"
#include "GuiTests.h"
#include "gui/AddObjectDialog.h"
#include "gui/MessageBox.h"
#include "gui/SettingsDialog.h"
#include "platform/IniFile.h"
#include "platform/files.h"
#include "support/FakeService.h"

namespace qingtong::guitest {

using namespace std::chrono_literals;
using test::FakeService;

namespace {

// Runs `check` on the modal window that the next exec() shows, then closes that window.
void onNextModal(const std::function<void(QWidget*)>& check)
{
    QTimer::singleShot(0, [check] {
        QWidget* modal = QApplication::activeModalWidget();
        QVERIFY(modal);
        check(modal);
        modal->close();
    });
}

} // namespace

// The boxes themselves, answered by clicking their buttons.
class MessageBoxTest : public QObject {
    Q_OBJECT

    static void answerWith(QMessageBox::StandardButton button, QString* title, QString* text)
    {
        QTimer::singleShot(0, [=] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            *title = box->windowTitle();
            *text = box->text();
            QCOMPARE(box->icon(), QMessageBox::NoIcon);
            QVERIFY(box->button(button));
            box->button(button)->click();
        });
    }

private slots:
    void yesNoActsOnlyOnYes()
    {
        QString title;
        QString text;
        answerWith(QMessageBox::No, &title, &text);
        QVERIFY(!MessageBox::askYesNo(nullptr, u8("确认？")));
        QCOMPARE(title, u8("信息："));
        QCOMPARE(text, u8("确认？"));
        answerWith(QMessageBox::Yes, &title, &text);
        QVERIFY(MessageBox::askYesNo(nullptr, u8("确认？")));
    }

    void okBox()
    {
        QString title;
        QString text;
        answerWith(QMessageBox::Ok, &title, &text);
        MessageBox::inform(nullptr, u8("该对象未在下载状态，无需停止。"));
        QCOMPARE(title, u8("信息："));
        QCOMPARE(text, u8("该对象未在下载状态，无需停止。"));
    }
};

class SettingsWindowTest : public QObject {
    Q_OBJECT
    std::unique_ptr<WindowRig> rig;
    const Text kIni = gbk("[softSet]\r\nsave=/old/录像\r\nfolder=假\r\n[service]\r\nwebcastHost=127.0.0.1:9\r\n");

private slots:
    void init()
    {
        rig = std::make_unique<WindowRig>();
        QVERIFY(writeTextFile(rig->file("Config.ini"), kIni));
        rig->context.settings.setDownloadFolder(gbk("/old/录像"));
        rig->context.settings.setPerAuthorFolders(false);
    }
    void cleanup() { rig.reset(); }

    void showsMemory()
    {
        rig->context.settings.setPerAuthorFolders(true);
        SettingsDialog dialog(rig->context);
        QCOMPARE(dialog.windowTitle(), u8("监控设置"));
        QCOMPARE(dialog.size(), QSize(453, 196));
        QCOMPARE(dialog.folderEdit()->text(), u8("/old/录像"));
        QVERIFY(dialog.perAuthorBox()->isChecked());
        QCOMPARE(dialog.perAuthorBox()->text(), u8("下载时根据作者昵称生成单独目录"));
        QCOMPARE(dialog.findChild<QPushButton*>(u8("按钮1"))->text(), u8("选择目录"));
        QCOMPARE(dialog.findChild<QPushButton*>(u8("按钮_保存"))->text(), u8("保存并关闭"));
        QCOMPARE(dialog.findChild<QLabel*>(u8("标签1"))->text(), u8("下载保存路径"));
    }

    // A folder chosen and a box ticked, then the close box: nothing reaches file or memory.
    void closeBoxSavesNothing()
    {
        SettingsDialog dialog(rig->context);
        QString askedWith;
        dialog.setFolderChooser([&askedWith](QWidget*, const QString& current) {
            askedWith = current;
            return u8("/chosen/目录");
        });
        dialog.show();
        QTest::mouseClick(dialog.chooseButton(), Qt::LeftButton);
        QCOMPARE(askedWith, u8("/old/录像"));
        QCOMPARE(dialog.folderEdit()->text(), u8("/chosen/目录"));
        dialog.perAuthorBox()->setChecked(true);
        dialog.close();
        QCOMPARE(readTextFile(rig->file("Config.ini")), kIni);
        QCOMPARE(rig->context.settings.downloadFolder(), gbk("/old/录像"));
        QVERIFY(!rig->context.settings.perAuthorFolders());
    }

    void cancelledBrowserKeepsText()
    {
        SettingsDialog dialog(rig->context);
        dialog.setFolderChooser([](QWidget*, const QString&) { return QString(); });
        dialog.chooseFolder();
        QCOMPARE(dialog.folderEdit()->text(), u8("/old/录像"));
    }

    void saveAndClose_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("perAuthor");
        QTest::addColumn<QString>("stored");
        QTest::newRow("ticked") << u8("/data/录像") << true << u8("真");
        QTest::newRow("unticked, trailing slash kept") << u8("/data/录像/") << false << u8("假");
        QTest::newRow("blanks kept") << u8("  /data/x ") << true << u8("真");
        QTest::newRow("empty") << QString() << false << u8("假");
    }
    void saveAndClose()
    {
        QFETCH(QString, folder);
        QFETCH(bool, perAuthor);
        QFETCH(QString, stored);
        SettingsDialog dialog(rig->context);
        dialog.show();
        dialog.folderEdit()->setText(folder);
        dialog.perAuthorBox()->setChecked(perAuthor);
        QTest::mouseClick(dialog.saveButton(), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.isVisible());

        const Text folderText = utf8ToAnsi(folder.toStdString());
        QCOMPARE(rig->context.settings.downloadFolder(), folderText);
        QCOMPARE(rig->context.settings.perAuthorFolders(), perAuthor);
        const Text ini = readTextFile(rig->file("Config.ini"));
        // The stored value is read back raw: the INI reader would trim the blanks.
        QVERIFY(ini.find("save=" + folderText + "\r\n") != Text::npos);
        IniFile file(rig->file("Config.ini"));
        QCOMPARE(file.value("softSet", "folder"), utf8ToAnsi(stored.toStdString()));
        QCOMPARE(file.value("service", "webcastHost"), Text("127.0.0.1:9"));
    }

    // Config.ini can not be written: the choice holds for this run and the user is told so.
    void unwritableConfig()
    {
        rig->context.runDirectory = "/nonexistent/qingtong-run";
        SettingsDialog dialog(rig->context);
        dialog.show();
        dialog.folderEdit()->setText(u8("/data/new"));
        const int boxes = MessageBox::shownCount();
        MessageBox::setNextAnswer(MessageBox::Ok);
        QVERIFY(!dialog.saveAndClose());
        QCOMPARE(MessageBox::shownCount(), boxes + 1);
        QVERIFY(MessageBox::lastText().contains(u8("Config.ini")));
        QCOMPARE(rig->context.settings.downloadFolder(), Text("/data/new"));
        QVERIFY(!dialog.isVisible());
    }

    // Opened from the toolbar: button 2 shows checked while the window is open.
    void openedFromToolbar()
    {
        QAction* button = rig->tool(MainWindow::ToolSettings);
        bool seen = false;
        onNextModal([&](QWidget* modal) {
            seen = true;
            QCOMPARE(modal->windowTitle(), u8("监控设置"));
            QVERIFY(button->isChecked());
        });
        button->trigger();
        QVERIFY(seen);
        QVERIFY(!button->isChecked());
        QCOMPARE(readTextFile(rig->file("Config.ini")), kIni);
    }
};

class AddWindowTest : public QObject {
    Q_OBJECT
    std::unique_ptr<FakeService> service;
    std::unique_ptr<WindowRig> rig;

    std::unique_ptr<AddObjectDialog> makeDialog()
    {
        return std::make_unique<AddObjectDialog>(rig->context, rig->workers(), rig->window.get());
    }

    // Runs one batch over `lines` and returns the window's final texts (label, status bar).
    QStringList runBatch(AddObjectDialog& dialog, const QString& lines)
    {
        QSignalSpy finished(&dialog, &AddObjectDialog::batchFinished);
        dialog.editor()->setPlainText(lines);
        QTest::mouseClick(dialog.addButton(), Qt::LeftButton);
        if (!finished.wait(15000))
            return {};
        QCoreApplication::processEvents();
        return {dialog.stateLabel()->text(), dialog.statusBar()->currentMessage()};
    }

private slots:
    void init()
    {
        service = std::make_unique<FakeService>();
        QVERIFY(service->running());
        service->install();
        service->addUser({"secA", "1001", "青桐小站", "qingtong", "501", false, ""});
        service->addUser({"secB", "1002", "夜猫子电台😀", "", "502", false, ""});
        service->addUserShortLink("AbCd123", "secA");
        rig = std::make_unique<WindowRig>();
    }
    void cleanup()
    {
        rig.reset();
        service.reset();
        setServiceConfig(ServiceConfig{});
    }

    void shape()
    {
        auto dialog = makeDialog();
        QCOMPARE(dialog->windowTitle(), u8("添加监控对象"));
        QCOMPARE(dialog->size(), QSize(800, 419));
        QCOMPARE(dialog->addButton()->text(), u8("添加至监控列表"));
        QVERIFY(dialog->findChild<QLabel*>(u8("图片框3")));
        const QString text = AddObjectDialog::instructionText();
        QVERIFY(text.endsWith(u8("\r\n")));
        const QStringList lines = text.split(u8("\r\n"));
        QCOMPARE(lines.size(), 15);  // 14 lines and the empty piece after the last CR LF
        QCOMPARE(lines[0], u8("请在此框内输入监控对象信息，一行一条，输入完毕后点击“添加至监控列表”等待添加完毕。"));
        QCOMPARE(lines[8], u8("示例："));
        QVERIFY(lines[9].startsWith(u8("https://v.douyin.com/")));
        QVERIFY(lines[10].startsWith(u8("https://www.douyin.com/user/")));
        QVERIFY(lines[11].contains(QRegularExpression(u8("\\^\\^[A-Za-z0-9]{11}\\^\\^"))));
        QVERIFY(lines[12].contains(QRegularExpression(u8("##[A-Za-z0-9]{11}##"))));
        QCOMPARE(dialog->editor()->toPlainText(), QString(text).replace(u8("\r\n"), u8("\n")));
    }

    // A short link, an empty line, a blank line, a line that is nothing, and the same user
    // again by its web link: one row, two successes, one failure.
    void batchAddsAndCounts()
    {
        auto dialog = makeDialog();
        const QString lines = QString::fromStdString(service->shortLinkUrl("AbCd123")) + u8("\n\n   \n")
            + u8("这一行什么都不是\n") + QString::fromStdString(service->webLinkUrl("secA")) + u8("\n");
        const QStringList texts = runBatch(*dialog, lines);
        const QString expected = u8("添加完毕 -> 成功：2   失败：1");
        QCOMPARE(texts, (QStringList{expected, expected}));
        QVERIFY(dialog->addButton()->isEnabled());
        QTRY_COMPARE(rig->window->model()->rowCount(), 1);
        QCOMPARE(rig->shown(0, CellSerial), u8("1"));
        QCOMPARE(rig->shown(0, CellNickname), u8("青桐小站"));
        QCOMPARE(rig->shown(0, CellAccount), u8("qingtong"));
        QCOMPARE(rig->shown(0, CellUserId), u8("1001"));
        // The input stays in the box.
        QVERIFY(dialog->editor()->toPlainText().contains(u8("这一行什么都不是")));
    }

    void emptyBox()
    {
        auto dialog = makeDialog();
        QCOMPARE(runBatch(*dialog, QString()).value(0), u8("添加完毕 -> 成功：0   失败：0"));
        QCOMPARE(rig->context.list.rowCount(), 0);
    }

    // A new user goes after the rows already listed; one already listed is rewritten in place.
    void appendsAndUpdates()
    {
        for (const char* uid : {"7", "8", "1001", "9"})
            rig->addRow("old", "old", uid);
        auto dialog = makeDialog();
        const QString lines = QString::fromStdString(service->webLinkUrl("secA")) + u8("\n")
            + QString::fromStdString(service->webLinkUrl("secB"));
        QCOMPARE(runBatch(*dialog, lines).value(0), u8("添加完毕 -> 成功：2   失败：0"));
        QTRY_COMPARE(rig->window->model()->rowCount(), 5);
        QCOMPARE(rig->shown(2, CellNickname), u8("青桐小站"));
        QCOMPARE(rig->shown(4, CellSerial), u8("5"));
        QCOMPARE(rig->shown(4, CellAccount), u8("502"));  // no display id: the short id
        QVERIFY(rig->shown(4, CellNickname).startsWith(u8("夜猫子电台")));
    }

    // The window closes while its batch still waits on the service: the batch goes on to
    // its end and writes its row; nothing touches the closed window.
    void closedWhileRunning()
    {
        service->setSlowDelay(400ms);
        service->setFailure(FakeService::Endpoint::UserInfo, FakeService::Failure::Slow);
        auto dialog = makeDialog();
        dialog->editor()->setPlainText(QString::fromStdString(service->webLinkUrl("secA")));
        dialog->show();
        QTest::mouseClick(dialog->addButton(), Qt::LeftButton);
        QVERIFY(!dialog->addButton()->isEnabled());
        dialog->close();
        dialog.reset();
        QVERIFY(rig->window->backgroundWorkPending());
        rig->window->waitForBackgroundWork();
        QTRY_COMPARE(rig->window->model()->rowCount(), 1);
        QCOMPARE(rig->shown(0, CellUserId), u8("1001"));
    }

    void openedFromToolbar()
    {
        QAction* button = rig->tool(MainWindow::ToolAdd);
        bool seen = false;
        onNextModal([&](QWidget* modal) {
            seen = true;
            QCOMPARE(modal->windowTitle(), u8("添加监控对象"));
            QVERIFY(button->isChecked());
        });
        button->trigger();
        QVERIFY(seen);
        QVERIFY(!button->isChecked());
    }
};

} // namespace qingtong::guitest

using qingtong::guitest::AddWindowTest;
using qingtong::guitest::MessageBoxTest;
using qingtong::guitest::SettingsWindowTest;
QINGTONG_GUI_TEST(MessageBoxTest)
QINGTONG_GUI_TEST(SettingsWindowTest)
QINGTONG_GUI_TEST(AddWindowTest)

#include "DialogsTest.moc"
