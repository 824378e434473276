#include "app/AppContext.h"
#include "app/Persistence.h"

#include "monitor/FileSizeText.h"
#include "platform/IniFile.h"
#include "platform/codePage.h"
#include "platform/files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <mutex>
#include <thread>

#include "TempFolder.h"

using namespace qingtong;

namespace {

class RecordingStatus : public StatusSink {
public:
    void setStatus(const Text& text) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        texts.push_back(text);
    }
    std::vector<Text> texts;

private:
    std::mutex m_mutex;
};

struct Loaded {
    std::vector<MonitorRow> rows;
    Text downloadFolder;
    bool perAuthorFolders;
    std::vector<Text> status;
};

Loaded load(const Text& runDirectory)
{
    RecordingStatus status;
    AppContext context;
    context.runDirectory = runDirectory;
    context.status = &status;
    startupLoad(context);
    return {context.list.snapshot(), context.settings.downloadFolder(), context.settings.perAuthorFolders(),
            status.texts};
}

TEST(StartupLoad, TwoLinesLoadAndSaveBackByteForByte)
{
    TempFolder run;
    const Text file = utf8ToAnsi("主播甲--abc_1--11\r\n--1--11\r\n");
    ASSERT_TRUE(writeTextFile(run / "userList.txt", file));

    AppContext context;
    context.runDirectory = run.path();
    startupLoad(context);
    ASSERT_EQ(context.list.rowCount(), 2);
    EXPECT_EQ(context.list.cell(0, CellSerial), "1");
    EXPECT_EQ(context.list.cell(0, CellNickname), utf8ToAnsi("主播甲"));
    EXPECT_EQ(context.list.cell(0, CellAccount), "abc_1");
    EXPECT_EQ(context.list.cell(0, CellUserId), "11");
    EXPECT_EQ(context.list.cell(1, CellSerial), "2");
    EXPECT_EQ(context.list.cell(1, CellNickname), "");
    for (int c = CellLiveState; c < kCellCount; ++c)
        EXPECT_EQ(context.list.cell(0, c), "");

    ASSERT_TRUE(writeTextFile(run / "userList.txt", "changed"));
    saveMonitorList(context);
    EXPECT_EQ(readTextFile(run / "userList.txt"), file);
}

TEST(StartupLoad, LinesThatDoNotSplitIntoThreeAreDropped)
{
    TempFolder run;
    ASSERT_TRUE(writeTextFile(run / "userList.txt",
                              "A--1--11\r\n"
                              "B--x--y--2--22\r\n"  // "--" inside the nickname
                              "C--3--\r\n"          // empty user id: two pieces
                              "\r\n"
                              "no separator\r\n"
                              "D--4--44"));         // last line without CR LF still counts
    const Loaded loaded = load(run.path());
    ASSERT_EQ(loaded.rows.size(), 2u);
    EXPECT_EQ(loaded.rows[0][CellNickname], "A");
    EXPECT_EQ(loaded.rows[1][CellNickname], "D");
    EXPECT_EQ(loaded.rows[1][CellSerial], "2");
}

TEST(StartupLoad, UnixLineEndsLoadToo)
{
    TempFolder run;
    ASSERT_TRUE(writeTextFile(run / "userList.txt", "A--1--11\nB--2--22\n"));
    EXPECT_EQ(load(run.path()).rows.size(), 2u);
}

TEST(StartupLoad, MissingFilesGiveDefaultsAndTheDownloadFolder)
{
    TempFolder run;
    const Loaded loaded = load(run.path());
    EXPECT_TRUE(loaded.rows.empty());
    EXPECT_EQ(loaded.downloadFolder, run / "Download");
    EXPECT_TRUE(isDirectory(run / "Download"));
    EXPECT_FALSE(loaded.perAuthorFolders);
    ASSERT_EQ(loaded.status.size(), 2u);
    EXPECT_EQ(loaded.status.front(), utf8ToAnsi("当前状态 -> 初始化.."));
    EXPECT_EQ(loaded.status.back(), utf8ToAnsi("当前状态 -> 就绪。"));
    // The default is not written back.
    EXPECT_FALSE(pathExists(run / "Config.ini"));
}

