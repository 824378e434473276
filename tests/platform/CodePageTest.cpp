#include "platform/codePage.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace qingtong;

namespace {

TEST(CodePage, ChineseTextConvertsBothWays)
{
    const Text utf8 = "\xE4\xB8\xAD\xE6\x96\x87 ok";  // 中文 ok
    const Text gbk = "\xD6\xD0\xCE\xC4 ok";
    EXPECT_EQ(utf8ToAnsi(utf8), gbk);
    EXPECT_EQ(ansiToUtf8(gbk), utf8);
    EXPECT_EQ(toWide(gbk, Gbk), u"\u4E2D\u6587 ok");
    EXPECT_EQ(toWide(utf8), u"\u4E2D\u6587 ok");
    EXPECT_EQ(fromWide(u"\u4E2D\u6587 ok"), gbk);
    EXPECT_EQ(fromWide(u"\u4E2D\u6587 ok", Utf8), utf8);
}

TEST(CodePage, EuroSignIsByte80AsOnWindows)
{
    EXPECT_EQ(toWide("\x80", Gbk), u"\u20AC");
    EXPECT_EQ(fromWide(u"\u20AC"), "\x80");
}

TEST(CodePage, CharactersGbkLacksBecomeQuestionMarks)
{
    // A Korean syllable and an emoji (a surrogate pair: one character, one "?").
    EXPECT_EQ(fromWide(u"a\uAC00b\U0001F600c"), "a?b?c");
    EXPECT_EQ(utf8ToAnsi("a\xEA\xB0\x80" "b\xF0\x9F\x98\x80" "c"), "a?b?c");
}

TEST(CodePage, InvalidInputIsReplacedNotDropped)
{
    struct Case {
        const char* name;
        Text input;
        CodePage from;
        WideText expected;
    } cases[] = {
        {"lone gbk lead byte at end", "ab\x81", Gbk, u"ab\uFFFD"},
        {"gbk lead byte before CR keeps the CR", "a\x81\r\n", Gbk, u"a\uFFFD\r\n"},
        {"gbk 0xFF", "\xFFz", Gbk, u"\uFFFDz"},
        {"utf8 stray continuation", "a\x80z", Utf8, u"a\uFFFDz"},
        {"utf8 truncated sequence", "a\xE4\xB8", Utf8, u"a\uFFFD"},
        {"utf8 overlong slash", "\xC0\xAF", Utf8, u"\uFFFD\uFFFD"},
        {"utf8 encoded surrogate", "\xED\xA0\x80", Utf8, u"\uFFFD\uFFFD\uFFFD"},
        {"embedded zero byte kept", Text("a\0b", 3), Utf8, WideText(u"a\0b", 3)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(toWide(c.input, c.from), c.expected) << c.name;
    EXPECT_EQ(fromWide(u"x\xD800y"), "x?y");
}

TEST(CodePage, AsciiPassesThroughUnchanged)
{
    const Text ascii = "{\"status_code\":0,\"data\":[1,2,3]}";
    EXPECT_EQ(utf8ToAnsi(ascii), ascii);
    EXPECT_EQ(ansiToUtf8(ascii), ascii);
}

TEST(CodePage, EveryGbkCharacterRoundTrips)
{
    // Every double-byte character that maps to Unicode must come back to the same bytes.
    int mapped = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F)
                continue;
            const Text gbk{static_cast<char>(lead), static_cast<char>(trail)};
            const Text utf8 = ansiToUtf8(gbk);
            if (utf8 == "\xEF\xBF\xBD")
                continue;
            ++mapped;
            ASSERT_EQ(utf8ToAnsi(utf8), gbk) << std::hex << lead << ' ' << trail;
        }
    }
    EXPECT_GT(mapped, 21000);
}

TEST(CodePage, ConcurrentUseGivesTheSameResults)
{
    const Text gbk = "\xD6\xD0\xCE\xC4\x81\x5C|";
    const Text expected = ansiToUtf8(gbk);
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i)
                if (ansiToUtf8(gbk) != expected || utf8ToAnsi(expected) != gbk)
                    ++failures[t];
        });
    for (auto& th : threads)
        th.join();
    for (int f : failures)
        EXPECT_EQ(f, 0);
}

} // namespace
