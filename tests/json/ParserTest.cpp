#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "json/JsonDocument.h"
#include "json/JsonText.h"
#include "json/ValueTree.h"

using namespace qingtong;

namespace {

jsontree::ValueNode* nodeOf(const JsonNode& node)
{
    return reinterpret_cast<jsontree::ValueNode*>(node.getHandle());
}

struct ErrorCase {
    const char* text;
    int mode;
    int error;
    int position;
};

TEST(JsonParser, ErrorCodesAndPositions)
{
    const ErrorCase cases[] = {
        {"", 1, -2, 0},
        {R"({"a":1)", 1, -5, 7},            // still open: length + 1
        {"[", 1, -5, 2},
        {R"({"a"})", 1, -6, 0},             // key without value, no ":" read
        {R"({"a":})", 1, -6, 5},            // key without value: at the value start
        {R"({"a":)", 1, -6, 5},
        {R"({:1})", 1, -4, 1},              // ":" without a key
        {R"({"a":"x)", 1, -7, 2},           // ends inside quotes: back to the key
        {R"(["a)", 1, -7, 1},
        {R"({"a":1,,"b":2})", 1, -6, 7},    // empty member between commas
        {R"({"a":1} x)", 1, -6, 8},         // text after the top-level container
        {R"([{} {}])", 1, -4, 4},           // container right after a container, no comma
        {R"({"a" "b":1})", 1, -4, 5},       // quote after a quoted key
        {R"({"a"x:1})", 1, -4, 4},          // character after a quoted key
        {R"({a"b":1})", 1, -4, 2},          // quote after unquoted key characters
        {R"({{}})", 1, -4, 1},              // container where a key belongs
        {R"({"a":1 2})", 1, -6, 5},         // two values without a separator
        {"[1 2]", 1, -6, 1},
        {"{a b:1}", 1, -4, 3},              // whitespace inside an unquoted key
        {"[1]]", 1, -6, 3},
        {"[tru]", 1, -6, 1},
        {R"([1,"a"b])", 1, -6, 3},          // a quoted run with more after it
        {R"({"a":1x[2]})", 1, -6, 5},       // "[" after value characters
        {R"({"a":[1}})", 1, -6, 6},
        {"nul", 1, -6, 0},
        {"1 2", 1, -6, 0},
        {"[1e2.3.4]", 1, -6, 1},            // two points
        {"[1+-2]", 1, -6, 1},               // two signs after position 0
        {"[0x10]", 1, -6, 1},
        {"[\f]", 1, -6, 1},                  // only control characters: not the number 0
    };
    for (const ErrorCase& c : cases) {
        JsonDocument doc;
        int error = 99;
        int position = 99;
        EXPECT_FALSE(doc.parse(c.text, c.mode, error, position)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
        EXPECT_EQ(position, c.position) << c.text;
        // A failed parse leaves a Null root, never the old content or an empty object.
        EXPECT_EQ(doc.typeOf(""), JsonNull) << c.text;
        EXPECT_EQ(doc.toText(), "null") << c.text;
    }
}

TEST(JsonParser, FailedParseDropsPreviousContent)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.parse(R"({"a":1})"));
    EXPECT_FALSE(doc.parse(R"({"a":1)"));
    EXPECT_EQ(doc.getText("a"), "");
    EXPECT_FALSE(doc.exists("a"));
    ASSERT_TRUE(doc.parse(R"({"b":2})")); // the root is reused after a failure
    EXPECT_EQ(doc.toText(), R"({"b":2})");
}

struct AcceptCase {
    const char* text;
    int mode;
    const char* canonical; // toText of the result
};

