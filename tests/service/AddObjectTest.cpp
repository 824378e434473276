// Turning pasted lines into users: share codes, short links, web links and the user query.
#include "ServiceFixture.h"

#include "addobject/AddObject.h"
#include "platform/textRoutines.h"

namespace qingtong::test {
namespace {

using Endpoint = FakeService::Endpoint;
using Failure = FakeService::Failure;

TEST(FindShareCode, FindsTheFirstElevenLettersOrDigitsByCharacter)
{
    const std::pair<Text, Text> cases[] = {
        {gbk("长按复制此条消息，打开抖音搜索，查看TA的更多作品。##aB3dE5fG7hJ##[抖音口令]"), "aB3dE5fG7hJ"},
        {"x 0123456789abcdeXYZ y", "0123456789a"},  // a longer run gives its first 11
        {"short 0123456789 runs abc", ""},
        {"", ""},
        // 0x81 0x41 is one double-byte character whose second byte equals "A": it never
        // lengthens a run, so only ten letters or digits follow it here.
        {"\x81\x41" "0123456789 tail", ""},
        {"\x81\x41" "0123456789Z", "0123456789Z"},
        {gbk("口令") + "KLMNOPQRSTU" + gbk("码"), "KLMNOPQRSTU"},
    };
    for (const auto& [text, code] : cases)
        EXPECT_EQ(findShareCode(text), code) << ansiToUtf8(text);
}

TEST(UrlEncode, EncodesBytesAsTheFlagsSay)
{
    struct Case {
        Text text;
        bool keep;
        bool utf8;
        Text out;
    };
    const Case cases[] = {
        {"", true, true, ""},
        {"aZ09-.", true, false, "aZ09-."},
        {"A", false, false, "%41"},
        {"_~/ \n", true, false, "%5F%7E%2F%20%0A"},
        {gbk("中"), true, true, "%E4%B8%AD"},       // one GBK character, three UTF-8 bytes
        {gbk("中"), true, false, "%D6%D0"},         // the GBK bytes themselves
    };
    for (const Case& c : cases)
        EXPECT_EQ(urlEncode(c.text, c.keep, c.utf8), c.out) << c.text;
}

TEST(ShortLinkAddress, CutsTheLinkOutOfAShareMessage)
{
    const Text host = "v.douyin.com";
    const std::pair<Text, Text> cases[] = {
        {"https://v.douyin.com/kP9xQ2mZr7L/", "https://v.douyin.com/kP9xQ2mZr7L/"},
        {gbk("7- #在抖音，记录美好生活#【某主播】正在直播，来和我一起支持Ta吧。复制下方链接，打开【抖音】，"
             "直接观看直播！ https://v.douyin.com/kP9xQ2mZr7L/ 9@7.com :4pm"),
         "https://v.douyin.com/kP9xQ2mZr7L/"},
        {gbk("看看我的主页HTTPS://v.douyin.com/abc-_12/复制此链接"), "HTTPS://v.douyin.com/abc-_12/"},
        {"see\thttp://v.douyin.com/xYz123/\tnow", "http://v.douyin.com/xYz123/"},
        {gbk("链接 https://v.douyin.com/Ab12Cd/　后面"), "https://v.douyin.com/Ab12Cd/"},  // ideographic space
        {"https://a.example/ https://v.douyin.com/Ab12Cd/", "https://v.douyin.com/Ab12Cd/"},
        // No address around the host: the line as it is.
        {"v.douyin.com/Ab12Cd/", "v.douyin.com/Ab12Cd/"},
        {"https:// v.douyin.com/Ab12Cd/", "https:// v.douyin.com/Ab12Cd/"},
        {"no host here", "no host here"},
    };
    for (const auto& [line, address] : cases)
        EXPECT_EQ(shortLinkAddress(line, host), address) << ansiToUtf8(line);
}

class UserInfoQuery : public ServiceTest {};

TEST_F(UserInfoQuery, SendsTheKeyUnchangedWithTheBrowserAgent)
{
    UserInfo info;
    EXPECT_TRUE(queryUserInfo("MS4wLjABAAAAlive-User_01", info));
    EXPECT_FALSE(queryUserInfo("", info));  // still asked; the service refuses an empty key
    const auto sent = fake.requests(Endpoint::UserInfo);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].method, "GET");
    EXPECT_EQ(sent[0].path, "/web/api/v2/user/info/");
    EXPECT_EQ(sent[0].query, "sec_uid=MS4wLjABAAAAlive-User_01");
    EXPECT_EQ(sent[1].query, "sec_uid=");
    EXPECT_EQ(sent[0].header("User-Agent"),
              "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
              "Chrome/97.0.4692.71 Safari/537.36");
}

