// The two webcast queries the monitor makes, against the loopback fake.
#include "ServiceFixture.h"

namespace qingtong::test {
namespace {

using Endpoint = FakeService::Endpoint;
using Failure = FakeService::Failure;

class LiveStatusQuery : public ServiceTest {};
class RoomInfoQuery : public ServiceTest {};

TEST_F(LiveStatusQuery, SendsTheFormPostTheServiceExpects)
{
    Text room;
    queryLiveStatus("58712345678", room);
    const auto sent = fake.requests(Endpoint::LiveStatus);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].method, "POST");
    EXPECT_EQ(sent[0].path, "/webcast/distribution/check_user_live_status/");
    EXPECT_EQ(sent[0].query, "aid=1128");
    EXPECT_EQ(sent[0].body, "user_ids=58712345678&distribution_scenes=1");
    EXPECT_EQ(sent[0].header("User-Agent"), "okhttp/3.12.1");
    EXPECT_EQ(sent[0].header("Content-Type"), "application/x-www-form-urlencoded");
}

struct LiveCase {
    const char* name;
    Failure failure;
    std::string raw;       // body for Failure::Raw
    std::string userId;
    bool live;
    std::string room;
};

TEST_F(LiveStatusQuery, ReadsEveryKindOfAnswer)
{
    const LiveCase cases[] = {
        {"live, 19-digit room id sent as a number", Failure::None, "", "58712345678", true, "7312345678901234567"},
        {"not live", Failure::None, "", "3456789012345678901", false, ""},
        {"unknown user", Failure::None, "", "1", false, ""},
        {"status code not 0 although live", Failure::StatusCode, "", "58712345678", false, ""},
        {"live without a room id", Failure::Raw,
         R"({"data":[{"user_live":[{"live_status":1}]}],"status_code":0})", "58712345678", true, ""},
        {"live status 2", Failure::Raw,
         R"({"data":[{"user_live":[{"live_status":2,"room_id":7}]}],"status_code":0})", "58712345678", false, ""},
        {"status code 00", Failure::Raw,
         R"({"data":[{"user_live":[{"live_status":1,"room_id":7}]}],"status_code":"00"})", "58712345678", false, ""},
        {"room id 7", Failure::Raw,
         R"({"data":[{"user_live":[{"live_status":1,"room_id":7}]}],"status_code":0})", "58712345678", true, "7"},
        {"not JSON", Failure::NotJson, "", "58712345678", false, ""},
        {"HTML error page", Failure::HtmlError, "", "58712345678", false, ""},
        {"empty body", Failure::Empty, "", "58712345678", false, ""},
        {"connection reset", Failure::Reset, "", "58712345678", false, ""},
        {"answer cut off", Failure::Truncated, "", "58712345678", false, ""},
    };
    for (const LiveCase& c : cases) {
        SCOPED_TRACE(c.name);
        // Until cleared: a client may well try a reset request again on a fresh connection.
        if (c.failure == Failure::Raw)
            fake.setRawAnswer(Endpoint::LiveStatus, c.raw);
        else
            fake.setFailure(Endpoint::LiveStatus, c.failure);
        Text room = "left over";
        EXPECT_EQ(queryLiveStatus(c.userId, room), c.live);
        EXPECT_EQ(room, c.room);
        fake.setFailure(Endpoint::LiveStatus, Failure::None);
    }
}

TEST_F(LiveStatusQuery, SilentOrAbsentServiceReadsAsNotLive)
{
    // The answer would say "live" if the query waited for it; the receive time-out ends it first.
    fake.setSlowDelay(std::chrono::seconds(30));
    fake.setFailure(Endpoint::LiveStatus, Failure::Slow);
    Text room = "left over";
    EXPECT_FALSE(queryLiveStatus("58712345678", room));
    EXPECT_EQ(room, "");
    fake.setFailure(Endpoint::LiveStatus, Failure::None);

    ServiceConfig refused = fake.config();
    refused.webcastHost = FakeService::refusedHost();
    setServiceConfig(refused);
    room = "left over";
    EXPECT_FALSE(queryLiveStatus("58712345678", room));
    EXPECT_EQ(room, "");
}

TEST_F(RoomInfoQuery, SendsTheGetTheServiceExpects)
{
    Text address;
    UserInfo info;
    queryRoomInfo("7312345678901234567", address, info);
    const auto sent = fake.requests(Endpoint::RoomInfo);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].method, "GET");
    EXPECT_EQ(sent[0].path, "/webcast/room/reflow/info/");
    EXPECT_EQ(sent[0].query, "type_id=0&live_id=1&room_id=7312345678901234567&sec_user_id=&app_id=1128");
    EXPECT_EQ(sent[0].header("User-Agent"), "okhttp/3.12.1");
    EXPECT_EQ(sent[0].header("Accept"), "*/*");
    EXPECT_EQ(sent[0].header("Accept-Language"), "zh-cn");
    EXPECT_EQ(sent[0].header("Referer"), "https://" + fake.host() + "/webcast/room/reflow/info/?" + sent[0].query);
}

TEST_F(RoomInfoQuery, LiveRoomGivesAddressAndOwner)
{
    fake.setStreamUrl("7312345678901234567", "http://127.0.0.1:1/live/stream-7312345678901234567.flv?expire=1&sign=ab");
    Text address = "left over";
    UserInfo info;
    EXPECT_TRUE(queryRoomInfo("7312345678901234567", address, info));
    EXPECT_EQ(address, "http://127.0.0.1:1/live/stream-7312345678901234567.flv?expire=1&sign=ab");
    EXPECT_EQ(info.nickname, gbk("青桐主播") + "?");  // the emoji has no GBK form
    EXPECT_EQ(info.displayId, "qingtong.tv");
    EXPECT_EQ(info.userId, "58712345678");
}

TEST_F(RoomInfoQuery, RoomNotLiveStillNamesItsOwner)
{
    // Display id empty: the short id stands in; the owner id is a 19-digit JSON number.
    Text address = "left over";
    UserInfo info;
    EXPECT_FALSE(queryRoomInfo("7300000000000000002", address, info));
    EXPECT_EQ(address, "");
    EXPECT_EQ(info.nickname, gbk("安静的人"));
    EXPECT_EQ(info.displayId, "98765");
    EXPECT_EQ(info.userId, "3456789012345678901");
}

TEST_F(RoomInfoQuery, FailedAnswersLeaveTheRecordAlone)
{
    const std::pair<const char*, Failure> cases[] = {
        {"status code not 0", Failure::StatusCode}, {"not JSON", Failure::NotJson},
        {"HTML error page", Failure::HtmlError},     {"connection reset", Failure::Reset},
        {"silent service", Failure::Slow},
    };
    fake.setSlowDelay(std::chrono::seconds(30));
    for (const auto& [name, failure] : cases) {
        SCOPED_TRACE(name);
        fake.setFailure(Endpoint::RoomInfo, failure);
        Text address = "left over";
        UserInfo info{"earlier", "earlier-id", "1"};
        EXPECT_FALSE(queryRoomInfo("7312345678901234567", address, info));
        EXPECT_EQ(address, "");
        EXPECT_EQ(info.nickname, "earlier");
        EXPECT_EQ(info.displayId, "earlier-id");
        EXPECT_EQ(info.userId, "1");
        fake.setFailure(Endpoint::RoomInfo, Failure::None);
    }
}

} // namespace
} // namespace qingtong::test
