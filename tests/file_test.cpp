#include "file/File.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <string>
#include <tuple>

#include "document/reasons.h"
#include "file/input.h"
#include "support/case_name.h"
#include "support/temp_file.h"

namespace {

using testsupport::TempDir;

// Why an open fails, in the platform's own error codes.
#ifdef _WIN32
constexpr int missing_file = ERROR_FILE_NOT_FOUND;
constexpr int directory = ERROR_ACCESS_DENIED;
constexpr int missing_parent = ERROR_PATH_NOT_FOUND;
constexpr int in_use = ERROR_SHARING_VIOLATION;
#else
constexpr int missing_file = ENOENT;
constexpr int directory = EISDIR;
constexpr int missing_parent = ENOENT;
constexpr int in_use = EWOULDBLOCK;
#endif

struct OpenRefusal {
    const char* name;
    std::function<std::string(const TempDir&)> path;
    int error;
};

using testsupport::PrintTo;

class FileOpenRefused : public ::testing::TestWithParam<OpenRefusal> {};

TEST_P(FileOpenRefused, RaisesAnEmptyFileErrorAndRecordsWhy) {
    TempDir dir;
    const std::string path = GetParam().path(dir);
    try {
        File file(path.c_str(), false, false);
        FAIL() << "opened " << path;
    } catch (const file::FileError& error) {
        EXPECT_STREQ(error.what(), "");
        EXPECT_EQ(file::last_failure().operation, file::Operation::open);
        EXPECT_EQ(file::last_failure().error, GetParam().error)
            << file::describe_error(file::last_failure().error);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileOpenRefused,
    ::testing::Values(
        OpenRefusal{"Missing", [](const TempDir& d) { return d.file("absent"); }, missing_file},
        OpenRefusal{"Directory", [](const TempDir& d) { return d.path(); }, directory},
        OpenRefusal{"MissingParent", [](const TempDir& d) { return d.file("no/such"); },
                    missing_parent}),
    testsupport::CaseName{});

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
    EXPECT_EQ(file::last_failure().error, in_use);
    EXPECT_THROW(File(path.c_str(), true, true), file::FileError) << "a second writer";
    EXPECT_EQ(file::last_failure().error, in_use);
}

#ifdef _WIN32
// Share modes bind every opener, not only File: a program that knows nothing of this one's locking
// still may read beside a reader and is kept out entirely by a writer.
struct ForeignOpen {
    const char* name;
    bool holder_writable;
    std::ios::openmode mode;
    bool admitted;
};

class FileShareModes : public ::testing::TestWithParam<ForeignOpen> {};

TEST_P(FileShareModes, BindOtherPrograms) {
    TempDir dir;
    const std::string path = dir.write("shared", "data");
    File holder(path.c_str(), GetParam().holder_writable, false);
    std::fstream other(path, GetParam().mode | std::ios::binary);
    EXPECT_EQ(other.is_open(), GetParam().admitted);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileShareModes,
    ::testing::Values(
        ForeignOpen{"ReaderAdmitsReader", false, std::ios::in, true},
        ForeignOpen{"ReaderRefusesWriter", false, std::ios::in | std::ios::out, false},
        ForeignOpen{"WriterRefusesReader", true, std::ios::in, false},
        ForeignOpen{"WriterRefusesWriter", true, std::ios::out | std::ios::app, false}),
    testsupport::CaseName{});
#endif

// The 32-bit length of a longer file is its low part; a length whose low part is all ones is a real
// length, not the platform's failure value.
struct LongFile {
    const char* name;
    std::uintmax_t length;
    std::uint32_t reported;
};

class FileSize : public ::testing::TestWithParam<LongFile> {};

TEST_P(FileSize, ReportsTheLowThirtyTwoBits) {
    TempDir dir;
    const std::string path = dir.file("sparse");
    { File file(path.c_str(), true, true); }
    std::filesystem::resize_file(path, GetParam().length);
    File file(path.c_str(), false, false);
    EXPECT_EQ(file.size(), GetParam().reported);
    EXPECT_EQ(file.size64(), GetParam().length) << "the whole length";
}

INSTANTIATE_TEST_SUITE_P(Cases, FileSize,
                         ::testing::Values(LongFile{"FourGiBAndTen", (std::uintmax_t{1} << 32) + 10,
                                                    10u},
                                           LongFile{"AllOnes", 0xFFFFFFFFu, 0xFFFFFFFFu},
                                           LongFile{"TopBitSet", 0x80000000u, 0x80000000u}),
                         testsupport::CaseName{});

// A stream is read up to its limit and no further; the reading then stops with no document, as the
// verdict says (a real 2 GiB stream takes seconds and gigabytes to run).
TEST(Input, StreamStopsAtItsLimit) {
#ifdef _WIN32
    GTEST_SKIP() << "a pipe's /dev/fd path is POSIX";
#else
    const std::string bytes(100, 'n');
    for (const auto& [limit, kept, over] :
         std::initializer_list<std::tuple<std::uint64_t, std::uint32_t, bool> >{
             {101, 100, false}, {100, 100, true}, {64, 64, true}}) {
        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        ASSERT_EQ(::write(ends[1], bytes.data(), bytes.size()), 100);
        ::close(ends[1]);
        const file::Input input =
            file::open_input(("/dev/fd/" + std::to_string(ends[0])).c_str(), limit);
        ::close(ends[0]);
        EXPECT_EQ(input.over_limit, over) << limit;
        std::string spooled(kept + 1, '\0');
        EXPECT_EQ(input.file->size64(), kept);
        EXPECT_FALSE(input.file->read(spooled.data(), spooled.size()))
            << "ends after the bytes read";
        EXPECT_EQ(spooled, bytes.substr(0, kept) + '\0');
    }
    DocumentReport report;
    report.no_document = NoDocument::input_too_large;
    EXPECT_EQ(describe_no_document(report),
              "the input is more than 2 GiB; "
              "documents are found only in files under 2 GiB");
#endif
}

}  // namespace