TEST(JsonParser, LenientFormsAreAccepted)
{
    const AcceptCase cases[] = {
        {"{a:1}", 1, R"({"a":1})"},
        {"{'a':'x'}", 1, R"({"a":"x"})"},
        {R"({'a':'say "hi"'})", 1, R"({"a":"say \"hi\""})"},
        {"[1,2,]", 1, "[1,2]"},
        {"[1,,2]", 1, "[1,2]"},
        {"[,]", 1, "[]"},
        {R"({"a":1,})", 1, R"({"a":1})"},
        {R"({"a":1,"a":2,"b":3})", 1, R"({"a":2,"b":3})"}, // last value, first position
        {R"({"a":1}{"b":2})", 1, R"({"a":1,"b":2})"},      // objects at top level merge
        {R"({"a":{} "b":1})", 1, R"({"a":{},"b":1})"},     // missing comma after a container
        {R"({"a":[1] , "b":[]})", 1, R"({"a":[1],"b":[]})"},
        {R"(cb({"a":1}))", 3, R"({"a":1})"},               // JSONP wrapper skipped
        {R"({"a":1} x)", 3, R"({"a":1})"},
        {R"({"":1})", 1, R"({"":1})"},
        {" \t\r\n[ 1 , \"x\" ]\r\n", 1, R"([1,"x"])"},
        {"123", 1, "123"},
        {" 123 ", 1, "123"},
        {"true", 1, "true"},
        {R"("top")", 1, R"("top")"},
        {"null", 1, "null"},
        {"[1.50,007,+5,1e3,-0,.5,1E+2]", 1, "[1.50,007,+5,1e3,-0,.5,1E+2]"}, // literals kept
        {R"({"n":1.50,"m":+5})", 1, R"({"n":1.50,"m":+5})"},
        {"[[[[]]]]", 1, "[[[[]]]]"},
        {R"([{"a":[{"b":{}}]}])", 1, R"([{"a":[{"b":{}}]}])"},
    };
    for (const AcceptCase& c : cases) {
        JsonDocument doc;
        int error = 99;
        int position = 99;
        EXPECT_TRUE(doc.parse(c.text, c.mode, error, position)) << c.text;
        EXPECT_EQ(error, 0) << c.text;
        EXPECT_EQ(position, 0) << c.text;
        EXPECT_EQ(doc.toText(), c.canonical) << c.text;
    }
}

TEST(JsonParser, TokenClassification)
{
    struct Case { const char* token; int type; const char* literal; double real; long long integer; };
    const Case cases[] = {
        {"1.50", JsonReal, "1.50", 1.5, 1},
        {"007", JsonInteger, "007", 7, 7},
        {"-12", JsonInteger, "-12", -12, -12},
        {"+5", JsonInteger, "+5", 5, 5},
        {"1e3", JsonReal, "1e3", 1000, 1000},
        {"1-2", JsonReal, "1-2", 1, 1},      // characters and counts are tested, not their order
        {"1e", JsonReal, "1e", 1, 1},
        {"-", JsonInteger, "-", 0, 0},
        {"99999999999999999999", JsonInteger, "99999999999999999999", 9223372036854775807.0,
         9223372036854775807LL},           // saturates; the literal keeps every digit
        {"1e400", JsonReal, "1e400", HUGE_VAL, 9223372036854775807LL},
        {"true", JsonBoolean, "true", 1, 1},
        {"false", JsonBoolean, "false", 0, 0},
    };
    for (const Case& c : cases) {
        JsonDocument doc;
        ASSERT_TRUE(doc.parse(std::string("[") + c.token + "]")) << c.token;
        EXPECT_EQ(doc.typeOf("[0]"), c.type) << c.token;
        EXPECT_EQ(doc.getLiteral("[0]"), c.literal) << c.token;
        EXPECT_EQ(doc.getText("[0]"), c.literal) << c.token;
        EXPECT_EQ(doc.getReal("[0]"), c.real) << c.token;
        EXPECT_EQ(doc.getInt64("[0]"), c.integer) << c.token;
    }
    JsonDocument doc;
    ASSERT_TRUE(doc.parse("[null,\"s\"]"));
    EXPECT_EQ(doc.typeOf("[0]"), JsonNull);
    EXPECT_EQ(doc.getLiteral("[1]"), ""); // a String has no literal
    EXPECT_EQ(doc.typeOf("[2]"), JsonMissing);
}

// A Real keeps its value through the moves that carry a literal along: a swap inside one
// document, a swap between documents, and a copy (which writes a new literal).
TEST(JsonParser, RealValuesFollowTheirLiteralsThroughMoves)
{
    struct Case { const char* literal; double value; const char* copied; };
    const Case cases[] = {
        {"1.50", 1.5, "1.5"},
        {"-0.0", -0.0, "-0.0"},
        {"2.5e-3", 0.0025, "0.0025"},
        {"1e400", HUGE_VAL, "inf"},
    };
    for (const Case& c : cases) {
        const std::string text = std::string(R"({"r":)") + c.literal + R"(,"s":0})";
        JsonDocument doc;
        ASSERT_TRUE(doc.parse(text)) << c.literal;
        ASSERT_TRUE(doc.setReal("s", 7.25));
        ASSERT_TRUE(doc.swapWith("r", doc.getMember("", "s")));
        EXPECT_EQ(doc.getReal("s"), c.value) << c.literal;
        EXPECT_EQ(std::signbit(doc.getReal("s")), std::signbit(c.value)) << c.literal;
        EXPECT_EQ(doc.getReal("r"), 7.25) << c.literal;
        EXPECT_EQ(doc.getLiteral("s"), c.literal);

        JsonDocument other;
        ASSERT_TRUE(other.parse(R"({"t":[0.5]})"));
        ASSERT_TRUE(other.swapWith("t[0]", doc.getMember("", "s")));
        EXPECT_EQ(other.getReal("t[0]"), c.value) << c.literal;
        EXPECT_EQ(other.getLiteral("t[0]"), c.literal);
        EXPECT_EQ(doc.getReal("s"), 0.5) << c.literal;

        ASSERT_TRUE(doc.setCopy("r", other.nodeAt("t[0]")));
        EXPECT_EQ(doc.getReal("r"), c.value) << c.literal;
        EXPECT_EQ(doc.getText("r"), c.copied) << c.literal;
    }
}

