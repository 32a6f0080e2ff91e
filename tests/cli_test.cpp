// Runs the built tool and compares whole outputs for the ways a run can end without a document.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_tool.h"
#include "support/temp_file.h"

namespace {

using testsupport::run_tool;
using testsupport::TempDir;

std::string le32(std::uint32_t value) {
    return {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
            static_cast<char>(value >> 24)};
}

std::string trailer(std::uint32_t length) {
    return le32(0xDEADBEEF) + le32(length);
}

TEST(Cli, TooFewArgumentsPrintUsageOnStandardError) {
    for (const auto& args : std::vector<std::vector<std::string>>{{}, {"only-a-path"}}) {
        const auto run = run_tool(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "usage: notediag PATH PASSWORD\n");
    }
}

TEST(Cli, HelpAndVersionGoToStandardOutput) {
    for (const char* option : {"-h", "--help"}) {
        const auto run = run_tool({option});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out.rfind("usage: notediag PATH PASSWORD\n", 0), 0u) << run.out;
        EXPECT_EQ(run.err, "");
    }
    const auto run = run_tool({"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, std::string("notediag ") + NOTEDIAG_VERSION + "\n");
}

TEST(Cli, UnopenableFileIsReportedAfterTheKeyLine) {
    TempDir dir;
    struct Case {
        std::string path;
        std::string reason;
    };
#ifdef _WIN32
    // Windows refuses to open a directory as a file with "access denied".
    const char* directory_reason = "Permission denied";
#else
    const char* directory_reason = "Is a directory";
#endif
    for (const auto& c : {Case{dir.file("missing"), "No such file or directory"},
                          Case{dir.path(), directory_reason}}) {
        const auto run = run_tool({c.path, "pw"});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "key <pw>, 2/2\n");
        EXPECT_EQ(run.err, "notediag: cannot open '" + c.path + "': " + c.reason + "\n");
    }
}

struct NoDocument {
    const char* name;
    std::string content;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const NoDocument& c, std::ostream* os) {
    *os << c.name;
}

class CliNoDocument : public ::testing::TestWithParam<NoDocument> {};

TEST_P(CliNoDocument, EndsWithErrorLoading) {
    TempDir dir;
    const auto path = dir.write("note", GetParam().content);
    const auto run = run_tool({path, "secret", "ignored extra"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "key <secret>, 6/6\nerror loading :(\n");
    EXPECT_EQ(run.err, "");
}

INSTANTIATE_TEST_SUITE_P(
    Files, CliNoDocument,
    ::testing::Values(
        NoDocument{"Empty", ""}, NoDocument{"ThreeBytes", "SEK"},
        NoDocument{"SevenBytes", "SEKRiT*"},
        NoDocument{"VersionOne", "SEKRiT*1" + std::string(100, 'x')},
        NoDocument{"UnknownSignature", "SEKRiT*3" + std::string(100, 'x')},
        NoDocument{"LowerCaseSignature", "sekrit*2" + std::string(100, 'x')},
        NoDocument{"TrailerLongerThanItsFile", "SEKRiT*2" + trailer(9)},
        NoDocument{"TrailerClaimingFourGiB", std::string(40, 'h') + trailer(0xFFFFFFFF)},
        NoDocument{"TrailerOnly", trailer(0)},
        NoDocument{"VersionOneBehindTrailer", std::string(13, 'h') + "SEKRiT*1abc" + trailer(11)},
        NoDocument{"DocumentShorterThanSignature", std::string(5, 'h') + "SEK" + trailer(3)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Cli, EmptyPasswordShowsNothingBetweenTheBrackets) {
    TempDir dir;
    const auto run = run_tool({dir.write("note", "plain text, no document"), ""});
    EXPECT_EQ(run.out, "key <>, 0/0\nerror loading :(\n");
    EXPECT_EQ(run.status, 0);
}

}  // namespace
