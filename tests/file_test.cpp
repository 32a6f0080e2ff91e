#include "file/File.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>

#include "support/temp_file.h"

namespace {

using testsupport::TempDir;

struct OpenRefusal {
    const char* name;
    std::function<std::string(const TempDir&)> path;
    int error;
};

class FileOpenRefused : public ::testing::TestWithParam<OpenRefusal> {};

TEST_P(FileOpenRefused, RaisesAnEmptyFileErrorAndRecordsWhy) {
    TempDir dir;
    const std::string path = GetParam().path(dir);
    try {
        File file(path.c_str(), false, false);
        FAIL() << "opened " << path;
    } catch (const file::FileError& error) {
        EXPECT_STREQ(error.what(), "");
        EXPECT_EQ(file::last_open_error(), GetParam().error)
            << std::strerror(file::last_open_error());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileOpenRefused,
    ::testing::Values(
        OpenRefusal{"Missing", [](const TempDir& d) { return d.file("absent"); }, ENOENT},
        OpenRefusal{"Directory", [](const TempDir& d) { return d.path(); }, EISDIR},
        OpenRefusal{"MissingParent", [](const TempDir& d) { return d.file("no/such"); }, ENOENT}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(File, CreateMakesAnEmptyFileAndKeepsAnExistingOne) {
    TempDir dir;
    const std::string fresh = dir.file("fresh");
    {
        File file(fresh.c_str(), true, true);
        EXPECT_EQ(file.size(), 0u);
        EXPECT_TRUE(file.write("12345", 5));
    }
    File again(fresh.c_str(), false, true);
    EXPECT_EQ(again.size(), 5u);
}

TEST(File, ShortReadKeepsWhatArrivedAndLeavesTheRest) {
    TempDir dir;
    const std::string path = dir.write("five", "abcde");
    File file(path.c_str(), false, false);
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_TRUE(file.read(buffer, 0));
    EXPECT_EQ(file.tell(), 0u);
    EXPECT_FALSE(file.read(buffer, 8));
    EXPECT_EQ(std::string(buffer, 8), "abcde###");
    EXPECT_EQ(file.tell(), 5u);
    EXPECT_FALSE(file.read(buffer, 1)) << "at the end of the file";
    EXPECT_EQ(buffer[0], 'a');
}

TEST(File, SeekRefusesNegativePositionsAndAllowsPastTheEnd) {
    TempDir dir;
    const std::string path = dir.write("five", "abcde");
    File file(path.c_str(), false, false);
    ASSERT_TRUE(file.seek(2));
    EXPECT_FALSE(file.seek(-3));
    EXPECT_EQ(file.tell(), 2u) << "a refused seek leaves the position";
    EXPECT_TRUE(file.seek(100));
    EXPECT_EQ(file.tell(), 100u);
    char byte = 0;
    EXPECT_FALSE(file.read(&byte, 1));
    EXPECT_EQ(file.tell(), 100u);
}

TEST(File, ReadOnlyFileRefusesWriteAndTruncate) {
    TempDir dir;
    const std::string path = dir.write("five", "abcde");
    File file(path.c_str(), false, false);
    EXPECT_FALSE(file.write("x", 1));
    EXPECT_FALSE(file.truncate());
    EXPECT_EQ(file.size(), 5u);
}

TEST(File, TruncateCutsOrExtendsAtThePosition) {
    TempDir dir;
    const std::string path = dir.write("five", "abcde");
    File file(path.c_str(), true, false);
    ASSERT_TRUE(file.seek(2));
    EXPECT_TRUE(file.truncate());
    EXPECT_EQ(file.size(), 2u);
    ASSERT_TRUE(file.seek(9));
    EXPECT_TRUE(file.truncate());
    EXPECT_EQ(file.size(), 9u);
}

TEST(File, ReadersShareAndAWriterIsAlone) {
    TempDir dir;
    const std::string path = dir.write("shared", "data");
    {
        File first(path.c_str(), false, false);
        File second(path.c_str(), false, false);
        EXPECT_THROW(File(path.c_str(), true, false), file::FileError);
    }
    File writer(path.c_str(), true, false);
    EXPECT_THROW(File(path.c_str(), false, false), file::FileError);
    EXPECT_EQ(file::last_open_error(), EWOULDBLOCK);
}

TEST(File, SizeAndTellReportTheLowThirtyTwoBits) {
    TempDir dir;
    const std::string path = dir.file("sparse");
    { File file(path.c_str(), true, true); }
    ASSERT_EQ(::truncate(path.c_str(), (off_t{1} << 32) + 10), 0);
    File file(path.c_str(), false, false);
    EXPECT_EQ(file.size(), 10u);
}

}  // namespace
