#include <ctime>
#include <fstream>
#include <set>
#include <thread>

#include "monitor/MonitorTexts.h"
#include "monitor/Recording.h"
#include "platform/codePage.h"
#include "recording/RecordingFixture.h"
#include "support/FlvStreamServer.h"

namespace qingtong {
namespace {

using namespace std::chrono_literals;
using test::FlvStreamServer;
using Script = FlvStreamServer::Script;

std::string stampOf(std::time_t when)
{
    std::tm tm {};
    localtime_r(&when, &tm);
    char buffer[16];
    std::strftime(buffer, sizeof buffer, "%Y%m%d%H%M", &tm);
    return buffer;
}

class RecordingTest : public test::RecordingFixture {
protected:
    RecordingParams params(std::uint32_t identity = 7) const
    {
        RecordingParams p;
        p.identity = identity;
        p.stopCheck = [](std::uint64_t) { return true; };
        p.download.stallTimeout = 10s;
        p.download.connectTimeout = 10s;
        p.startTime = m_when;
        return p;
    }
    std::time_t m_when = 1700000000;
};

TEST_F(RecordingTest, FiniteStreamIsSavedAndTheRowTellsTheEnd)
{
    FlvStreamServer server;
    Script script;
    script.tags = 30;
    script.interval = 0ms;
    server.setScript(script);
    const RowId id = addRow("主播", "11", server.url());
    context.list.setCellById(id, CellFileSize, "0 kb");
    context.list.setCellById(id, CellThread, "3");

    EXPECT_EQ(recordStream(context, id, params()), monitortext::kDownloadDone);
    const std::string path = cellUtf8(id, CellFilePath);
    EXPECT_EQ(path, downloadFolder() + "/主播_" + stampOf(m_when) + ".flv");
    EXPECT_EQ(test::readWholeFile(path), FlvStreamServer::makeStream(30, 512));
    EXPECT_EQ(cell(id, CellDownload), monitortext::kDownloadDone);
    EXPECT_EQ(cell(id, CellThread), "");
    EXPECT_EQ(cell(id, CellDownloadId), "");
    EXPECT_EQ(cell(id, CellFileSize), "0 kb");  // the last size stays
}

TEST_F(RecordingTest, CutStreamKeepsItsBytes)
{
    FlvStreamServer server;
    Script script;
    script.interval = 0ms;
    script.failure = Script::Failure::Cut;
    script.failAfter = 5000;
    server.setScript(script);
    const RowId id = addRow("A", "1", server.url());
    EXPECT_EQ(recordStream(context, id, params()), monitortext::kResourceInvalid);
    server.stop();
    EXPECT_EQ(test::readWholeFile(cellUtf8(id, CellFilePath)), server.connections().at(0).body);
}

// The file name and folder rules, including names that try to leave the download folder.
TEST_F(RecordingTest, FileAndFolderNames)
{
    FlvStreamServer server;
    Script script;
    script.tags = 2;
    script.interval = 0ms;
    server.setScript(script);
    const std::string stamp = stampOf(m_when);
    struct Case {
        std::string nickname;   // UTF-8
        bool perAuthor;
        std::string expected;   // below the download folder
    };
    const Case cases[] = {
        {"a/b:c", false, "abc_" + stamp + ".flv"},
        {"A B", true, "AB/A B_" + stamp + ".flv"},
        {"小\u3000明 播", true, "小明播/小\u3000明 播_" + stamp + ".flv"},
        {"<?*|\"\\>", false, "_" + stamp + ".flv"},
        {"..", true, "_../.._" + stamp + ".flv"},
        {"../../etc", true, "....etc/....etc_" + stamp + ".flv"},
        {"", true, "_/_" + stamp + ".flv"},
        {" ", true, "_/ _" + stamp + ".flv"},
        {"a\nb\tc", false, "a_b_c_" + stamp + ".flv"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nickname);
        context.settings.setPerAuthorFolders(c.perAuthor);
        const RowId id = addRow(c.nickname, "1", server.url());
        EXPECT_EQ(recordStream(context, id, params()), monitortext::kDownloadDone);
        const std::string expected = downloadFolder() + "/" + c.expected;
        EXPECT_EQ(cellUtf8(id, CellFilePath), expected);
        EXPECT_TRUE(std::filesystem::is_regular_file(expected));
    }
}

TEST_F(RecordingTest, OverlongNicknamesAreShortenedOnACharacterBoundary)
{
    FlvStreamServer server;
    Script script;
    script.tags = 1;
    server.setScript(script);
    std::string longName;
    for (int i = 0; i < 120; ++i)
        longName += "长";   // 3 bytes in UTF-8, 2 in GBK
    for (bool perAuthor : {false, true}) {
        context.settings.setPerAuthorFolders(perAuthor);
        const RowId id = addRow(longName, "1", server.url());
        EXPECT_EQ(recordStream(context, id, params(9)), monitortext::kDownloadDone);
        const std::filesystem::path path(cellUtf8(id, CellFilePath));
        EXPECT_TRUE(std::filesystem::is_regular_file(path));
        const std::string name = path.filename().string();
        EXPECT_LE(name.size(), 255u);
        EXPECT_EQ(name.size() % 3, (1 + 12 + 4) % 3);  // only whole characters
        EXPECT_EQ(longName.compare(0, name.size() - 17, name, 0, name.size() - 17), 0);
        if (perAuthor) {
            EXPECT_LE(path.parent_path().filename().string().size(), 255u);
        }
    }
}

// Two recordings of the same name in the same minute, even at the same moment, never share a file.
TEST_F(RecordingTest, CollisionsGetNumberedNames)
{
    FlvStreamServer server;
    Script script;
    script.tags = 20;
    script.interval = 1ms;
    server.setScript(script);
    const std::string existing = downloadFolder() + "/same_" + stampOf(m_when) + ".flv";
    { std::ofstream(existing) << "earlier recording"; }

    std::vector<RowId> ids;
    for (int i = 0; i < 4; ++i)
        ids.push_back(addRow("same", std::to_string(i), server.url()));
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < ids.size(); ++i)
        threads.emplace_back([&, i] { recordStream(context, ids[i], params(static_cast<std::uint32_t>(i + 1))); });
    for (auto& t : threads)
        t.join();