TEST_F(UserInfoQuery, FillsTheRecordOnlyFromAGoodAnswer)
{
    UserInfo info;
    ASSERT_TRUE(queryUserInfo("MS4wLjABAAAAlive-User_01", info));
    EXPECT_EQ(info.nickname, gbk("青桐主播") + "?");
    EXPECT_EQ(info.displayId, "qingtong.tv");
    EXPECT_EQ(info.userId, "58712345678");

    ASSERT_TRUE(queryUserInfo("MS4wLjABAAAAquiet-User_02", info));
    EXPECT_EQ(info.displayId, "98765");  // no unique id: the short id
    EXPECT_EQ(info.userId, "3456789012345678901");

    fake.setSlowDelay(std::chrono::seconds(30));
    for (Failure f : {Failure::StatusCode, Failure::NotJson, Failure::HtmlError, Failure::Reset, Failure::Slow}) {
        fake.setFailure(Endpoint::UserInfo, f);
        UserInfo kept{"earlier", "e", "1"};
        EXPECT_FALSE(queryUserInfo("MS4wLjABAAAAlive-User_01", kept)) << static_cast<int>(f);
        EXPECT_EQ(kept.nickname, "earlier");
        EXPECT_EQ(kept.userId, "1");
        fake.setFailure(Endpoint::UserInfo, Failure::None);
    }

    // Status 0 without the profile: true, with empty fields.
    fake.setRawAnswer(Endpoint::UserInfo, R"({"status_code":0})", 1);
    UserInfo empty{"earlier", "e", "1"};
    EXPECT_TRUE(queryUserInfo("MS4wLjABAAAAlive-User_01", empty));
    EXPECT_EQ(empty.nickname, "");
    EXPECT_EQ(empty.userId, "");
}

class ShareCodeTranslation : public ServiceTest {};

TEST_F(ShareCodeTranslation, AsksTheAppApiAndFollowsTheSchemaKey)
{
    fake.addUserShareCode("aB3dE5fG7hJ", "MS4wLjABAAAAquiet-User_02");
    UserInfo info;
    EXPECT_TRUE(translateShareCode(gbk("长按复制此条消息##aB3dE5fG7hJ##[抖音口令]"), info));
    EXPECT_EQ(info.userId, "3456789012345678901");
    const auto sent = fake.requests(Endpoint::ShareCode);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].method, "GET");
    EXPECT_EQ(sent[0].query, "command=aB3dE5fG7hJ");
    EXPECT_EQ(sent[0].header("User-Agent"), "okhttp/3.10.0.1");
}

TEST_F(ShareCodeTranslation, KeyIsEverythingAfterTheLastMark)
{
    // Parameters after the key stay attached and reach the user query unchanged.
    fake.addShareCode("Q1w2e3r4t5y", "snssdk1128://user/profile/1?sec_uid=MS4wLjABAAAAquiet-User_02&x=1");
    UserInfo info;
    EXPECT_TRUE(translateShareCode("Q1w2e3r4t5y", info));
    const auto sent = fake.requests(Endpoint::UserInfo);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].query, "sec_uid=MS4wLjABAAAAquiet-User_02&x=1");
}

TEST_F(ShareCodeTranslation, FailsWithoutACodeOrAKey)
{
    UserInfo info;
    EXPECT_FALSE(translateShareCode(gbk("没有口令的一行字 12345"), info));
    EXPECT_TRUE(fake.requests().empty());  // nothing to ask

    fake.addShareCode("Zz9Yy8Xx7Ww", "snssdk1128://live?room_id=7312345678901234567");
    EXPECT_FALSE(translateShareCode("Zz9Yy8Xx7Ww", info));
    EXPECT_FALSE(translateShareCode("NotAKnownCd", info));  // the service says no
    fake.addShareCode("Vv6Uu5Tt4Ss", "snssdk1128://user/profile/1?sec_uid");
    EXPECT_FALSE(translateShareCode("Vv6Uu5Tt4Ss", info));  // "sec_uid" without "="
    EXPECT_EQ(fake.requests(Endpoint::ShareCode).size(), 3u);
    EXPECT_EQ(fake.requests(Endpoint::UserInfo).size(), 1u);  // only the last one asked, with ""
}

