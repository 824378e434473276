// The fake itself: what it answers, and that its failures really reach the client as such.
#include <gtest/gtest.h>

#include <httplib.h>

#include "support/FakeService.h"

namespace qingtong::test {
namespace {

std::unique_ptr<httplib::SSLClient> client(const FakeService& fake)
{
    auto c = std::make_unique<httplib::SSLClient>("127.0.0.1", fake.port());
    c->enable_server_certificate_verification(false);
    c->set_read_timeout(2);
    return c;
}

TEST(FakeService, AnswersScriptedUserAndRecordsTheRequest)
{
    FakeService fake;
    ASSERT_TRUE(fake.running());
    fake.addUser({"SEC1", "111", "主播😀", "", "42", true, "7300000000000000001"});
    auto c = client(fake);
    auto res = c->Post("/webcast/distribution/check_user_live_status/?aid=1128",
                      "user_ids=111&distribution_scenes=1", "application/x-www-form-urlencoded");
    ASSERT_TRUE(res);
    EXPECT_NE(res->body.find("\"room_id\":7300000000000000001"), std::string::npos) << res->body;
    auto log = fake.requests(FakeService::Endpoint::LiveStatus);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].method, "POST");
    EXPECT_EQ(log[0].query, "aid=1128");
    EXPECT_EQ(log[0].body, "user_ids=111&distribution_scenes=1");
}

TEST(FakeService, FailuresReachTheClient)
{
    FakeService fake;
    fake.addUserShortLink("abcdef", "SEC1");
    auto c = client(fake);
    c->set_follow_location(false);

    auto ok = c->Get("/abcdef/");
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->status, 302);
    EXPECT_NE(ok->get_header_value("Location").find("/share/user/SEC1?"), std::string::npos);

    fake.setFailure(FakeService::Endpoint::ShortLink, FakeService::Failure::Reset, 1);
    EXPECT_FALSE(c->Get("/abcdef/"));
    fake.setFailure(FakeService::Endpoint::ShortLink, FakeService::Failure::Truncated, 1);
    EXPECT_FALSE(c->Get("/abcdef/"));
    EXPECT_TRUE(c->Get("/abcdef/"));  // the failure counted down

    httplib::SSLClient refused("127.0.0.1", std::stoi(FakeService::refusedHost().substr(10)));
    refused.set_connection_timeout(1);
    EXPECT_FALSE(refused.Get("/"));
}

} // namespace
} // namespace qingtong::test