TEST(StartupLoad, SettingsFromConfig)
{
    struct Case {
        const char* folderValue;
        bool on;
    } cases[] = {{"\xD5\xE6", true}, {"\xBC\xD9", false}, {"1", false}, {"true", false}, {"", false}};
    for (const Case& c : cases) {
        TempFolder run;
        const Text named = run / "elsewhere/not yet";
        ASSERT_TRUE(writeTextFile(run / "Config.ini",
                                  "[softSet]\r\nsave=" + named + "/\r\nfolder=" + c.folderValue + "\r\n"));
        const Loaded loaded = load(run.path());
        EXPECT_EQ(loaded.perAuthorFolders, c.on) << c.folderValue;
        EXPECT_EQ(loaded.downloadFolder, named + "/");  // as stored, trailing separator kept
        EXPECT_FALSE(pathExists(run / "elsewhere"));     // a named folder is not created
        EXPECT_FALSE(pathExists(run / "Download"));
    }
}

TEST(SaveMonitorList, EmptyListWritesAnEmptyFile)
{
    TempFolder run;
    AppContext context;
    context.runDirectory = run.path();
    ASSERT_TRUE(writeTextFile(run / "userList.txt", "A--1--11\r\n"));
    saveMonitorList(context);
    EXPECT_TRUE(isRegularFile(run / "userList.txt"));
    EXPECT_EQ(readTextFile(run / "userList.txt"), "");
}

TEST(SaveMonitorList, ListThatCouldNotBeReadIsMovedAsideNotReplaced)
{
    // Something named userList.txt that can not be read as the list (here a folder holding a
    // file; on a real machine an I/O error or a permission): the table starts empty, and the
    // next save keeps the old thing under another name before writing the new list.
    TempFolder run;
    ASSERT_TRUE(createDirectory(run / "userList.txt"));
    ASSERT_TRUE(writeTextFile(run / "userList.txt/kept", "A--1--11\r\n"));
    AppContext context;
    context.runDirectory = run.path();
    startupLoad(context);
    EXPECT_EQ(context.list.rowCount(), 0);

    const int row = context.list.insertRow();
    context.list.setCell(row, CellNickname, "B");
    context.list.setCell(row, CellAccount, "2");
    context.list.setCell(row, CellUserId, "22");
    saveMonitorList(context);
    EXPECT_EQ(readTextFile(run / "userList.txt"), "B--2--22\r\n");
    EXPECT_EQ(readTextFile(run / "userList.txt.unreadable/kept"), "A--1--11\r\n");

    saveMonitorList(context);  // later saves write in place
    EXPECT_FALSE(pathExists(run / "userList.txt.unreadable2"));
}

TEST(SaveMonitorList, FieldsCanNotBreakOrAddLines)
{
    struct Case {
        Text nickname, account;
        Text line;
    } cases[] = {
        {"evil\r\nX", "1", "evil  X--1--9\r\n"},
        {"a--b", "1", "a-b--1--9\r\n"},
        {"a----b", "c---d", "a-b--c-d--9\r\n"},
        {"ends-", "-starts", "ends---starts--9\r\n"},
        {"-", "", "----9\r\n"},
        {utf8ToAnsi("主播"), "x", utf8ToAnsi("主播") + "--x--9\r\n"},
    };
    for (const Case& c : cases) {
        TempFolder run;
        AppContext context;
        context.runDirectory = run.path();
        const RowId id = context.list.appendRow();
        context.list.setCellById(id, CellNickname, c.nickname);
        context.list.setCellById(id, CellAccount, c.account);
        context.list.setCellById(id, CellUserId, "9");
        saveMonitorList(context);
        EXPECT_EQ(readTextFile(run / "userList.txt"), c.line) << c.nickname;

        // And what was written loads back as exactly one row with that user id.
        const Loaded loaded = load(run.path());
        ASSERT_EQ(loaded.rows.size(), 1u) << c.nickname;
        EXPECT_EQ(loaded.rows[0][CellUserId], "9");
    }
}

