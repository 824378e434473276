// qingtong-cli add, run as a real process against the fake service.
#ifdef QINGTONG_CLI_PATH

#include "ServiceFixture.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace qingtong::test {
namespace {

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string shellQuote(const std::string& s)
{
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

class CliAdd : public ServiceTest {
protected:
    void SetUp() override
    {
        ServiceTest::SetUp();
        char pattern[] = "/tmp/qingtong-cliadd-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        ASSERT_TRUE(fake.writeServiceConfig(dir));
        fake.addUserShortLink("kP9xQ2mZr7L", liveUser().secUid);
        fake.addRoomShortLink("Ab12Cd", liveUser().roomId);
        fake.addRoomShortLink("Ef34Gh", offlineUser().roomId);
        fake.addUserShareCode("aB3dE5fG7hJ", offlineUser().secUid);
        fake.addRoomShareCode("Hk8Jm2Np4Qr", liveUser().roomId, liveUser().secUid);
    }
    void TearDown() override
    {
        std::filesystem::remove_all(dir);
        ServiceTest::TearDown();
    }

    // Runs the program with the lines as arguments (or on standard input) and gives its exit code.
    int add(const std::vector<std::string>& lines, bool viaStdin = false)
    {
        std::string cmd = shellQuote(QINGTONG_CLI_PATH) + " --dir " + shellQuote(dir) + " add";
        if (viaStdin) {
            std::ofstream in(dir + "/input.txt", std::ios::binary);
            for (const std::string& l : lines)
                in << l << "\n";
            cmd += " < " + shellQuote(dir + "/input.txt");
        } else {
            for (const std::string& l : lines)
                cmd += " " + shellQuote(l);
        }
        cmd += " > " + shellQuote(dir + "/out.txt") + " 2>&1";
        const int status = std::system(cmd.c_str());
        output = readFile(dir + "/out.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string dir;
    std::string output;
};

TEST_F(CliAdd, EveryFormOfLineAddsItsUser)
{
    const std::string web = fake.webLinkUrl(offlineUser().secUid);
    const std::vector<std::string> lines = {
        fake.shortLinkUrl("kP9xQ2mZr7L"),
        web + "?from_ssr=1&u_code=x",
        web,
        fake.shortLinkUrl("Ab12Cd"),
        "7- #在抖音，记录美好生活#【青桐主播😀】正在直播，来和我一起支持Ta吧。复制下方链接，打开【抖音】，直接观看直播！ "
            + fake.shortLinkUrl("Ab12Cd") + " 9@7.com :4pm",
        "长按复制此条消息，打开抖音搜索，查看TA的更多作品。##aB3dE5fG7hJ##[抖音口令]",
        "4- 长按复制此条消息，打开抖音搜索，查看TA的直播间^^Hk8Jm2Np4Qr^^[抖音口令]",
    };
    EXPECT_EQ(add(lines), 0) << output;
    EXPECT_NE(output.find("正在解析 -> " + fake.shortLinkUrl("kP9xQ2mZr7L")), std::string::npos) << output;
    EXPECT_NE(output.find("添加完毕 -> 成功：7   失败：0"), std::string::npos) << output;
    // Two users, each listed once, in the order they were first added.
    EXPECT_EQ(readFile(dir + "/userList.txt"),
              gbk("青桐主播") + "?--qingtong.tv--58712345678\r\n" + gbk("安静的人") + "--98765--3456789012345678901\r\n");
}

TEST_F(CliAdd, FailedLinesCountAndChangeNothing)
{
    {
        std::ofstream list(dir + "/userList.txt", std::ios::binary);
        list << "A--1--11\r\n";
    }
    // A room that is not live, an unknown link, a line of plain text; standard input this time.
    EXPECT_EQ(add({fake.shortLinkUrl("Ef34Gh"), fake.shortLinkUrl("Nope12"), "", "随便写的一行字"}, true), 1)
        << output;
    EXPECT_NE(output.find("添加完毕 -> 成功：0   失败：3"), std::string::npos) << output;
    EXPECT_EQ(readFile(dir + "/userList.txt"), "A--1--11\r\n");
}

TEST_F(CliAdd, UpdatesAListedUserInPlace)
{
    {
        std::ofstream list(dir + "/userList.txt", std::ios::binary);
        list << "A--1--11\r\nold--old--3456789012345678901\r\nB--2--22\r\n";
    }
    EXPECT_EQ(add({"##aB3dE5fG7hJ##"}, true), 0) << output;
    EXPECT_EQ(readFile(dir + "/userList.txt"),
              "A--1--11\r\n" + gbk("安静的人") + "--98765--3456789012345678901\r\nB--2--22\r\n");
}

} // namespace
} // namespace qingtong::test

#endif
