#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TempFolder.h"
#include "platform/codePage.h"
#include "platform/files.h"

using namespace qingtong;

namespace {

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

// Runs qingtong-cli with the arguments; stdin is /dev/null.
Result runCli(const std::vector<std::string>& args)
{
    Result result;
    int outPipe[2], errPipe[2];
    if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0)
        return result;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int devNull = ::open("/dev/null", O_RDONLY);
        ::dup2(devNull, 0);
        ::dup2(outPipe[1], 1);
        ::dup2(errPipe[1], 2);
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        std::vector<char*> argv{const_cast<char*>(QINGTONG_CLI_PATH)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(QINGTONG_CLI_PATH, argv.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    while (open > 0 && ::poll(fds, 2, 10000) > 0) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            char buffer[4096];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof(buffer));
            if (n <= 0) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            } else {
                (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
            }
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// userList.txt written by hand, in GBK, with Chinese nicknames.
const Text kList = utf8ToAnsi("青桐小主播--qt_001--1001\r\n"
                              "Bob--bob2--1002\r\n"
                              "老王 直播--12345--1003\r\n");

class CliTest : public ::testing::Test {
protected:
    std::vector<std::string> withDir(std::vector<std::string> args) const
    {
        args.insert(args.begin(), {"--dir", m_run.path()});
        return args;
    }
    TempFolder m_run;
};

TEST_F(CliTest, ListShowsGbkFileInUtf8AlignedByDisplayWidth)
{
    ASSERT_TRUE(writeTextFile(m_run / "userList.txt", kList));
    const Result r = runCli(withDir({"list"}));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out,
              "序号  用户昵称    抖音号  用户id\n"
              "1     青桐小主播  qt_001  1001\n"
              "2     Bob         bob2    1002\n"
              "3     老王 直播   12345   1003\n");
    // Listing changes nothing in the file.
    EXPECT_EQ(readTextFile(m_run / "userList.txt"), kList);
}

TEST_F(CliTest, ListTsvGivesAllTwelveCells)
{
    ASSERT_TRUE(writeTextFile(m_run / "userList.txt", kList));
    const Result r = runCli(withDir({"list", "--tsv"}));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out,
              "1\t青桐小主播\tqt_001\t1001\t\t\t\t\t\t\t\t\n"
              "2\tBob\tbob2\t1002\t\t\t\t\t\t\t\t\n"
              "3\t老王 直播\t12345\t1003\t\t\t\t\t\t\t\t\n");
}

TEST_F(CliTest, HostileTextCanNotSteerTheTerminal)
{
    ASSERT_TRUE(writeTextFile(m_run / "userList.txt", "a\x1b[2Jb\tc--1--9\r\n"));
    const Result r = runCli(withDir({"list", "--tsv"}));
    EXPECT_EQ(r.out, "1\ta [2Jb c\t1\t9\t\t\t\t\t\t\t\t\n");
}

TEST_F(CliTest, RemoveDeletesRenumbersAndSavesGbk)
{
    ASSERT_TRUE(writeTextFile(m_run / "userList.txt", kList));
    const Result r = runCli(withDir({"remove", "2"}));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readTextFile(m_run / "userList.txt"),
              utf8ToAnsi("青桐小主播--qt_001--1001\r\n老王 直播--12345--1003\r\n"));
    const Result listed = runCli(withDir({"list", "--tsv"}));
    EXPECT_EQ(listed.out.substr(0, 2), "1\t");
    EXPECT_NE(listed.out.find("\n2\t老王 直播\t"), std::string::npos);

    EXPECT_EQ(runCli(withDir({"remove", "1", "2", "1"})).code, 0);
    EXPECT_EQ(readTextFile(m_run / "userList.txt"), "");
}

TEST_F(CliTest, RemoveOfAnUnknownSerialChangesNothing)
{
    ASSERT_TRUE(writeTextFile(m_run / "userList.txt", kList));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"remove", "1", "9"}, {"remove", "x"}, {"remove"}, {"remove", ""}}) {
        const Result r = runCli(withDir(args));
        EXPECT_EQ(r.code, 2);
        EXPECT_NE(r.err.find("usage:"), std::string::npos);
        EXPECT_EQ(readTextFile(m_run / "userList.txt"), kList);
    }
}

TEST_F(CliTest, SettingsShowAndChangeConfigKeepingTheRest)
{
    const Text config = utf8ToAnsi("; 我的设置\r\n[service]\r\nwebcastHost=127.0.0.1:9\r\n\r\n"
                                   "[softSet]\r\nsave=/录像\r\nfolder=假\r\n");
    ASSERT_TRUE(writeTextFile(m_run / "Config.ini", config));

    Result r = runCli(withDir({"settings"}));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "downloadFolder: /录像\nperAuthorFolders: off\n");

    r = runCli(withDir({"settings", "--folder", "on"}));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "downloadFolder: /录像\nperAuthorFolders: on\n");
    Text expected = config;
    expected.replace(expected.find(utf8ToAnsi("folder=假")), 9, utf8ToAnsi("folder=真"));
    EXPECT_EQ(readTextFile(m_run / "Config.ini"), expected);

    r = runCli(withDir({"settings", "--save", "/新 目录/"}));
    ASSERT_EQ(r.code, 0) << r.err;
    expected.replace(expected.find(utf8ToAnsi("save=/录像")), 10, utf8ToAnsi("save=/新 目录/"));
    EXPECT_EQ(readTextFile(m_run / "Config.ini"), expected);
    EXPECT_EQ(runCli(withDir({"settings"})).out, "downloadFolder: /新 目录/\nperAuthorFolders: on\n");
}

TEST_F(CliTest, SettingsWithoutConfigShowsTheDefaultFolder)
{
    const Result r = runCli(withDir({"settings"}));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "downloadFolder: " + m_run.path() + "/Download\nperAuthorFolders: off\n");
    EXPECT_TRUE(isDirectory(m_run / "Download"));
}

TEST_F(CliTest, BadUsageExitsWithTwoAndTheUsage)
{
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"--bogus", "list"},
        {"--dir"},
        {"list", "--wide"},
        {"settings", "--folder", "maybe"},
        {"settings", "--save"},
    };
    for (const auto& args : cases) {
        const std::vector<std::string> full = args.empty() || args[0] == "--dir" ? args : withDir(args);
        const Result r = runCli(full);
        EXPECT_EQ(r.code, 2) << (args.empty() ? "" : args[0]);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("qingtong-cli: "), std::string::npos);
        EXPECT_NE(r.err.find("usage: qingtong-cli"), std::string::npos);
    }
    const Result help = runCli({"--help"});
    EXPECT_EQ(help.code, 0);
    for (const char* command : {"list", "remove", "settings"})
        EXPECT_NE(help.out.find(std::string("  ") + command), std::string::npos) << command;
}

} // namespace
