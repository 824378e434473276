#include "platform/IniFile.h"

#include "platform/codePage.h"

#include <gtest/gtest.h>

#include "TempFolder.h"

using namespace qingtong;

namespace {

TEST(IniFile, ReadsLikeProfileStrings)
{
    TempFolder dir;
    const Text path = dir / "Config.ini";
    ASSERT_TRUE(writeTextFile(path,
                              "; comment=1\r\n"
                              "[softSet]\r\n"
                              "  Save =  D:\\rec  \r\n"
                              "folder=\xD5\xE6\r\n"
                              "quoted=\" two words \"\r\n"
                              "[SOFTSET]\r\n"
                              "later=ignored\r\n"
                              "[other]\n"
                              "save=other\n"));
    IniFile ini(path);
    struct Case {
        const char* section;
        const char* key;
        Text expected;
    } cases[] = {
        {"softSet", "save", "D:\\rec"},
        {"SoftSet", "SAVE", "D:\\rec"},
        {"softSet", "folder", "\xD5\xE6"},
        {"softSet", "quoted", " two words "},
        {"softSet", "later", "fallback"},    // only the first section of a name counts
        {"softSet", "comment", "fallback"},
        {"other", "save", "other"},           // LF-only lines read too
        {"missing", "save", "fallback"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ini.value(c.section, c.key, "fallback"), c.expected) << c.section << "/" << c.key;

    EXPECT_EQ(IniFile(dir / "none.ini").value("softSet", "save"), "");
}

TEST(IniFile, LongValuesAreCutOnACharacterBoundary)
{
    TempFolder dir;
    const Text path = dir / "Config.ini";
    Text value = "a";
    for (int i = 0; i < 6000; ++i)
        value += "\xD6\xD0";  // 中
    ASSERT_TRUE(writeTextFile(path, "[s]\r\nk=" + value + "\r\n"));
    const Text read = IniFile(path).value("s", "k");
    EXPECT_EQ(read.size(), IniFile::kMaxValueLength);
    EXPECT_EQ(read, value.substr(0, IniFile::kMaxValueLength));
}

TEST(IniFile, WritingKeepsEverythingElseByteForByte)
{
    TempFolder dir;
    const Text path = dir / "Config.ini";
    const Text before = "; \xB1\xB8\xD7\xA2 (note)\r\n"
                        "[service]\r\n"
                        "webcastHost=127.0.0.1:8443\r\n"
                        "\r\n"
                        "[softSet]\r\n"
                        "save=D:\\\xC2\xBC\xD6\xC6\r\n"
                        "  folder = \xBC\xD9\r\n"
                        "\r\n"
                        "[tail]\r\n"
                        "x=1";  // no line end at the very end
    ASSERT_TRUE(writeTextFile(path, before));
    IniFile ini(path);

    ASSERT_TRUE(ini.setValue("SOFTSET", "FOLDER", "\xD5\xE6"));
    Text expected = before;
    expected.replace(expected.find("  folder = \xBC\xD9"), 13, "FOLDER=\xD5\xE6");
    EXPECT_EQ(readTextFile(path), expected);

    ASSERT_TRUE(ini.setValue("softSet", "new", "v"));
    expected.insert(expected.find("FOLDER=\xD5\xE6\r\n") + 11, "new=v\r\n");
    EXPECT_EQ(readTextFile(path), expected);

    ASSERT_TRUE(ini.setValue("added", "k", "line1\r\nline2=x"));
    expected += "\r\n[added]\r\nk=line1  line2=x\r\n";
    EXPECT_EQ(readTextFile(path), expected);
    EXPECT_EQ(ini.value("added", "k"), "line1  line2=x");
    EXPECT_EQ(ini.value("added", "line2"), "");
}

TEST(IniFile, MissingFileIsCreatedOnWrite)
{
    TempFolder dir;
    IniFile ini(dir / "Config.ini");
    ASSERT_TRUE(ini.setValue("softSet", "save", utf8ToAnsi("/录制")));
    EXPECT_EQ(readTextFile(dir / "Config.ini"), "[softSet]\r\nsave=/\xC2\xBC\xD6\xC6\r\n");
    EXPECT_FALSE(IniFile(dir / "no/such/folder.ini").setValue("a", "b", "c"));
}

} // namespace
