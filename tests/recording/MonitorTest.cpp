#include <atomic>
#include <map>
#include <set>

#include "monitor/MonitorController.h"
#include "monitor/MonitorTexts.h"
#include "recording/RecordingFixture.h"
#include "support/FakeService.h"
#include "support/FlvStreamServer.h"

namespace qingtong {
namespace {

using namespace std::chrono_literals;
using test::FakeService;
using test::FlvStreamServer;
using test::waitUntil;
using Script = FlvStreamServer::Script;
namespace text = monitortext;

// Records which cells of which rows changed, from the moment it is made.
class ChangeLog {
public:
    explicit ChangeLog(MonitorList& list) : m_list(list)
    {
        m_token = list.subscribe([this](const MonitorList::Change& change) {
            if (change.kind != MonitorList::ChangeKind::CellChanged)
                return;
            std::lock_guard lock(m_mutex);
            m_changes.push_back(change);
        });
    }
    ~ChangeLog() { m_list.unsubscribe(m_token); }
    std::set<int> cellsChanged(RowId id) const
    {
        std::lock_guard lock(m_mutex);
        std::set<int> cells;
        for (const auto& c : m_changes) {
            if (c.id == id)
                cells.insert(c.cell);
        }
        return cells;
    }
    bool saw(RowId id, int cell, const Text& value) const
    {
        std::lock_guard lock(m_mutex);
        for (const auto& c : m_changes) {
            if (c.id == id && c.cell == cell && c.text == value)
                return true;
        }
        return false;
    }
    std::size_t size() const
    {
        std::lock_guard lock(m_mutex);
        return m_changes.size();
    }

private:
    MonitorList& m_list;
    int m_token = 0;
    mutable std::mutex m_mutex;
    std::vector<MonitorList::Change> m_changes;
};

class MonitorTest : public test::RecordingFixture {
protected:
    void SetUp() override
    {
        RecordingFixture::SetUp();
        ASSERT_TRUE(service.running());
        service.install();
        options.rowPause = 10ms;
        options.sweepPause = 100ms;
        options.stallTimeout = 10s;
    }

    // A live user of the fake whose room streams from `path` of the stream server.
    RowId addLiveUser(const std::string& uid, const std::string& nickname, const std::string& path)
    {
        const std::string room = "73000000000000000" + uid;
        service.addUser({"sec" + uid, uid, nickname, "d" + uid, "5" + uid, true, room});
        service.setStreamUrl(room, streams.url(path));
        return addRow(nickname, uid);
    }

    std::uintmax_t fileBytes(RowId id) const
    {
        std::error_code error;
        const auto size = std::filesystem::file_size(cellUtf8(id, CellFilePath), error);
        return error ? 0 : size;
    }

    bool waitCell(RowId id, int c, const Text& value, std::chrono::milliseconds timeout = 5s)
    {
        return waitUntil([&] { return cell(id, c) == value; }, timeout);
    }