TEST(JsonParser, Unescaping)
{
    struct Case { const char16_t* text; int mode; std::u16string value; };
    const Case cases[] = {
        {uR"(["a\nb"])", 1, u"a\r\nb"},          // LF after other text becomes CR LF
        {uR"(["a\r\nb"])", 1, u"a\r\nb"},        // ... but not after a CR
        {uR"(["\nb"])", 1, u"\r\nb"},            // the opening quote counts as text before it
        {u"[\"a\r\\nb\"]", 1, u"a\r\nb"},         // a raw CR before it counts too
        {uR"(["\u4e2d"])", 1, u"\u4e2d"},
        {uR"(["\u4e2d"])", 0, u"\\u4e2d"},        // without the mode bit it stays
        {uR"(["\uD83D\uDE00"])", 1, u"\U0001F600"},
        {uR"(["a\u0000b"])", 1, u"ab"},          // the unit 0 is dropped
        {uR"(["\uZZZZ"])", 1, u"\\uZZZZ"},
        {uR"(["\/\\\"\b\t\f\r"])", 1, u"/\\\"\b\t\f\r"},
        {uR"(["\'\q"])", 1, u"\\'\\q"},          // other pairs stay as they are
        {uR"(['it\'s'])", 1, u"it\\'s"},
        {uR"(["\\n"])", 1, u"\\n"},
    };
    for (const Case& c : cases) {
        JsonDocument doc;
        ASSERT_TRUE(doc.parseW(c.text, c.mode)) << std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text));
        EXPECT_EQ(doc.getTextW(u"[0]"), c.value);
    }
    // Keys are unescaped without quotes before them: a leading \n is a bare LF.
    JsonDocument doc;
    ASSERT_TRUE(doc.parseW(uR"({"\na\n":1,k\u0041:2})"));
    std::vector<std::u16string> keys;
    ASSERT_EQ(doc.getKeysW(u"", keys), 2);
    EXPECT_EQ(keys[0], u"\na\r\n");
    EXPECT_EQ(keys[1], u"kA");
}

TEST(JsonParser, CodePageConversions)
{
    JsonDocument doc;
    // GBK text in, the same GBK bytes out; UTF-16 in between.
    ASSERT_TRUE(doc.parse("{\"\xC3\xFB\":\"\xD6\xD0\xCE\xC4\"}"));
    EXPECT_EQ(doc.getTextW(u"\u540d"), u"\u4e2d\u6587");
    EXPECT_EQ(doc.getText("\xC3\xFB"), "\xD6\xD0\xCE\xC4");
    // Characters GBK lacks come back as "?": a Thai letter and a character beyond the BMP.
    ASSERT_TRUE(doc.parse(R"(["\u0e01", "a\ud83d\ude00b"])"));
    EXPECT_EQ(doc.getText("[0]"), "?");
    EXPECT_EQ(doc.getText("[1]"), "a?b");
    // UTF-8 in, UTF-8 out.
    ASSERT_TRUE(doc.parseUtf8("{\"k\":\"\xE4\xB8\xAD\xF0\x9F\x98\x80\"}"));
    EXPECT_EQ(doc.getTextW(u"k"), u"\u4e2d\U0001F600");
    EXPECT_EQ(doc.toTextUtf8(), "{\"k\":\"\xE4\xB8\xAD\xF0\x9F\x98\x80\"}");
    // Broken UTF-8 becomes U+FFFD instead of failing the parse.
    ASSERT_TRUE(doc.parseUtf8("[\"\xFF\xE4\xB8\"]"));
    EXPECT_EQ(doc.getTextW(u"[0]"), u"\uFFFD\uFFFD");
}