class ResolveLine : public ServiceTest {
protected:
    void SetUp() override
    {
        ServiceTest::SetUp();
        fake.addUserShortLink("kP9xQ2mZr7L", liveUser().secUid);
        fake.addRoomShortLink("Ab12Cd", liveUser().roomId);
        fake.addRoomShortLink("Ef34Gh", offlineUser().roomId);
        fake.addShortLink("NoQuery_1", "https://" + fake.host() + "/share/user/" + liveUser().secUid);
        fake.addShortLink("Elsewhere", "https://" + fake.host() + "/");
        fake.addUserShareCode("aB3dE5fG7hJ", offlineUser().secUid);
        fake.addRoomShareCode("Hk8Jm2Np4Qr", liveUser().roomId, liveUser().secUid);
    }
};

TEST_F(ResolveLine, EveryKindOfLineEndsAtItsUser)
{
    const std::string live = "58712345678";
    const std::string quiet = "3456789012345678901";
    struct Case {
        const char* name;
        Text line;
        std::string userId;  // "" when the line must fail
    };
    const Case cases[] = {
        {"user short link", fake.shortLinkUrl("kP9xQ2mZr7L"), live},
        {"live room short link", fake.shortLinkUrl("Ab12Cd"), live},
        {"short link of a room not live", fake.shortLinkUrl("Ef34Gh"), ""},
        {"short link target without ?", fake.shortLinkUrl("NoQuery_1"), ""},
        {"short link to neither", fake.shortLinkUrl("Elsewhere"), ""},
        {"unknown short link", fake.shortLinkUrl("Unknown1"), ""},
        {"short link inside a live share message",
         gbk("7- #在抖音，记录美好生活#【某主播】正在直播，来和我一起支持Ta吧。复制下方链接，打开【抖音】，直接观看直播！ ")
             + fake.shortLinkUrl("Ab12Cd") + " 9@7.com :4pm",
         live},
        {"short link inside a home page message",
         gbk("长按复制此条消息，打开抖音搜索，查看TA的更多作品。") + fake.shortLinkUrl("kP9xQ2mZr7L"), live},
        {"web link with a query", fake.webLinkUrl(offlineUser().secUid) + "?from=x&y=1", quiet},
        {"web link without a query", fake.webLinkUrl(offlineUser().secUid), quiet},
        {"web link ending in /user", "https://" + fake.webDomainHost() + "/user", ""},
        {"home page share message with its code",
         gbk("长按复制此条消息，打开抖音搜索，查看TA的更多作品。##aB3dE5fG7hJ##[抖音口令]"), quiet},
        {"live room share message with its code",
         gbk("4- 长按复制此条消息，打开抖音搜索，查看TA的直播间^^Hk8Jm2Np4Qr^^[抖音口令]"), live},
        {"web domain in capitals goes to the code search",
         "https://" + asciiUpper(fake.webDomainHost()) + "/user/" + offlineUser().secUid, ""},
        {"plain text", gbk("请在此框内输入监控对象信息"), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UserInfo info;
        Text line = "  " + c.line + gbk("　");
        EXPECT_EQ(resolveLine(line, info), !c.userId.empty());
        EXPECT_EQ(line, c.line);  // trimmed in place
        if (!c.userId.empty()) {
            EXPECT_EQ(info.userId, c.userId);
        }
    }
}

TEST_F(ResolveLine, ShortLinkIsAskedWithoutFollowingTheRedirect)
{
    UserInfo info;
    Text line = fake.shortLinkUrl("kP9xQ2mZr7L");
    ASSERT_TRUE(resolveLine(line, info));
    const auto sent = fake.requests();
    ASSERT_EQ(sent.size(), 2u);  // the short link, then the user query: no visit to the target
    EXPECT_EQ(sent[0].method, "GET");
    EXPECT_EQ(sent[0].path, "/kP9xQ2mZr7L/");
    EXPECT_EQ(sent[0].header("User-Agent"),
              "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
              "Chrome/97.0.4692.71 Safari/537.36");
    EXPECT_EQ(sent[1].query, "sec_uid=" + liveUser().secUid);
}

TEST_F(ResolveLine, BrokenShortLinkAnswersFail)
{
    fake.setSlowDelay(std::chrono::seconds(30));
    for (Failure f : {Failure::Reset, Failure::HtmlError, Failure::Slow, Failure::Truncated}) {
        fake.setFailure(Endpoint::ShortLink, f);
        UserInfo info;
        Text line = fake.shortLinkUrl("kP9xQ2mZr7L");
        EXPECT_FALSE(resolveLine(line, info)) << static_cast<int>(f);
        fake.setFailure(Endpoint::ShortLink, Failure::None);
    }
}

} // namespace
} // namespace qingtong::test
