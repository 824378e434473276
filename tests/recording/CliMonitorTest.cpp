// The headless program as a real process: it records from the loopback service, and a SIGTERM
// ends every recording with "下载终止", saves the list and exits 0.

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/codePage.h"
#include "recording/RecordingFixture.h"
#include "support/FakeService.h"
#include "support/FlvStreamServer.h"

extern char** environ;

namespace qingtong {
namespace {

using namespace std::chrono_literals;
using test::FakeService;
using test::FlvStreamServer;
using test::readWholeFile;
using test::waitUntil;
using Script = FlvStreamServer::Script;

class CliMonitorTest : public test::RecordingFixture {
protected:
    void SetUp() override
    {
        RecordingFixture::SetUp();
        const std::string ini = "[softSet]\r\nsave=" + downloadFolder() + "\r\nfolder=" + utf8ToAnsi("假") + "\r\n";
        std::ofstream(m_root / "Config.ini", std::ios::binary) << ini;
        ASSERT_TRUE(service.writeServiceConfig(m_root.string()));
        std::ofstream(m_root / "userList.txt", std::ios::binary) << utf8ToAnsi("主播--acc--1\r\n");
        service.addUser({"sec1", "1", "主播", "d1", "51", true, "7300000000000000001"});
        service.setStreamUrl("7300000000000000001", streams.url("/live.flv"));
    }
    void TearDown() override
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        RecordingFixture::TearDown();
    }

    void launch(std::vector<std::string> extra)
    {
        std::vector<std::string> args = {QINGTONG_CLI_PATH, "--dir", m_root.string(), "monitor",
                                         "--row-pause-ms", "10", "--sweep-pause-ms", "100"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outputPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        ASSERT_EQ(posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
    }

    // Exit code, or -1 when the process did not end within the timeout.
    int waitExit(std::chrono::milliseconds timeout)
    {
        int status = 0;
        const bool ended = waitUntil([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; }, timeout);
        if (!ended)
            return -1;
        m_pid = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    std::string outputPath() const { return (m_root / "out.txt").string(); }
    std::string output() const { return readWholeFile(outputPath()); }

    std::vector<std::filesystem::path> recordings() const
    {
        std::vector<std::filesystem::path> files;
        for (const auto& e : std::filesystem::directory_iterator(downloadFolder()))
            files.push_back(e.path());
        return files;
    }

    FakeService service;
    FlvStreamServer streams;
    pid_t m_pid = 0;
};

TEST_F(CliMonitorTest, SigtermStopsRecordingsSavesAndExitsCleanly)
{
    Script endless;
    endless.interval = 2ms;
    streams.setScript(endless);
    launch({});
    ASSERT_TRUE(waitUntil([&] { return output().find("正在下载") != std::string::npos; }, 10s)) << output();
    ASSERT_TRUE(waitUntil([&] { return output().find("文件尺寸") != std::string::npos
                                     && output().find("文件尺寸: 0 kb") != output().rfind("文件尺寸"); },
                          10s))
        << output();
    ::kill(m_pid, SIGTERM);
    EXPECT_EQ(waitExit(5s), 0) << output();

    const std::string out = output();
    EXPECT_NE(out.find("[1] 主播 直播状态: 正在直播"), std::string::npos) << out;
    EXPECT_NE(out.find("下载状态: 下载终止"), std::string::npos) << out;
    EXPECT_NE(out.find("当前状态 -> 监控任务被停止。"), std::string::npos) << out;

    streams.stop();
    const auto files = recordings();
    ASSERT_EQ(files.size(), 1u);
    const std::string saved = readWholeFile(files[0].string());
    EXPECT_GT(saved.size(), 0u);
    EXPECT_EQ(streams.connections().at(0).body.substr(0, saved.size()), saved);
    EXPECT_EQ(readWholeFile((m_root / "userList.txt").string()), utf8ToAnsi("主播--acc--1\r\n"));
}

// Closing the terminal (SIGHUP) ends the recordings with their end text, like SIGTERM.
TEST_F(CliMonitorTest, HangupStopsRecordingsCleanly)
{
    Script endless;
    endless.interval = 2ms;
    streams.setScript(endless);
    launch({});
    ASSERT_TRUE(waitUntil([&] { return output().find("正在下载") != std::string::npos; }, 10s)) << output();
    ::kill(m_pid, SIGHUP);
    EXPECT_EQ(waitExit(5s), 0) << output();
    EXPECT_NE(output().find("下载状态: 下载终止"), std::string::npos) << output();
}

TEST_F(CliMonitorTest, LimitedSweepsWaitForRecordingsToEnd)
{
    Script finite;
    finite.tags = 200;
    finite.interval = 2ms;
    streams.setScript(finite);
    launch({"--sweeps", "1"});
    EXPECT_EQ(waitExit(10s), 0) << output();
    EXPECT_NE(output().find("下载状态: 下载完成"), std::string::npos) << output();
    const auto files = recordings();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(readWholeFile(files[0].string()), FlvStreamServer::makeStream(200, 512));
}

// Another run of the program (an "add" or a "remove" in a second terminal) changes the list
// while the monitor runs; ending the monitor must not put the old list back.
TEST_F(CliMonitorTest, ListChangedMeanwhileByAnotherRunIsKept)
{
    service.setLive("1", false);
    launch({});
    ASSERT_TRUE(waitUntil([&] { return output().find("直播状态: 还未开播") != std::string::npos; }, 10s))
        << output();
    const std::string edited = utf8ToAnsi("主播--acc--1\r\n新人--acc2--2\r\n");
    const std::filesystem::path temp = m_root / "userList.txt.new";
    std::ofstream(temp, std::ios::binary) << edited;
    std::filesystem::rename(temp, m_root / "userList.txt");

    ::kill(m_pid, SIGTERM);
    EXPECT_EQ(waitExit(5s), 0) << output();
    EXPECT_EQ(readWholeFile((m_root / "userList.txt").string()), edited);
}

// A stop signal that arrives before monitoring has begun (here: already pending when the
// program starts) still ends the run, however the program's threads are scheduled.
TEST_F(CliMonitorTest, StopSignalBeforeMonitoringBeginsIsNotLost)
{
    service.setLive("1", false);
    const std::string root = m_root.string();
    for (int attempt = 0; attempt < 40; ++attempt) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            // Only async-signal-safe calls between fork and exec.
            sigset_t set;
            sigemptyset(&set);
            sigaddset(&set, SIGTERM);
            sigprocmask(SIG_BLOCK, &set, nullptr);
            ::kill(::getpid(), SIGTERM);  // pending, and kept pending across exec
            const int devNull = ::open("/dev/null", O_WRONLY);
            ::dup2(devNull, 1);
            ::dup2(devNull, 2);
            ::execl(QINGTONG_CLI_PATH, QINGTONG_CLI_PATH, "--dir", root.c_str(), "monitor", "--row-pause-ms", "10",
                    "--sweep-pause-ms", "100", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        m_pid = pid;
        ASSERT_EQ(waitExit(5s), 0) << "attempt " << attempt;
    }
}

TEST_F(CliMonitorTest, BadOptionsAreRefused)
{
    launch({"--sweeps", "x"});
    EXPECT_EQ(waitExit(5s), 2);
    launch({"--bogus"});
    EXPECT_EQ(waitExit(5s), 2);
    EXPECT_EQ(streams.connectionCount(), 0);
}

} // namespace
} // namespace qingtong