    FakeService service;
    FlvStreamServer streams;
    MonitorOptions options;
};

// One visit of a live user sets cells 4 to 9 and starts a recording; later visits touch only
// cells 4, 5 and 8; stopping monitoring ends the recording with "下载终止" promptly, and the file
// holds a prefix of exactly what the stream sent.
TEST_F(MonitorTest, LiveUserIsRecordedUntilMonitoringStops)
{
    Script endless;
    endless.interval = 2ms;
    streams.setScript(endless);
    const RowId id = addLiveUser("1", "主播甲", "/a.flv");
    MonitorController controller(context, options);

    ASSERT_EQ(controller.startMonitoring(), StartResult::Started);
    EXPECT_EQ(status.last(), text::kStatusMonitoring);
    EXPECT_TRUE(controller.isMonitoring());
    EXPECT_EQ(controller.startMonitoring(), StartResult::AlreadyRunning);

    ASSERT_TRUE(waitUntil([&] { return !cell(id, CellDownloadId).empty(); }, 5s));
    EXPECT_EQ(cell(id, CellLiveState), text::kLiveNow);
    EXPECT_EQ(cell(id, CellRoom), "730000000000000001");
    EXPECT_EQ(cellUtf8(id, CellStream), streams.url("/a.flv"));
    EXPECT_EQ(cell(id, CellDownload), text::kDownloading);
    EXPECT_FALSE(cell(id, CellThread).empty());
    EXPECT_EQ(controller.streamAddress(id), cell(id, CellStream));
    EXPECT_EQ(controller.runningRecordings(), 1);

    {
        ChangeLog log(context.list);
        const auto before = service.requests(FakeService::Endpoint::LiveStatus).size();
        ASSERT_TRUE(waitUntil(
            [&] { return service.requests(FakeService::Endpoint::LiveStatus).size() >= before + 3; }, 5s));
        // The table reports only real changes: the size grows, the rest stays as it was.
        const std::set<int> changed = log.cellsChanged(id);
        EXPECT_EQ(changed.count(CellFileSize), 1u);
        for (int c : changed)
            EXPECT_TRUE(c == CellLiveState || c == CellRoom || c == CellFileSize) << "cell " << c;
        EXPECT_EQ(service.requests(FakeService::Endpoint::RoomInfo).size(), 1u);
    }
    EXPECT_NE(cell(id, CellFileSize), text::kInitialSize);
    ASSERT_TRUE(waitUntil([&] { return fileBytes(id) > 0; }, 5s));

    const auto stopAt = std::chrono::steady_clock::now();
    EXPECT_TRUE(controller.stopMonitoring());
    EXPECT_EQ(status.last(), text::kStatusStopped);
    EXPECT_FALSE(controller.isMonitoring());
    ASSERT_TRUE(waitCell(id, CellDownload, text::kDownloadStopped, 3s));
    EXPECT_LT(std::chrono::steady_clock::now() - stopAt, 2s);
    EXPECT_EQ(cell(id, CellThread), "");
    EXPECT_EQ(cell(id, CellDownloadId), "");

    const std::string path = cellUtf8(id, CellFilePath);
    EXPECT_EQ(ansiToUtf8(controller.locateFilePath(id)), path);
    controller.shutdown();
    streams.stop();
    const std::string saved = test::readWholeFile(path);
    ASSERT_EQ(streams.connectionCount(), 1);
    const std::string sent = streams.connections().at(0).body;
    EXPECT_GT(saved.size(), 0u);
    EXPECT_EQ(sent.substr(0, saved.size()), saved);
}

// A stream that ends gives "下载完成"; while the user stays live the next visit records again
// into a new file. Going offline then shows "还未开播" and keeps the other cells.
TEST_F(MonitorTest, EndedStreamIsRecordedAgainAndOfflineKeepsCells)
{
    Script finite;
    finite.tags = 10;
    finite.interval = 0ms;
    streams.setScript(finite);
    const RowId id = addLiveUser("2", "乙", "/b.flv");
    MonitorController controller(context, options);
    ASSERT_EQ(controller.startMonitoring(), StartResult::Started);

    ASSERT_TRUE(streams.waitForConnections(2, 5s));
    ASSERT_TRUE(waitUntil([&] { return service.requests(FakeService::Endpoint::RoomInfo).size() >= 2; }, 5s));
    service.setLive("2", false);
    ASSERT_TRUE(waitCell(id, CellLiveState, text::kNotLive));
    ASSERT_TRUE(waitUntil([&] { return controller.runningRecordings() == 0; }, 5s));
    controller.stopMonitoring();
    controller.shutdown();

    EXPECT_EQ(cell(id, CellDownload), text::kDownloadDone);
    EXPECT_EQ(cell(id, CellRoom), "730000000000000002");
    EXPECT_EQ(cellUtf8(id, CellStream), streams.url("/b.flv"));
    std::set<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(downloadFolder())) {
        files.insert(entry.path().string());
        EXPECT_EQ(test::readWholeFile(entry.path().string()), FlvStreamServer::makeStream(10, 512));
    }
    EXPECT_EQ(files.size(), static_cast<std::size_t>(streams.connectionCount()));
    EXPECT_GE(files.size(), 2u);
    EXPECT_EQ(files.count(cellUtf8(id, CellFilePath)), 1u);
}

// Stop requests are kept per recording: two in a row stop both, the third goes on.
TEST_F(MonitorTest, StoppingOneRecordingLeavesTheOthers)
{
    Script endless;
    endless.interval = 2ms;
    streams.setScript(endless);
    const RowId a = addLiveUser("3", "a", "/a.flv");
    const RowId b = addLiveUser("4", "b", "/b.flv");
    const RowId c = addLiveUser("5", "c", "/c.flv");
    const RowId idle = addRow("idle", "6");
    MonitorController controller(context, options);
    ASSERT_EQ(controller.startMonitoring(), StartResult::Started);
    ASSERT_TRUE(waitUntil([&] { return controller.runningRecordings() == 3; }, 5s));
    ASSERT_TRUE(waitCell(idle, CellLiveState, text::kNotLive));
    ASSERT_TRUE(waitUntil([&] { return !cell(c, CellDownloadId).empty(); }, 3s));
    const Text runningC = cell(c, CellDownloadId);

    ChangeLog log(context.list);
    EXPECT_EQ(controller.stopDownload(idle), StopDownloadResult::NotRecording);
    EXPECT_EQ(controller.stopDownload(a), StopDownloadResult::Requested);
    EXPECT_EQ(controller.stopDownload(b), StopDownloadResult::Requested);
    // Each may already have been recorded again by the time the other is looked at.
    EXPECT_TRUE(waitUntil([&] { return log.saw(a, CellDownload, text::kDownloadStopped); }, 3s));
    EXPECT_TRUE(waitUntil([&] { return log.saw(b, CellDownload, text::kDownloadStopped); }, 3s));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(cell(c, CellDownload), text::kDownloading);
    EXPECT_EQ(cell(c, CellDownloadId), runningC);  // the same recording, never interrupted
    // The stopped rows stay live, so the monitor records them again at a later visit.
    EXPECT_TRUE(waitCell(a, CellDownload, text::kDownloading, 3s));
}

// Deleting a recording row stops its recording; no other row is ever written by it.
TEST_F(MonitorTest, DeletingARecordingRowStopsItsRecording)
{
    Script endless;
    endless.interval = 2ms;
    streams.setScript(endless);
    const RowId first = addLiveUser("7", "first", "/first.flv");
    const RowId second = addLiveUser("8", "second", "/second.flv");
    MonitorController controller(context, options);
    ASSERT_EQ(controller.startMonitoring(), StartResult::Started);
    ASSERT_TRUE(waitUntil([&] { return controller.runningRecordings() == 2; }, 5s));
    ASSERT_TRUE(waitUntil([&] { return fileBytes(first) > 0; }, 5s));
    const Text firstPath = cell(first, CellFilePath);

    EXPECT_TRUE(controller.deleteRow(first));
    EXPECT_FALSE(controller.deleteRow(first));
    EXPECT_EQ(context.list.rowCount(), 1);
    EXPECT_EQ(cell(second, CellSerial), "1");
    ASSERT_TRUE(waitUntil([&] { return controller.runningRecordings() == 1; }, 3s));
    EXPECT_EQ(cell(second, CellDownload), text::kDownloading);
    EXPECT_NE(cell(second, CellFilePath), firstPath);
    EXPECT_TRUE(std::filesystem::exists(ansiToUtf8(firstPath)));  // the recording is kept
    // The list on disk no longer has the row.
    EXPECT_EQ(test::readWholeFile(context.runDirectory + "/userList.txt"), "second--acc--8\r\n");
}

// Failures of the service: no room address gives "获取失败" and no recording; a stream that goes
// silent ends with "下载失败" and is started again at a later visit.
TEST_F(MonitorTest, RoomFailureAndStalledStream)
{
    Script stall;
    stall.failure = Script::Failure::Stall;
    stall.failAfter = 2000;
    streams.setScript(stall);
    const RowId id = addLiveUser("9", "stall", "/s.flv");
    options.stallTimeout = 1s;
    service.setFailure(FakeService::Endpoint::RoomInfo, FakeService::Failure::StatusCode, 1);
    MonitorController controller(context, options);
    ASSERT_EQ(controller.startMonitoring(), StartResult::Started);
    ASSERT_TRUE(waitCell(id, CellStream, text::kFetchFailed));
    EXPECT_EQ(cell(id, CellDownload), "");

    ASSERT_TRUE(waitCell(id, CellDownload, text::kDownloadFailed, 5s));
    EXPECT_EQ(test::readWholeFile(cellUtf8(id, CellFilePath)).size(), 2000u);
    EXPECT_TRUE(streams.waitForConnections(2, 5s));
}

// A stopped monitor writes nothing more, even when an exchange was in flight at the stop; a new
// start works at once beside it, and shutdown does not wait for the exchange's time-out.
TEST_F(MonitorTest, StoppedMonitorWritesNoCell)
{
    const RowId id = addRow("offline", "10");
    service.addUser({"sec10", "10", "offline", "d10", "510", false, ""});
    service.setSlowDelay(4s);
    service.setFailure(FakeService::Endpoint::LiveStatus, FakeService::Failure::Slow, 1);
    options.shutdownGrace = 200ms;
    MonitorController controller(context, options);
    ASSERT_EQ(controller.startMonitoring(), StartResult::Started);
    ASSERT_TRUE(waitUntil([&] { return !service.requests(FakeService::Endpoint::LiveStatus).empty(); }, 3s));
    ChangeLog log(context.list);
    controller.stopMonitoring();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(log.size(), 0u);

    ASSERT_EQ(controller.startMonitoring(), StartResult::Started);
    EXPECT_TRUE(waitCell(id, CellLiveState, text::kNotLive));
    controller.stopMonitoring();
    const auto before = std::chrono::steady_clock::now();
    controller.shutdown();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1500ms);
    EXPECT_EQ(log.size(), 1u);  // only the new run's "还未开播"
}

