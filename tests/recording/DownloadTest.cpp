#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/net/UrlDownload.h"
#include "support/FlvStreamServer.h"

namespace qingtong {
namespace {

using namespace std::chrono_literals;
using test::FlvStreamServer;
using Script = FlvStreamServer::Script;

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = std::filesystem::temp_directory_path()
            / ("qt-download-" + std::to_string(::getpid()) + "-"
               + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::string path(const std::string& name = "out.flv") const { return (m_dir / name).string(); }

    static DownloadOptions fast()
    {
        DownloadOptions options;
        options.stallTimeout = 10s;
        options.connectTimeout = 10s;
        return options;
    }

    std::filesystem::path m_dir;
};

const ProgressCheck goOn = [](std::uint64_t) { return true; };

// A stream that ends cleanly is complete and the file holds exactly what was sent, over
// http and https, chunked or with an announced length, directly or behind a redirect.
TEST_F(DownloadTest, CompleteStreamIsSavedByteForByte)
{
    struct Case {
        bool tls;
        bool announceLength;
        bool redirect;
    };
    for (const Case c : {Case{false, false, false}, Case{true, false, false}, Case{false, true, false},
                         Case{true, true, true}}) {
        SCOPED_TRACE(testing::Message() << "tls " << c.tls << " length " << c.announceLength << " redirect "
                                        << c.redirect);
        FlvStreamServer server(c.tls);
        Script script;
        script.tags = 40;
        script.interval = 1ms;
        script.announceLength = c.announceLength;
        server.setScript(script);
        Script hop;
        hop.redirectTo = server.url("/live/stream.flv");
        server.setScript("/hop", hop);

        const std::string file = path(std::string("c") + (c.tls ? "s" : "") + (c.announceLength ? "l" : "")
                                      + (c.redirect ? "r" : "") + ".flv");
        const DownloadOutcome outcome =
            urlDownloadToFile(server.url(c.redirect ? "/hop" : "/live/stream.flv"), file, goOn, fast());
        EXPECT_EQ(outcome.result, DownloadResult::Completed);
        const std::string expected = FlvStreamServer::makeStream(40, 512);
        EXPECT_EQ(readFile(file), expected);
        EXPECT_EQ(outcome.bytesWritten, expected.size());
    }
}

// Failures keep every byte received and end with the right kind.
TEST_F(DownloadTest, FailuresKeepWhatArrived)
{
    struct Case {
        const char* name;
        Script::Failure failure;
        std::size_t failAfter;
        DownloadResult expected;
    };
    const Case cases[] = {
        {"cut mid-stream", Script::Failure::Cut, 3000, DownloadResult::ConnectionBroke},
        {"cut before any byte", Script::Failure::Cut, 0, DownloadResult::Failed},
        {"stall", Script::Failure::Stall, 2500, DownloadResult::Failed},
        {"not found", Script::Failure::NotFound, 0, DownloadResult::Failed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FlvStreamServer server;
        Script script;
        script.tags = -1;
        script.interval = 1ms;
        script.failure = c.failure;
        script.failAfter = c.failAfter;
        server.setScript(script);
        DownloadOptions options = fast();
        options.stallTimeout = 1s;
        const std::string file = path(std::string(c.name) + ".flv");
        const DownloadOutcome outcome = urlDownloadToFile(server.url(), file, goOn, options);
        EXPECT_EQ(outcome.result, c.expected);
        EXPECT_EQ(outcome.stalled, c.failure == Script::Failure::Stall);
        server.stop();
        const auto connections = server.connections();
        ASSERT_EQ(connections.size(), 1u);
        EXPECT_EQ(readFile(file), connections[0].body);
        EXPECT_EQ(connections[0].body.size(), c.failure == Script::Failure::NotFound ? 0 : c.failAfter);
    }
}

// An answer that is not a 2xx carries no stream: even when it ends cleanly the download is
// no complete recording, whatever body it came with.
TEST_F(DownloadTest, AnswersOtherThanSuccessAreNoRecording)
{
    for (const int status : {300, 302, 303, 304}) {
        SCOPED_TRACE(status);
        FlvStreamServer server;
        Script script;
        script.status = status;
        server.setScript(script);
        const std::string file = path("status" + std::to_string(status) + ".flv");
        const DownloadOutcome outcome = urlDownloadToFile(server.url(), file, goOn, fast());
        EXPECT_EQ(outcome.httpStatus, status);
        EXPECT_NE(outcome.result, DownloadResult::Completed);
        EXPECT_EQ(readFile(file).size(), outcome.bytesWritten);   // whatever was written stays
    }
}

TEST_F(DownloadTest, RefusedConnectionFails)
{
    std::string url;
    {
        FlvStreamServer server;
        url = server.url();
    }
    EXPECT_EQ(urlDownloadToFile(url, path(), goOn, fast()).result, DownloadResult::Failed);
}

// The check runs while the stream is silent, and a stop asked then ends the download at once.
TEST_F(DownloadTest, CheckRunsWhileIdleAndAbortsPromptly)
{
    FlvStreamServer server;
    Script script;
    script.failure = Script::Failure::Stall;
    script.failAfter = 1000;
    server.setScript(script);

    std::atomic<int> calls{0};
    std::atomic<bool> stop{false};
    DownloadOptions options = fast();
    options.stallTimeout = 0ms;  // no stall limit here
    std::atomic<std::chrono::steady_clock::time_point::rep> stoppedAt{0};
    std::thread stopper([&] {
        std::this_thread::sleep_for(2500ms);
        stoppedAt = std::chrono::steady_clock::now().time_since_epoch().count();
        stop = true;
    });
    const DownloadOutcome outcome = urlDownloadToFile(server.url(), path(), [&](std::uint64_t) {
        ++calls;
        return !stop.load();
    }, options);
    const auto endedAt = std::chrono::steady_clock::now().time_since_epoch().count();
    stopper.join();
    EXPECT_EQ(outcome.result, DownloadResult::Aborted);
    EXPECT_GE(calls.load(), 3);  // about once a second while nothing arrives
    EXPECT_LT(std::chrono::steady_clock::duration(endedAt - stoppedAt.load()), 1500ms);
    EXPECT_EQ(readFile(path()).size(), 1000u);
}

TEST_F(DownloadTest, AbortKeepsAPrefixOfTheStream)
{
    FlvStreamServer server;
    Script script;
    script.interval = 1ms;
    server.setScript(script);
    const DownloadOutcome outcome =
        urlDownloadToFile(server.url(), path(), [](std::uint64_t bytes) { return bytes < 20000; }, fast());
    EXPECT_EQ(outcome.result, DownloadResult::Aborted);
    server.stop();
    const std::string saved = readFile(path());
    EXPECT_GE(saved.size(), 20000u);
    EXPECT_EQ(server.connections().at(0).body.substr(0, saved.size()), saved);
}

TEST_F(DownloadTest, OnlyWebAndRtmpAddressesAreFetched)
{
    for (const char* url : {"file:///etc/passwd", "ftp://127.0.0.1/x.flv", "", "127.0.0.1/x.flv",
                            "gopher://127.0.0.1/"}) {
        SCOPED_TRACE(url);
        const std::string file = path("scheme.flv");
        EXPECT_EQ(urlDownloadToFile(url, file, goOn, fast()).result, DownloadResult::Failed);
        EXPECT_FALSE(std::filesystem::exists(file));
    }
    EXPECT_TRUE(isDownloadableUrl("HTTPS://a/b"));
    EXPECT_TRUE(isDownloadableUrl("rtmp://a/b"));
    // An rtmp address that can not be reached fails cleanly.
    EXPECT_EQ(urlDownloadToFile("rtmp://127.0.0.1:1/live/x", path("rtmp.flv"), goOn, fast()).result,
              DownloadResult::Failed);
}

// An existing file is never truncated, and a file that can not be written (a full disk)
// ends the download as a failure.
TEST_F(DownloadTest, FilesAreNeverClobberedAndWriteErrorsFail)
{
    FlvStreamServer server;
    Script script;
    script.tags = 20;
    script.interval = 0ms;
    server.setScript(script);

    const std::string existing = path("existing.flv");
    { std::ofstream(existing) << "keep me"; }
    EXPECT_EQ(urlDownloadToFile(server.url(), existing, goOn, fast()).result, DownloadResult::Failed);
    EXPECT_EQ(readFile(existing), "keep me");

    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    EXPECT_EQ(urlDownloadToDescriptor(server.url(), full, goOn, fast()).result, DownloadResult::Failed);
    ::close(full);

    EXPECT_EQ(urlDownloadToFile(server.url(), path("missing/dir/x.flv"), goOn, fast()).result,
              DownloadResult::Failed);
}

} // namespace
} // namespace qingtong
