#include "platform/textRoutines.h"

#include "platform/codePage.h"

#include <gtest/gtest.h>

#include <random>

using namespace qingtong;

namespace {

// Test texts are written in UTF-8 and turned into GBK here.
Text g(const char* utf8) { return utf8ToAnsi(utf8); }

using Pieces = std::vector<Text>;

TEST(SplitText, KeepsInnerEmptyPiecesAndDropsEmptyLast)
{
    struct Case {
        Text text, sep;
        Pieces expected;
    } cases[] = {
        {"a--b--c", "--", {"a", "b", "c"}},
        {"--b--c", "--", {"", "b", "c"}},
        {"a----c", "--", {"a", "", "c"}},
        {"a--b--", "--", {"a", "b"}},
        {"", "--", {}},
        {"--", "--", {""}},
        {"abc", "--", {"abc"}},
        {"abc", "", {"abc"}},
        {"A--1--11\r\nB--2--22\r\n", "\r\n", {"A--1--11", "B--2--22"}},
        // 0x81 0x2D is not a character (0x2D is no trail byte), so "-" there still separates.
        {"\x81-x", "-", {"\x81", "x"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(splitText(c.text, c.sep), c.expected) << c.text;
}

TEST(SplitText, NeverSplitsInsideADoubleByteCharacter)
{
    // 亅 is 81 7C: its trail byte is "|". 乗 is 81 5C: its trail byte is "\".
    EXPECT_EQ(splitText(g("亅|乗\\x"), "|"), (Pieces{g("亅"), g("乗\\x")}));
    EXPECT_EQ(splitText(g("乗\\乗"), "\\"), (Pieces{g("乗"), g("乗")}));
}

TEST(FindText, MatchesOnlyOnCharacterBoundaries)
{
    // 丄 is 81 41 ("A" as trail byte), 乤 is 81 61 ("a").
    const Text hay = g("丄乤xA");
    EXPECT_EQ(findText(hay, "A"), 5u);
    EXPECT_EQ(findText(hay, "a", 0, true), 5u);
    EXPECT_EQ(findText(g("丄丄"), "A"), Text::npos);
    EXPECT_FALSE(containsText(g("亅"), "|"));
    EXPECT_EQ(findText("abcabc", "bc", 2), 4u);
    EXPECT_EQ(findText("abcABC", "BC", 0, true), 1u);
    EXPECT_EQ(findText("abc", "abcd"), Text::npos);
    EXPECT_EQ(findTextPos("xyxy", "y", 3), 4);
    EXPECT_EQ(findTextPos("xyxy", "q"), 0);
    EXPECT_EQ(findLastText(g("a/乗/b/"), "/"), 6u);
}

TEST(FindText, IgnoringCaseFoldsAsciiOnly)
{
    // 丄 (81 41) and 乤 (81 61) differ only in what would be a letter's case: not equal.
    EXPECT_EQ(findText(g("乤"), g("丄"), 0, true), Text::npos);
    EXPECT_EQ(findText(g("x丄Y"), g("丄y"), 0, true), 1u);
}

// Straightforward reference: try every character boundary in turn.
std::size_t naiveFind(const Text& hay, const Text& needle, bool ignoreCase)
{
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    for (std::size_t b = 0; b + needle.size() <= hay.size(); b += charLengthAt(hay, b)) {
        bool match = true;
        for (std::size_t j = 0; j < needle.size() && match; j += charLengthAt(needle, j)) {
            if (charLengthAt(needle, j) == 2)
                match = hay.compare(b + j, 2, needle, j, 2) == 0;
            else
                match = ignoreCase ? fold(hay[b + j]) == fold(needle[j]) : hay[b + j] == needle[j];
        }
        if (match)
            return b;
    }
    return Text::npos;
}

TEST(FindText, AgreesWithAStraightforwardScanOnRandomGbk)
{
    const char bytes[] = {'a', 'A', '|', '\\', '-', '\x81', '\xD6', '\xA1'};
    std::mt19937 rng(7);
    auto randomText = [&](std::size_t maxLength) {
        Text t(rng() % (maxLength + 1), ' ');
        for (char& c : t)
            c = bytes[rng() % sizeof(bytes)];
        return t;
    };
    for (int i = 0; i < 20000; ++i) {
        const Text hay = randomText(14);
        const Text needle = randomText(3);
        if (needle.empty())
            continue;
        for (const bool ignoreCase : {false, true})
            ASSERT_EQ(findText(hay, needle, 0, ignoreCase), naiveFind(hay, needle, ignoreCase))
                << testing::PrintToString(hay) << " / " << testing::PrintToString(needle) << " " << ignoreCase;
    }
}

TEST(TrimBlanks, RemovesSpacesAndFullWidthSpacesOnly)
{
    EXPECT_EQ(trimBlanks(g("　 a b　 ")), "a b");
    EXPECT_EQ(trimBlanks("\ta\r\n"), "\ta\r\n");
    EXPECT_EQ(trimBlanks("   "), "");
    // B0 A1 is a character (啊); the A1 after it is a lone byte, not half a full-width space.
    EXPECT_EQ(trimBlanks("\xB0\xA1\xA1"), "\xB0\xA1\xA1");
}

TEST(ReplaceAll, LeavesDoubleByteCharactersAlone)
{
    EXPECT_EQ(replaceAll("a-b-c", "-", "+"), "a+b+c");
    EXPECT_EQ(replaceAll(g("亅|"), "|", "/"), g("亅/"));
    EXPECT_EQ(replaceAll("aaa", "aa", "b"), "ba");
}

TEST(HeaderRoutines, NameValueAndCase)
{
    EXPECT_EQ(headerName("Referer: a:b:c"), "Referer");
    EXPECT_EQ(headerValue("Referer: a:b:c"), "a:b:c");
    EXPECT_EQ(headerValue("X-A:"), "");
    EXPECT_EQ(headerName("no colon"), "");
    EXPECT_EQ(headerValue("no colon"), "");

    struct Case {
        Text in, out;
    } cases[] = {
        {"\r\naccept: */*\r\ncookie-\r\ncontent-type:a", "Accept: */*\r\nContent-Type:a"},
        {"user-agent: x", "User-Agent: x"},
        {"USER-agent: x", "USER-Agent: x"},
        {"x-requested-with: y", "X-Requested-With: y"},
        {" referer: z", " referer: z"},
        {"a-: v", "A: v"},
        {"-a: v", "-A: v"},
        {"no colon here", ""},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(normaliseHeaderCase(c.in), c.out) << c.in;
}

TEST(CutRoutines, LeftRightAndBetween)
{
    EXPECT_EQ(textLeftOf("?x", "?"), "");
    EXPECT_EQ(textLeftOf("?x", "?", false, true), "?x");
    EXPECT_EQ(textLeftOf("a?x", "?"), "a");
    EXPECT_EQ(textLeftOf("a?x", "?", true), "a?");
    EXPECT_EQ(textLeftOf("aBx", "b", false, false, true), "a");
    EXPECT_EQ(textLeftOf("abc", ""), "abc");
    EXPECT_EQ(textLeftOf("abc", "?"), "");

    EXPECT_EQ(textRightOfLast("a/user/b/user/c", "user/"), "c");
    EXPECT_EQ(textRightOfLast("a/user/b/user/c", "user/", true), "user/c");
    EXPECT_EQ(textRightOfLast("abc", "/"), "");
    EXPECT_EQ(textRightOfLast("abc", "/", false, true), "abc");
    EXPECT_EQ(textRightOfLast("", "/"), "");
    EXPECT_EQ(textRightOfLast(g("x/亅"), "|"), "");

    EXPECT_EQ(textBetweenMarks("Set-Cookie: sid=1; path=/", "Set-Cookie:", ";"), " sid=1");
    EXPECT_EQ(textBetweenMarks("set-cookie: sid=1;", "Set-Cookie:", ";", 1, true), "");
    EXPECT_EQ(textBetweenMarks("a\"v\"b", g("#引号"), g("#引号")), "v");
    EXPECT_EQ(textBetweenMarks("[1][2]", "[", "]", 3), "2");
    EXPECT_EQ(textBetweenMarks("[]", "[", "]"), "");
    EXPECT_EQ(textBetweenMarks("[1", "[", "]"), "");

    EXPECT_EQ(textBetween(g("x二维码abc码维二y"), g("二维码"), g("码维二")), "abc");
    EXPECT_EQ(textBetween(g("码维二 二维码x"), g("二维码"), g("码维二")), "");
    EXPECT_EQ(textBetween(g("二维码码维二"), g("二维码"), g("码维二")), "");
    EXPECT_EQ(textBetween("<a>x</a>", "<a>", "</a>", 1, false, true), "<a>x</a>");
    EXPECT_EQ(textBetween("none", "<", ">", 1, false, false, true), "none");
    EXPECT_EQ(textBetween("<A>x</a>", "<a>", "</A>", 1, true), "x");
}

TEST(Base64, EncodesRfc4648Vectors)
{
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {{"", ""}, {"a", "YQ=="}, {"ab", "YWI="}, {"abc", "YWJj"}, {"foobar", "Zm9vYmFy"}};
    for (const Case& c : cases)
        EXPECT_EQ(base64Encode(toBytes(c.in)), c.out);
    EXPECT_EQ(base64Encode(Bytes{0xFF, 0xFE, 0x00}), "//4A");
}

TEST(Cookies, MergeAndUniqueJoin)
{
    struct Case {
        Text sent, received, merged;
    } cases[] = {
        {"a=0; c=3", "a=1; b=2", "a=1; b=2; c=3"},
        {"a=0;", "a=deleted", ""},
        {"", "x=1; x=1", "x=1"},
        {"a=1; a=2; b=1", "", "a=1; b=1"},
        {"  s=1;  ", "t=2;", "t=2; s=1"},
        {"sid=deleted; k=v", "", "k=v"},
    };
    for (const Case& c : cases) {
        Text sent = c.sent;
        EXPECT_EQ(mergeCookieTexts(sent, c.received), c.merged) << c.sent << " + " << c.received;
        EXPECT_EQ(sent, c.merged);
    }
    EXPECT_EQ(cookieName(" sid = 1"), "sid");
    EXPECT_EQ(cookieName(" flag "), "flag");
    EXPECT_EQ(uniqueJoin("a; b; a", "; "), "a; b");
    EXPECT_EQ(uniqueJoin("", "; "), "");
}

TEST(FileNames, StripInvalidCharactersButKeepTrailBytes)
{
    Text name = "a/b:c";
    stripInvalidFileNameChars(name);
    EXPECT_EQ(name, "abc");

    name = "<\"*?|>\\ x ";
    stripInvalidFileNameChars(name);
    EXPECT_EQ(name, " x ");

    // 乗 (81 5C) and 亅 (81 7C) end in "\" and "|": they must survive whole.
    name = g("乗|亅\\誠");
    stripInvalidFileNameChars(name);
    EXPECT_EQ(name, g("乗亅誠"));
}

TEST(LocalTime, PicturesOfTheRecordingStamp)
{
    std::tm tm{};
    tm.tm_year = 2024 - 1900;
    tm.tm_mon = 2;
    tm.tm_mday = 5;
    tm.tm_hour = 14;
    tm.tm_min = 7;
    tm.tm_sec = 9;
    tm.tm_isdst = -1;
    const std::time_t when = std::mktime(&tm);
    EXPECT_EQ(formatLocalTime(when, "yyyyMMdd", "HHmm", true), "202403051407");
    EXPECT_EQ(formatLocalTime(when, "yyyy-M-d", "hh:mm:ss tt", false), "2024-3-5" "02:07:09 PM");
    EXPECT_EQ(formatLocalTime(when, "yyyy", "hh:mm", true), "2024" "14:07");
    EXPECT_EQ(formatLocalTime(when, "dd", "HHmm", true), "1407");  // a picture under 3 characters is left out
    EXPECT_EQ(formatLocalTime(when, "'y:'yy", "", true), "y:24");
}

} // namespace
