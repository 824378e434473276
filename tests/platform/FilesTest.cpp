#include "platform/files.h"

#include "platform/byteSize.h"
#include "platform/codePage.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "TempFolder.h"

using namespace qingtong;

namespace {

TEST(WholeFile, WritesReplacesAndReadsBack)
{
    TempFolder dir;
    const Text path = dir / utf8ToAnsi("列表.txt");
    EXPECT_FALSE(pathExists(path));
    EXPECT_EQ(readTextFile(path), "");

    EXPECT_TRUE(writeTextFile(path, "first"));
    EXPECT_TRUE(writeTextFile(path, Text("\xD6\xD0\0x", 4)));
    EXPECT_EQ(readTextFile(path), Text("\xD6\xD0\0x", 4));
    EXPECT_EQ(fileSize(path), 4);
    // The GBK name is stored as UTF-8 on disk.
    EXPECT_TRUE(std::filesystem::exists(dir.path() + "/\xE5\x88\x97\xE8\xA1\xA8.txt"));
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(WholeFile, FailedWriteLeavesTheOldFileAlone)
{
    TempFolder dir;
    const Text path = dir / "keep.txt";
    ASSERT_TRUE(writeTextFile(path, "precious"));
    ::chmod(dir.path().c_str(), 0500);  // the folder can not take a temporary file now
    const bool written = writeTextFile(path, "new");
    ::chmod(dir.path().c_str(), 0700);
    if (::geteuid() != 0) {  // root may write anyway
        EXPECT_FALSE(written);
        EXPECT_EQ(readTextFile(path), "precious");
    }

    EXPECT_FALSE(writeTextFile(dir / "missing/x.txt", "x"));
    EXPECT_FALSE(pathExists(dir / "missing"));
}

TEST(WholeFile, DirectoryInThePlaceOfTheFileIsNotReplaced)
{
    TempFolder dir;
    const Text path = dir / "list";
    ASSERT_TRUE(createDirectory(path));
    ASSERT_TRUE(writeTextFile(dir / "list/inside", "x"));
    EXPECT_FALSE(writeTextFile(path, "x"));
    EXPECT_EQ(readTextFile(dir / "list/inside"), "x");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(CreateDirectoryPath, CreatesMissingLevelsAndReportsWhatItDid)
{
    TempFolder run;
    struct Case {
        const char* name;
        Text path;         // as given; relative paths are under the run directory
        int result;
        Text rewritten;    // expected path afterwards
    } cases[] = {
        {"bare name", "Download", 1, run / "Download/"},
        {"same again", "Download", 0, run / "Download/"},
        {"empty path is the run directory", "", 0, run.path() + "/"},
        {"nested with trailing slash", run / "a/b/", 1, run / "a/b/"},
        {"existing deeper one", run / "a", 0, run / "a/"},
        {"chinese levels", run / utf8ToAnsi("作者/子目录"), 1, run / utf8ToAnsi("作者/子目录/")},
    };
    for (const Case& c : cases) {
        Text path = c.path;
        EXPECT_EQ(createDirectoryPath(path, run.path()), c.result) << c.name;
        EXPECT_EQ(path, c.rewritten) << c.name;
        EXPECT_TRUE(isDirectory(path)) << c.name;
    }
}

TEST(CreateDirectoryPath, FailureRemovesWhatItMadeAndNothingElse)
{
    TempFolder run;
    const Text tooLong(300, 'n');  // longer than a file name may be: the last level fails

    Text path = run / ("x/y/" + tooLong);
    EXPECT_EQ(createDirectoryPath(path, run.path()), -1);
    EXPECT_FALSE(pathExists(run / "x"));

    ASSERT_TRUE(createDirectory(run / "p"));
    ASSERT_TRUE(writeTextFile(run / "p/file", "kept"));
    path = run / ("p/new/" + tooLong);
    EXPECT_EQ(createDirectoryPath(path, run.path()), -1);
    EXPECT_FALSE(pathExists(run / "p/new"));
    EXPECT_EQ(readTextFile(run / "p/file"), "kept");

    path = run / "p/file/deeper";  // a file where a folder should be
    EXPECT_EQ(createDirectoryPath(path, run.path()), -1);
    EXPECT_TRUE(isRegularFile(run / "p/file"));
}

TEST(ByteSize, ShortTextsWithUnits)
{
    struct Case {
        std::int64_t bytes;
        const char* text;
    } cases[] = {
        {0, "0 B"},          {512, "512 B"},           {1023, "1023 B"},
        {1024, "1.00 KB"},   {1340, "1.30 KB"},        {23506, "22.9 KB"},
        {153600, "150 KB"},  {2400016, "2.28 MB"},     {2400000000LL, "2.23 GB"},
        {-5, "0 B"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(formatByteSize(c.bytes), c.text) << c.bytes;
}

} // namespace

#include "platform/runDirectory.h"

namespace {

TEST(RunDirectory, GivenFolderIsCreatedAndCleaned)
{
    TempFolder dir;
    EXPECT_EQ(resolveRunDirectory(dir.path() + "/one/two/"), dir / "one/two");
    EXPECT_TRUE(isDirectory(dir / "one/two"));
    EXPECT_EQ(resolveRunDirectory(dir.path() + "/one/./two/../two"), dir / "one/two");
    // A file in the way gives no run directory rather than a broken one.
    ASSERT_TRUE(writeTextFile(dir / "file", "x"));
    EXPECT_EQ(resolveRunDirectory(dir.path() + "/file"), "");
    // Without --dir: the program's own folder, which is writable here.
    EXPECT_EQ(resolveRunDirectory(), executableDirectory());
}

} // namespace