// The window loads the list on a thread of its own and may save meanwhile (a row deleted, a
// user added); such a save must not write the half-loaded table over the file.
TEST(SaveMonitorList, SaveDuringStartupLoadKeepsEveryRow)
{
    TempFolder run;
    const Text file = "A--1--11\r\nB--2--22\r\nC--3--33\r\n";
    ASSERT_TRUE(writeTextFile(run / "userList.txt", file));
    AppContext context;
    context.runDirectory = run.path();

    std::thread saver;
    std::atomic<bool> saved{false};
    const int token = context.list.subscribe([&](const MonitorList::Change& change) {
        if (change.kind != MonitorList::ChangeKind::RowInserted || change.row != 1 || saver.joinable())
            return;
        // Row 0 is loaded, row 1 is still empty and row 2 not there yet.
        saver = std::thread([&] {
            saveMonitorList(context);
            saved = true;
        });
        // Give a save that does not wait for the load the time to finish now.
        for (int i = 0; i < 100 && !saved.load(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
    startupLoad(context);
    ASSERT_TRUE(saver.joinable());
    saver.join();
    context.list.unsubscribe(token);
    EXPECT_EQ(context.list.rowCount(), 3);
    EXPECT_EQ(readTextFile(run / "userList.txt"), file);
}

TEST(Settings, SavedAsTheSettingsWindowDoes)
{
    TempFolder run;
    const Text before = "[service]\r\nwebcastHost=127.0.0.1:1\r\n[softSet]\r\nsave=/old\r\nfolder=\xBC\xD9\r\n";
    ASSERT_TRUE(writeTextFile(run / "Config.ini", before));
    ASSERT_TRUE(saveSettings(run.path(), "/new/", true));
    EXPECT_EQ(readTextFile(run / "Config.ini"),
              "[service]\r\nwebcastHost=127.0.0.1:1\r\n[softSet]\r\nsave=/new/\r\nfolder=\xD5\xE6\r\n");
}

TEST(ServiceConfig, ReadFromConfigWithDefaults)
{
    TempFolder run;
    ServiceConfig defaults;
    EXPECT_EQ(loadServiceConfig(run.path()).webcastHost, defaults.webcastHost);

    ASSERT_TRUE(writeTextFile(run / "Config.ini",
                              "[service]\r\nwebcastHost=127.0.0.1:8443\r\nappApiHost=\r\nstrictTls=\xD5\xE6\r\n"));
    const ServiceConfig config = loadServiceConfig(run.path());
    EXPECT_EQ(config.webcastHost, "127.0.0.1:8443");
    EXPECT_EQ(config.appApiHost, defaults.appApiHost);  // empty means the default
    EXPECT_EQ(config.promoDocument, "");
    EXPECT_TRUE(config.strictTls);

    setServiceConfig(config);
    EXPECT_EQ(serviceConfig().webcastHost, "127.0.0.1:8443");
    setServiceConfig(defaults);
}

TEST(FileSizeText, SizesOfFilesBeingWritten)
{
    TempFolder dir;
    const Text path = dir / "rec.flv";
    EXPECT_EQ(fileSizeText(path, true), "0");
    EXPECT_EQ(fileSizeText(path, false), "0");

    std::ofstream out(path, std::ios::binary);
    out << std::string(512, 'x') << std::flush;
    EXPECT_EQ(fileSizeText(path, true), "512 B");
    EXPECT_EQ(fileSizeText(path, false), "512");
    // Still open for writing and growing: the current size shows.
    out << std::string(3 * 1024 * 1024 - 512, 'y') << std::flush;
    EXPECT_EQ(fileSizeText(path, true), "3.00 MB");
    EXPECT_EQ(fileSizeText(path, false), "3145728");
    EXPECT_EQ(fileSizeText(dir.path(), true), "0");  // a folder is not a file
}

} // namespace
