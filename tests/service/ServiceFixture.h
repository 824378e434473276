#pragma once

#include <gtest/gtest.h>

#include <string>

#include "app/Settings.h"
#include "monitor/Queries.h"
#include "monitor/UserInfo.h"
#include "platform/codePage.h"
#include "support/FakeService.h"

namespace qingtong::test {

// Users the fake knows, in UTF-8 as on the wire.
inline FakeService::User liveUser()
{
    return {"MS4wLjABAAAAlive-User_01", "58712345678", "青桐主播😀", "qingtong.tv", "1024", true,
            "7312345678901234567"};
}
inline FakeService::User offlineUser()
{
    return {"MS4wLjABAAAAquiet-User_02", "3456789012345678901", "安静的人", "", "98765", false,
            "7300000000000000002"};
}

inline Text gbk(const std::string& utf8) { return utf8ToAnsi(utf8); }

// A fake service that every host of the process-wide configuration points at, and short
// time-outs so a silent answer ends a query in about a second.
class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fake.running());
        fake.install();
        QueryTimeouts t;
        t.connectMs = 2000;
        t.sendMs = 2000;
        t.receiveMs = 1500;
        t.webRequestSeconds = 2;
        setQueryTimeouts(t);
        fake.addUser(liveUser());
        fake.addUser(offlineUser());
    }
    void TearDown() override
    {
        setQueryTimeouts({});
        setServiceConfig(ServiceConfig{});
    }

    FakeService fake;
};

} // namespace qingtong::test
