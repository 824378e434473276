#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "json/JsonDocument.h"

using namespace qingtong;

namespace {

JsonDocument parsed(const char* text)
{
    JsonDocument doc;
    EXPECT_TRUE(doc.parse(text)) << text;
    return doc;
}

TEST(JsonSerialiser, Layout)
{
    struct Case { const char* text; bool pretty; bool escape; const char* out; };
    const Case cases[] = {
        {R"({"a":[1,2],"b":"x/y"})", false, true, R"({"a":[1,2],"b":"x/y"})"},
        {R"({"a":[1,2],"b":"x/y"})", true, true, "{\r\n\t\"a\":[1,2],\r\n\t\"b\":\"x/y\"\r\n}"},
        {R"({"x/y":"x/y"})", false, true, R"({"x\/y":"x/y"})"},   // "/" escaped in names only
        {R"({"x/y":"x/y"})", false, false, R"({"x/y":"x/y"})"},
        {R"(["a\nb"])", false, true, R"(["a\r\nb"])"},            // the parsed CR LF shows as \r\n
        {R"(["a\nb"])", false, false, "[\"a\r\nb\"]"},
        {R"(["q\"b\\s\t\f\b"])", false, true, R"(["q\"b\\s\t\f\b"])"},
        {R"({"q\"k":1})", false, false, R"({"q"k":1})"},
        {"[\"\x01\"]", false, true, "[\"\x01\"]"},                // other controls stay raw
        {"[]", true, true, "[]"},
        {"{}", false, true, "{}"},
        {"{}", true, true, "{\r\n}"},
        {R"({"a":{"b":1}})", true, true, "{\r\n\t\"a\":{\r\n\t\t\"b\":1\r\n\t}\r\n}"},
        {R"({"a":{}})", true, true, "{\r\n\t\"a\":{\r\n\t}\r\n}"},
        {R"({"a":[{"b":1}]})", true, true, "{\r\n\t\"a\":[{\r\n\t\t\t\"b\":1\r\n\t\t}]\r\n}"},
        {"[true,false,null,\"\",1.50,1e3]", false, true, "[true,false,null,\"\",1.50,1e3]"},
    };
    for (const Case& c : cases) {
        JsonDocument doc = parsed(c.text);
        EXPECT_EQ(doc.toText("", c.pretty, c.escape), c.out) << c.text;
    }
    JsonDocument doc = parsed(R"({"a":{"b":[1]}})");
    EXPECT_EQ(doc.toText("a"), R"({"b":[1]})");
    EXPECT_EQ(doc.toText("a.b[0]"), "1");
    EXPECT_EQ(doc.toText("nothing"), "");
    EXPECT_EQ(doc.toTextW(u"a.b"), u"[1]");
}