TEST_F(MonitorTest, EmptyListAndLimitedSweeps)
{
    MonitorController controller(context, options);
    EXPECT_EQ(controller.startMonitoring(), StartResult::EmptyList);
    EXPECT_EQ(status.last(), text::kStatusEmptyList);
    EXPECT_FALSE(controller.isMonitoring());

    addRow("x", "11");
    service.addUser({"sec11", "11", "x", "d11", "511", false, ""});
    MonitorOptions limited = options;
    limited.maxSweeps = 2;
    MonitorController counted(context, limited);
    ASSERT_EQ(counted.startMonitoring(), StartResult::Started);
    counted.waitUntilIdle();
    EXPECT_FALSE(counted.isMonitoring());
    EXPECT_EQ(service.requests(FakeService::Endpoint::LiveStatus).size(), 2u);
}


// A stop abandons the live-status exchange under way instead of waiting for its time-out:
// shutting down returns promptly even when no grace period would cover the silent service.
TEST_F(MonitorTest, StopAbandonsTheExchangeInFlight)
{
    addRow("silent", "11");
    service.addUser({"sec11", "11", "silent", "d11", "511", false, ""});
    service.setSlowDelay(30s);
    service.setFailure(FakeService::Endpoint::LiveStatus, FakeService::Failure::Slow);
    options.shutdownGrace = 60s;
    MonitorController controller(context, options);
    ASSERT_EQ(controller.startMonitoring(), StartResult::Started);
    ASSERT_TRUE(waitUntil([&] { return !service.requests(FakeService::Endpoint::LiveStatus).empty(); }, 3s));
    const auto before = std::chrono::steady_clock::now();
    controller.stopMonitoring();
    controller.shutdown();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 3s);
}

} // namespace
} // namespace qingtong
