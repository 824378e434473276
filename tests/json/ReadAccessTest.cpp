#include <gtest/gtest.h>

#include "json/JsonDocument.h"

using namespace qingtong;

namespace {

const char* kLiveAnswer =
    R"({"status_code":0,"data":[{"user_live":[{"live_status":1,"room_id":7312345678901234567}]}],)"
    R"("extra":{"now":1.50,"flag":true,"none":null,"name":"\u4e2d\u6587"}})";

TEST(JsonReadAccess, FreshDocumentIsAnEmptyObject)
{
    JsonDocument doc;
    EXPECT_EQ(doc.getText("a"), "");
    EXPECT_EQ(doc.typeOf(""), JsonObject);
    EXPECT_EQ(doc.countOf(""), 0);
    EXPECT_FALSE(doc.exists(""));
}

TEST(JsonReadAccess, ServiceAnswerReadsBackByPath)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.parse(kLiveAnswer));
    struct Case { const char* path; const char* text; };
    const Case cases[] = {
        {"status_code", "0"},
        {"data[0].user_live[0].live_status", "1"},
        {"data[0].user_live.[0].room_id", "7312345678901234567"},
        {"extra.now", "1.50"},
        {"extra.flag", "true"},
        {"extra.none", ""},
        {"extra", ""},
        {"data", ""},
        {"extra[1]", "true"},       // an index on an object selects by insertion order
        {"data[5]", ""},
        {"data[-1]", ""},
        {"data[]", ""},
        {"missing.deeper", ""},
        {"..status_code.", "0"},
        {"extra.name", "\xD6\xD0\xCE\xC4"}, // GBK bytes of the two characters
    };
    for (const Case& c : cases)
        EXPECT_EQ(doc.getText(c.path), c.text) << c.path;
    EXPECT_EQ(doc.getTextW(u"extra.name"), u"\u4e2d\u6587");
    EXPECT_EQ(doc.getInt64("data[0].user_live[0].room_id"), 7312345678901234567LL);
}

} // namespace