TEST(JsonPaths, SyntaxAndReadWalk)
{
    JsonDocument doc = parsed(R"({"a.b":1,"a":{"b":2,"x[1]":3,"\\":4},"l":[10,20,30],"]k":5,"m":[[0,1],[2,3]]})");
    struct Case { const char* path; const char* text; };
    const Case cases[] = {
        {R"(a\.b)", "1"},  {"a.b", "2"},      {"a..b", "2"},   {".a.b.", "2"},
        {"a[0]", "2"},     {"a.[0]", "2"},    {R"(a.x\[1\])", "3"}, {R"(a.\\)", "4"},
        {"l[2]", "30"},    {"l[3]", ""},      {"l[-1]", ""},   {"l[]", ""},
        {"l[x]", "10"},    {"]k", "5"},       {"m[1]]", "3"}, // a later "]" closes again from the last "["
        {"a.b.c", ""},     {"A.b", ""},       {" a.b", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(doc.getText(c.path), c.text) << c.path;
    EXPECT_TRUE(doc.exists("a.b"));
    EXPECT_FALSE(doc.exists(""));
    EXPECT_FALSE(doc.exists("a.zz"));
    EXPECT_EQ(doc.countOf("l"), 3);
    EXPECT_EQ(doc.countOf("a"), 3);
    EXPECT_EQ(doc.countOf("a.b"), 0);
    EXPECT_EQ(doc.countOf("zz"), 0);
    EXPECT_FALSE(doc.elementAt("l", 5).isValid());
    EXPECT_EQ(doc.elementAt("a", 1).getText(""), "3");
    EXPECT_EQ(doc.keyOf("a.b"), "b");
    EXPECT_EQ(doc.keyOf("l[0]"), "");
    EXPECT_EQ(doc.keyOf(""), "");
    EXPECT_FALSE(doc.parentOf("zz").isValid());
    EXPECT_FALSE(doc.parentOf("").isValid());
    EXPECT_EQ(doc.parentOf("a").getHandle(), doc.getHandle());
    EXPECT_EQ(doc.parentOf("a.b").getHandle(), doc.getMember("", "a").getHandle());

    std::vector<Text> keys{"keep"};
    EXPECT_EQ(doc.getKeys("l", keys), 0);
    EXPECT_EQ(keys, std::vector<Text>{"keep"});
    EXPECT_EQ(doc.getKeys("a", keys), 3);
    EXPECT_EQ(keys, (std::vector<Text>{"b", "x[1]", "\\"}));
    std::vector<JsonNode> nodes(1);
    EXPECT_EQ(doc.getChildren("a.b", nodes), 0);
    EXPECT_EQ(nodes.size(), 1u);
    EXPECT_EQ(doc.getChildren("l", nodes), 3);
    EXPECT_EQ(nodes[2].getInt(""), 30);
}

TEST(JsonReadAccess, ConversionsByType)
{
    JsonDocument doc = parsed(R"({"r1":0.00000005,"r2":0.0000002,"big":4294967296,"big1":4294967297,)"
                              R"("neg":-2.7,"s":"true","sn":" -42abc","sr":"2.5e1x","b":true,"n":null,)"
                              R"("huge":1e300,"o":{},"arr":[1]})");
    EXPECT_FALSE(doc.getBool("r1"));
    EXPECT_TRUE(doc.getBool("r2"));
    EXPECT_TRUE(doc.getBool("big"));
    EXPECT_FALSE(doc.getBool("s"));
    EXPECT_TRUE(doc.getBool("b"));
    EXPECT_FALSE(doc.getBool("n"));
    EXPECT_EQ(doc.getInt("neg"), -2);
    EXPECT_EQ(doc.getInt64("neg"), -2);
    EXPECT_EQ(doc.getInt("big1"), 1);
    EXPECT_EQ(doc.getInt64("big1"), 4294967297LL);
    EXPECT_EQ(doc.getInt("sn"), -42);
    EXPECT_EQ(doc.getInt64("sn"), -42);
    EXPECT_EQ(doc.getInt("s"), 0);
    EXPECT_DOUBLE_EQ(doc.getReal("sr"), 25.0);
    EXPECT_DOUBLE_EQ(doc.getReal("s"), 0.0);
    EXPECT_DOUBLE_EQ(doc.getReal("b"), 1.0);
    EXPECT_DOUBLE_EQ(doc.getReal("big"), 4294967296.0);
    // Out-of-range reals saturate instead of overflowing the conversion.
    EXPECT_EQ(doc.getInt64("huge"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(doc.getInt("huge"), std::numeric_limits<int>::max());
    for (const char* path : {"o", "arr", "n", "missing"}) {
        EXPECT_EQ(doc.getInt(path), 0) << path;
        EXPECT_EQ(doc.getReal(path), 0.0) << path;
        EXPECT_EQ(doc.getText(path), "") << path;
    }
}

TEST(JsonEditing, CreatingWalk)
{
    struct Case { const char* start; const char* path; const char* result; };
    const Case cases[] = {
        {"{}", "a.b", R"({"a":{"b":null}})"},
        {"{}", "x.y", R"({"x":{"y":null}})"},
        {"{}", "[2]", "[null,null,null]"},
        {R"({"k":1})", "[]", "[null]"},                     // the first index turns the root into an array
        {"[1]", "[]", "[1,null]"},
        {R"({"a":{"p":1,"q":2,"r":3}})", "a[]", R"({"a":[null,null,null,null]})"}, // count taken first
        {R"({"a":[1,2]})", "a.k", R"({"a":{"k":null}})"},   // wrong type turned into the container
        {R"({"a":1})", "a", R"({"a":1})"},
        {R"({"a":"s"})", "a[1].b", R"({"a":[null,{"b":null}]})"},
    };
    for (const Case& c : cases) {
        JsonDocument doc = parsed(c.start);
        EXPECT_TRUE(doc.nodeAt(c.path).isValid()) << c.path;
        EXPECT_EQ(doc.toText(), c.result) << c.start << " " << c.path;
    }
}

TEST(JsonEditing, SettersAndStructuralEdits)
{
    JsonDocument doc;
    EXPECT_TRUE(doc.setInt("a.b", 5));
    EXPECT_EQ(doc.toText(), R"({"a":{"b":5}})");
    EXPECT_TRUE(doc.setString("[0]", "v"));
    EXPECT_EQ(doc.toText(), R"(["v"])");

    doc.parse(R"({"a":[1,2]})");
    JsonNode x = doc.addMember("a", "x", JsonArray);
    EXPECT_TRUE(x.isValid());
    EXPECT_EQ(doc.toText(), R"({"a":{"x":[]}})");
    EXPECT_FALSE(doc.addMember("a", "y", 7).isValid());

    struct Case { const char* path; int index; int type; bool wide; const char* result; };
    const Case inserts[] = {
        {"", 0, JsonNull, false, "[null,1,2]"},
        {"", 2, JsonObject, false, "[1,2,{}]"},
        {"", 3, JsonNull, false, "[1,2]"},
        {"", -1, JsonNull, false, "[1,2]"},
        {"", 3, JsonNull, true, "[1,2]"},
        {"", 1, JsonString, true, "[1,\"\",2]"},
    };
    for (const Case& c : inserts) {
        JsonDocument arr = parsed("[1,2]");
        JsonNode made = c.wide ? arr.insertNewW(u"", c.index, c.type) : arr.insertNew(c.path, c.index, c.type);
        EXPECT_EQ(made.isValid(), std::string(c.result) != "[1,2]") << c.index;
        EXPECT_EQ(arr.toText(), c.result) << c.index;
    }

    JsonDocument source = parsed(R"({"v":9})");
    JsonDocument arr = parsed("[1,2,3]");
    EXPECT_TRUE(arr.setElementCopy("", 1, source.getMember("", "v")));
    EXPECT_EQ(arr.toText(), "[1,9,3]");
    EXPECT_TRUE(arr.setElementCopy("", 5, source.getMember("", "v")));
    EXPECT_EQ(arr.toText(), "[1,9,3,null,null,9]");
    EXPECT_FALSE(arr.setElementCopy("", -1, source));
    EXPECT_FALSE(arr.setElementCopy("", 0, JsonNode()));
    EXPECT_TRUE(arr.removeElement("", 0));
    EXPECT_FALSE(arr.removeElement("", 5));
    EXPECT_EQ(arr.toText(), "[9,3,null,null,9]");
    EXPECT_TRUE(arr.appendNew("", JsonBoolean).isValid());
    EXPECT_TRUE(arr.appendCopy("", source));
    EXPECT_EQ(arr.toText(), R"([9,3,null,null,9,false,{"v":9}])");

    JsonDocument obj = parsed(R"({"a":1,"b":2})");
    EXPECT_TRUE(obj.insertMember("", 0, "z", JsonInteger).isValid());
    EXPECT_TRUE(obj.insertMember("", 3, "y", JsonReal).isValid());
    EXPECT_FALSE(obj.insertMember("", 9, "w", JsonNull).isValid());
    EXPECT_TRUE(obj.insertMember("", 9, "a", JsonNull).isValid()); // existing name keeps its place
    EXPECT_EQ(obj.toText(), R"({"z":0,"a":null,"b":2,"y":0.0})");
    EXPECT_TRUE(obj.setMemberCopy("", "b", source));
    EXPECT_TRUE(obj.putMemberCopyW(u"", u"c", source));
    EXPECT_EQ(obj.toText(), R"({"z":0,"a":null,"b":{"v":9},"y":0.0,"c":{"v":9}})");
    EXPECT_TRUE(obj.removeMember("", "z"));
    EXPECT_FALSE(obj.removeMember("", "z"));
    EXPECT_FALSE(obj.removeMember("nope", "z")); // the path is created on the way
    EXPECT_EQ(obj.typeOf("nope"), JsonNull);
    obj.clearValue("b");
    EXPECT_TRUE(obj.setBool("t", true));
    EXPECT_TRUE(obj.setNull("y"));
    EXPECT_TRUE(obj.setReal("r", 2));
    EXPECT_TRUE(obj.setInt64("i", -9007199254740993LL));
    EXPECT_EQ(obj.toText(), R"({"a":null,"b":null,"y":null,"c":{"v":9},"nope":null,"t":true,"r":2.0,"i":-9007199254740993})");
    EXPECT_TRUE(obj.setReal("r", std::nan("")));
    EXPECT_EQ(obj.toText("r"), "null"); // a non-finite number has no JSON form
    EXPECT_TRUE(obj.makeArray("c", 3));
    EXPECT_TRUE(obj.makeObject("", 0));
    EXPECT_EQ(obj.toText(), "{}");
    EXPECT_TRUE(obj.parseAt("p", R"({"q":[1,"2"]})"));
    EXPECT_FALSE(obj.parseAt("bad", "[1"));
    EXPECT_EQ(obj.toText(), R"({"p":{"q":[1,"2"]},"bad":null})");
}

TEST(JsonEditing, CopiesReadTheSourceBeforeChangingAnything)
{
    JsonDocument doc = parsed(R"({"a":{"n":1.50,"s":"x"}})");
    // A copy into a node below the source itself.
    EXPECT_TRUE(doc.setCopy("a.n", doc.getMember("", "a")));
    EXPECT_EQ(doc.toText(), R"({"a":{"n":{"n":1.5,"s":"x"},"s":"x"}})"); // numbers get a new literal
    // Appending an array to itself doubles it once.
    JsonDocument arr = parsed("[1,[2]]");
    EXPECT_TRUE(arr.appendAll("", arr));
    EXPECT_EQ(arr.toText(), "[1,[2],1,[2]]");
    EXPECT_FALSE(arr.appendAll("", parsed("{}")));
    // The source is a child of the node that the walk turns into an object.
    JsonDocument nested = parsed(R"({"a":[{"k":1}]})");
    JsonNode inner = nested.elementAt("a", 0);
    EXPECT_TRUE(nested.mergeObject("a", inner));
    EXPECT_EQ(nested.toText(), R"({"a":{"k":1}})");
    EXPECT_TRUE(nested.mergeObject("a", parsed("{}")));
    EXPECT_FALSE(nested.mergeObject("a", parsed("[]")));
    // Copies between documents.
    JsonDocument other;
    EXPECT_TRUE(other.setMemberCopy("", "from", nested));
    nested.clear();
    EXPECT_EQ(other.toText(), R"({"from":{"a":{"k":1}}})");
    EXPECT_FALSE(nested.setInt("x", 1)); // a cleared document has no node
    EXPECT_EQ(nested.newNode(JsonNull), 0);
}

TEST(JsonEditing, Merge)
{
    struct Case { const char* target; const char* text; bool addMissing; bool result; const char* after; };
    const Case cases[] = {
        {R"({"a":{"x":1},"b":0})", R"({"a":{"y":2},"c":3})", true, true, R"({"a":{"x":1,"y":2},"b":0,"c":3})"},
        {R"({"a":{"x":1},"b":0})", R"({"a":{"y":2},"c":3})", false, false, R"({"a":{"x":1},"b":0})"},
        {R"({"a":{"x":1},"b":0})", R"({"b":{"z":1}})", false, true, R"({"a":{"x":1},"b":{"z":1}})"},
        {R"({"a":{"x":1}})", R"({"a":{"x":[2]}})", false, true, R"({"a":{"x":[2]}})"},
        {R"({"a":1})", "{}", true, false, R"({"a":1})"},
        {R"({"a":1})", "{", true, false, R"({"a":1})"},
        {R"({"a":1})", "[1]", true, false, R"({"a":1})"}, // the root cannot be replaced
    };
    for (const Case& c : cases) {
        JsonDocument doc = parsed(c.target);
        EXPECT_EQ(doc.mergeText("", c.text, c.addMissing), c.result) << c.text;
        EXPECT_EQ(doc.toText(), c.after) << c.text;
    }
    JsonDocument doc = parsed(R"({"m":{"x":1}})");
    EXPECT_TRUE(doc.mergeTextW(u"m", u"7", 1, false)); // a member is replaced by a scalar source
    EXPECT_EQ(doc.toText(), R"({"m":7})");
}

TEST(JsonEditing, Sorting)
{
    JsonDocument doc = parsed(R"({"b":1,"a":2,"C":3})");
    struct Case { bool descending; bool ignoreCase; std::vector<Text> order; };
    const Case cases[] = {
        {false, true, {"a", "b", "C"}},
        {true, true, {"C", "b", "a"}},
        {false, false, {"a", "b", "C"}},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(doc.sortMembers("", c.descending, c.ignoreCase));
        std::vector<Text> keys;
        doc.getKeys("", keys);
        EXPECT_EQ(keys, c.order);
        EXPECT_EQ(doc.getInt("b"), 1); // lookups by name are unaffected
        EXPECT_EQ(doc.getInt("C"), 3);
    }
    JsonDocument cased = parsed(R"({"B":1,"b":2,"a":3,"A":4})");
    EXPECT_TRUE(cased.sortMembers(""));
    EXPECT_EQ(cased.toText(), R"({"a":3,"A":4,"b":2,"B":1})");
    EXPECT_FALSE(cased.sortMembers("a"));

    // A caller's comparison over a larger shuffled array, and over object members.
    std::vector<int> values(500);
    for (int i = 0; i < 500; ++i)
        values[i] = i % 37;
    std::shuffle(values.begin(), values.end(), std::mt19937(7));
    JsonDocument arr;
    for (int v : values)
        arr.setInt("[]", v);
    auto byValueDescending = [](JsonNode::Handle a, JsonNode::Handle b, int sign) {
        return sign * (JsonNode(a).getInt("") - JsonNode(b).getInt(""));
    };
    arr.sortWith("", byValueDescending, -1);
    std::sort(values.begin(), values.end(), std::greater<int>());
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(arr.getInt("[" + std::to_string(i) + "]"), values[i]) << i;
    arr.sortWith("", byValueDescending, 1);
    EXPECT_EQ(arr.getInt("[0]"), 0);
    EXPECT_EQ(arr.getInt("[499]"), 36);
    doc.sortWith("", byValueDescending, -1);
    EXPECT_EQ(doc.toText(), R"({"C":3,"a":2,"b":1})");
}

TEST(JsonEditing, Swap)
{
    JsonDocument doc = parsed(R"({"a":{"x":[1]},"b":"s","c":[true]})");
    EXPECT_TRUE(doc.swapWith("a", doc.getMember("", "b")));
    EXPECT_EQ(doc.toText(), R"({"a":"s","b":{"x":[1]},"c":[true]})"); // names stay, values move
    EXPECT_EQ(doc.parentOf("b.x").getHandle(), doc.getMember("", "b").getHandle());
    EXPECT_FALSE(doc.swapWith("b", doc.nodeAt("b.x")));     // ancestor
    EXPECT_FALSE(doc.swapWith("b.x", doc.getMember("", "b")));
    EXPECT_FALSE(doc.swapWith("", doc.getMember("", "c"))); // root with non-root
    EXPECT_FALSE(doc.swapWith("zz", doc.getMember("", "c")));
    EXPECT_FALSE(doc.swapWith("c", JsonNode()));
    EXPECT_TRUE(doc.swapWith("c[0]", doc.getMember("", "a")));
    EXPECT_EQ(doc.toText(), R"({"a":true,"b":{"x":[1]},"c":["s"]})");

    JsonDocument other = parsed(R"({"o":[1.50]})");
    EXPECT_TRUE(doc.swapWith("b", other.getMember("", "o")));
    EXPECT_TRUE(other.swapWith("", doc));
    doc.clear();
    EXPECT_EQ(other.toText(), R"({"a":true,"b":[1.50],"c":["s"]})");
}

TEST(JsonEditing, RepeatedEditsDoNotGrowTheDocument)
{
    JsonDocument doc;
    std::size_t settled = 0;
    for (int round = 0; round < 20000; ++round) {
        doc.setString("list[" + std::to_string(round % 50) + "].name", std::string(round % 300, 'x'));
        doc.mergeText("", R"({"m":{"k":[1,2,3,"text"]}})", true);
        doc.removeMember("", "m");
        if (round == 1000)
            settled = doc.reservedBytes();
    }
    EXPECT_LE(doc.reservedBytes(), settled * 2);
}

} // namespace