// Three-byte forms around the lead bytes that need range checks (overlong E0, surrogate ED),
// broken and cut-short sequences, and the largest lead byte.
TEST(JsonParser, Utf8ThreeByteForms)
{
    struct Case { const char* utf8; std::u16string wide; };
    const Case cases[] = {
        {"\xE0\xA0\x80", u"\u0800"},
        {"\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"}, // overlong
        {"\xE1\x80\x80", u"\u1000"},
        {"\xEC\xBF\xBF", u"\uCFFF"},
        {"\xED\x9F\xBF", u"\uD7FF"},
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"}, // surrogate
        {"\xEE\x80\x80", u"\uE000"},
        {"\xEF\xBF\xBD", u"\uFFFD"},
        {"\xE4\xB8\x41", u"\uFFFDA"},            // second continuation missing
        {"\xE4\x41\x80", u"\uFFFDA\uFFFD"},
        {"x\xE4\xB8", u"x\uFFFD"},               // cut short by the end
    };
    for (const Case& c : cases) {
        EXPECT_EQ(jsontext::utf8ToWide(std::string(c.utf8)), c.wide) << c.utf8;
        JsonDocument doc;
        ASSERT_TRUE(doc.parseUtf8(std::string("[\"") + c.utf8 + "\"]")) << c.utf8;
        EXPECT_EQ(doc.getTextW(u"[0]"), c.wide) << c.utf8;
    }
}

TEST(JsonMemberMap, HashBucketsAndGrowth)
{
    EXPECT_EQ(jsontree::hashKey(u"a", 1), 97);
    EXPECT_EQ(jsontree::bucketOf(97, 11), 9u);
    // Bytes from the last to the first: "ab" is 00 62 00 61 read backwards.
    EXPECT_EQ(jsontree::hashKey(u"ab", 2), ((0 * 31 + 0x62) * 31 + 0) * 31 + 0x61);
    EXPECT_EQ(jsontree::hashKey(u"\u4e2d", 1), 0x4e * 31 + 0x2d);
    // Negative hashes still give a bucket in range.
    std::u16string longKey(40, u'\uffff');
    EXPECT_LT(jsontree::bucketOf(jsontree::hashKey(longKey.data(), longKey.size()), 11), 11u);

    JsonDocument doc;
    const char* names[] = {"k1", "k2", "k3", "k4", "k5", "k6", "k7", "k8", "k9", "k10"};
    auto map = [&] { return nodeOf(doc)->value.map; };
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(doc.setInt(names[i], i));
        if (i == 7) { // eight members: still 11 buckets
            EXPECT_EQ(map()->bucketCount, 11u);
            EXPECT_EQ(map()->threshold, 8u);
        }
        if (i == 8) { // the ninth grows the map first
            EXPECT_EQ(map()->bucketCount, 23u);
            EXPECT_EQ(map()->threshold, 17u);
        }
    }
    std::vector<Text> keys;
    ASSERT_EQ(doc.getKeys("", keys), 10);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(keys[i], names[i]);
        EXPECT_EQ(doc.getInt(names[i]), i);
    }
    // Every member sits in the chain of its own bucket.
    std::size_t chained = 0;
    for (std::uint32_t b = 0; b < map()->bucketCount; ++b)
        for (auto* n = map()->buckets[b]; n; n = n->nextInBucket, ++chained)
            EXPECT_EQ(jsontree::bucketOf(n->keyHash, map()->bucketCount), b);
    EXPECT_EQ(chained, 10u);

    ASSERT_TRUE(doc.parse(R"({"a":1})"));
    EXPECT_EQ(map()->buckets[9], nodeOf(doc.getMember("", "a")));
}

TEST(JsonParser, DeepNestingNeitherCrashesNorOverflows)
{
    const std::size_t depth = 100000;
    JsonDocument doc;
    int error = 0;
    int position = 0;
    EXPECT_FALSE(doc.parse(std::string(depth, '['), 1, error, position));
    EXPECT_EQ(error, -5);
    EXPECT_EQ(position, static_cast<int>(depth) + 1);

    std::string nested = std::string(depth, '[') + std::string(depth, ']');
    ASSERT_TRUE(doc.parse(nested));
    EXPECT_EQ(doc.toText(), nested);

    std::string objects;
    for (std::size_t i = 0; i < depth; ++i)
        objects += "{\"a\":";
    objects += "1" + std::string(depth, '}');
    ASSERT_TRUE(doc.parse(objects));
    EXPECT_EQ(doc.toText(), objects);
    JsonDocument copy;
    ASSERT_TRUE(copy.setCopy("", doc));
    EXPECT_EQ(copy.toText(), objects);
    EXPECT_TRUE(copy.mergeText("", objects, true));
    EXPECT_TRUE(doc.removeMember("", "a")); // frees a 100000-deep subtree
    EXPECT_EQ(doc.toText(), "{}");

    // A tree built by editing to the same depth.
    JsonDocument built;
    JsonNode cursor = built;
    for (std::size_t i = 0; i < depth; ++i)
        cursor = cursor.appendNew("", JsonArray);
    EXPECT_EQ(built.toText().size(), 2 * depth + 2);
    built.clear();
}

} // namespace