    std::set<std::string> paths;
    for (RowId id : ids) {
        EXPECT_EQ(cell(id, CellDownload), monitortext::kDownloadDone);
        paths.insert(cellUtf8(id, CellFilePath));
        EXPECT_EQ(test::readWholeFile(cellUtf8(id, CellFilePath)), FlvStreamServer::makeStream(20, 512));
    }
    EXPECT_EQ(paths.size(), 4u);
    EXPECT_EQ(paths.count(downloadFolder() + "/same_" + stampOf(m_when) + "_2.flv"), 1u);
    EXPECT_EQ(test::readWholeFile(existing), "earlier recording");
}

TEST_F(RecordingTest, UnusableFolderOrAddressGivesAFailureText)
{
    FlvStreamServer server;
    const RowId id = addRow("x", "1", server.url());
    // A folder under a plain file can not be created.
    std::ofstream(downloadFolder() + "/plain") << "x";
    context.settings.setDownloadFolder(downloadFolder() + "/plain/sub");
    EXPECT_EQ(recordStream(context, id, params()), monitortext::kDownloadFailed);
    EXPECT_EQ(cellUtf8(id, CellFilePath), downloadFolder() + "/plain/sub/x_" + stampOf(m_when) + ".flv");
    EXPECT_EQ(server.connectionCount(), 0);

    // A missing download folder is created: the broadcast is not lost for want of a folder.
    Script finite;
    finite.tags = 10;
    finite.interval = 0ms;
    server.setScript(finite);
    context.settings.setDownloadFolder(downloadFolder() + "/missing/deeper");
    const RowId created = addRow("w", "4", server.url());
    EXPECT_EQ(recordStream(context, created, params()), monitortext::kDownloadDone);
    EXPECT_EQ(test::readWholeFile(cellUtf8(created, CellFilePath)), FlvStreamServer::makeStream(10, 512));

    context.settings.setDownloadFolder(downloadFolder());
    const RowId bad = addRow("y", "2", "file:///etc/passwd");
    EXPECT_EQ(recordStream(context, bad, params()), monitortext::kDownloadFailed);
    EXPECT_FALSE(std::filesystem::exists(cellUtf8(bad, CellFilePath)));

    // A failure before the first byte leaves no empty file behind.
    Script notFound;
    notFound.failure = Script::Failure::NotFound;
    server.setScript(notFound);
    const RowId missing = addRow("z", "3", server.url());
    EXPECT_EQ(recordStream(context, missing, params()), monitortext::kDownloadFailed);
    EXPECT_FALSE(std::filesystem::exists(cellUtf8(missing, CellFilePath)));
}

} // namespace
} // namespace qingtong
