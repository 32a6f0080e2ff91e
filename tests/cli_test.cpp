// Runs the built tool and compares whole outputs for the ways a run can end without a document.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "file/File.h"
#include "support/note_builder.h"
#include "support/run_tool.h"
#include "support/temp_file.h"

namespace {

using namespace testsupport;

constexpr char try_line[] = "Try 'notediag --help' for more information.\n";
const std::string usage = "usage: notediag [OPTION]... PATH PASSWORD\n";
const std::string no_document = "key <pw>, 2/2\nerror loading :(\n";

TEST(Cli, TooFewArgumentsPrintUsageOnStandardError) {
    for (const auto& args : std::vector<std::vector<std::string>>{{}, {"only-a-path"}}) {
        const auto run = run_tool(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, usage + try_line);
    }
}

TEST(Cli, UsageErrorsSayWhatIsWrongAndPointToHelp) {
    struct Case {
        std::vector<std::string> args;
        std::string first_line;
    };
    for (const auto& c :
         {Case{{"-x", "note", "pw"}, "notediag: unrecognized option '-x'\n"},
          Case{{"-cx", "note", "pw"}, "notediag: unrecognized option '-cx'\n"},
          Case{{"--checks", "note", "pw"}, "notediag: unrecognized option '--checks'\n"},
          Case{{"--check=yes", "note"}, "notediag: unrecognized option '--check=yes'\n"},
          Case{{"-\x1b[2J", "n", "p"}, "notediag: unrecognized option '-\\x1b[2J'\n"},
          Case{{"a", "b", "c"}, "notediag: too many arguments\n"},
          Case{{"-q", "--", "a", "b", "c"}, "notediag: too many arguments\n"},
          Case{{"-c", "--", "a"}, usage}}) {
        const auto run = run_tool(c.args);
        EXPECT_EQ(run.status, 2) << c.first_line;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, c.first_line + try_line);
    }
}

TEST(Cli, HelpAndVersionGoToStandardOutput) {
    for (const char* option : {"-h", "--help", "-qh"}) {
        const auto run = run_tool({option, "--bogus"});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out.rfind(usage, 0), 0u) << run.out;
        EXPECT_NE(run.out.find("NOTEDIAG_DEBUG"), std::string::npos);
        EXPECT_EQ(run.err, "");
    }
    const auto run = run_tool({"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, std::string("notediag ") + NOTEDIAG_VERSION + "\n");
}

// Options stop at PATH or "--"; --check turns the verdict into the exit status, --quiet drops it.
TEST(Cli, OptionsComeBeforeTheOperands) {
    TempDir dir;
    const std::string document = build_note(Note{});
    const std::string note = dir.write("note", document);
    const std::string none = dir.write("none", "no document here");
    const std::string matches =
        "notediag: check hash matches: the password is right and the document is intact\n";
    const std::string no_doc = "notediag: no document: unknown signature 6e 6f 20 64 6f 63 75 6d\n";
    struct Case {
        std::vector<std::string> args;
        std::string out;
        std::string err;
        int status;
    };
    const std::string sound_out = expected_transcript(document, "secret");
    for (const auto& c :
         {Case{{note, "secret"}, sound_out, matches, 0},
          Case{{"-c", note, "secret"}, sound_out, matches, 0},
          Case{{"--check", "--quiet", note, "secret"}, sound_out, "", 0},
          Case{{"-q", note, "secret"}, sound_out, "", 0},
          Case{{"-c", none, "pw"}, no_document, no_doc, 4},
          Case{{"-cq", none, "pw"}, no_document, "", 4},
          Case{{none, "-c"}, "key <-c>, 2/2\nerror loading :(\n", no_doc, 0},
          Case{{"-q", "--", none, "-q"}, "key <-q>, 2/2\nerror loading :(\n", "", 0}}) {
        const auto run = run_tool(c.args);
        EXPECT_EQ(run.status, c.status) << c.args.front();
        EXPECT_TRUE(run.out == c.out) << c.args.front();
        EXPECT_EQ(run.err, c.err);
    }
}

TEST(Cli, UnopenableFileIsReportedAfterTheKeyLine) {
    TempDir dir;
    struct Case {
        std::string path;
        std::string reason;
        std::string shown;  // the path as the message quotes it
    };
#ifdef _WIN32
    // Windows refuses to open a directory as a file with "access denied", and takes no control
    // bytes in a file name.
    const char* directory_reason = "Permission denied";
    const char* control_reason = "Invalid file name";
#else
    const char* directory_reason = "Is a directory";
    const char* control_reason = "No such file or directory";
#endif
    const std::string locked = dir.write("locked", "held by a writer");
    const File writer(locked.c_str(), true, false);
    for (const auto& c :
         {Case{dir.file("missing"), "No such file or directory", ""},
          Case{dir.path(), directory_reason, ""}, Case{locked, "locked by another program", ""},
          Case{dir.file("a\x1b]0;x\x07\rb"), control_reason, dir.file("a\\x1b]0;x\\x07\\x0db")}}) {
        for (const char* check : {"", "-c"}) {
            std::vector<std::string> args{c.path, "pw"};
            if (*check != '\0')
                args.insert(args.begin(), check);
            const auto run = run_tool(args);
            EXPECT_EQ(run.status, 1);
            EXPECT_EQ(run.out, "key <pw>, 2/2\n");
            EXPECT_EQ(run.err, "notediag: cannot open '" + (c.shown.empty() ? c.path : c.shown) +
                                   "': " + c.reason + "\n");
        }
    }
}

struct NoDocument {
    const char* name;
    std::string content;
    const char* reason;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const NoDocument& c, std::ostream* os) {
    *os << c.name;
}

class CliNoDocument : public ::testing::TestWithParam<NoDocument> {};

TEST_P(CliNoDocument, EndsWithErrorLoading) {
    TempDir dir;
    const auto path = dir.write("note", GetParam().content);
    const auto run = run_tool({path, "secret"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "key <secret>, 6/6\nerror loading :(\n");
    EXPECT_EQ(run.err, std::string("notediag: no document: ") + GetParam().reason + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Files, CliNoDocument,
    ::testing::Values(
        NoDocument{"Empty", "", "the file is 0 bytes, too short to hold one"},
        NoDocument{"ThreeBytes", "SEK", "the file is 3 bytes, too short to hold one"},
        NoDocument{"SevenBytes", "SEKRiT*", "the file is 7 bytes, too short to hold one"},
        NoDocument{"VersionOne", "SEKRiT*1" + std::string(100, 'x'),
                   "a version-1 document, which this tool cannot read"},
        NoDocument{"UnknownSignature", "SEKRiT*3" + std::string(100, 'x'),
                   "unknown signature 53 45 4b 52 69 54 2a 33"},
        NoDocument{"LowerCaseSignature", "sekrit*2" + std::string(100, 'x'),
                   "unknown signature 73 65 6b 72 69 74 2a 32"},
        NoDocument{"ZipArchive", std::string("PK\x03\x04\x14\x00\x06\x00", 8) + "zip",
                   "unknown signature 50 4b 03 04 14 00 06 00"},
        NoDocument{"TrailerLongerThanItsFile", "SEKRiT*2" + trailer(9),
                   "the trailer claims 9 bytes, but only 8 lie in front of it"},
        NoDocument{"TrailerClaimingFourGiB", std::string(40, 'h') + trailer(0xFFFFFFFF),
                   "the trailer claims 4294967295 bytes, but only 40 lie in front of it"},
        NoDocument{"TrailerOnly", trailer(0),
                   "the document is 0 bytes, too short for its 8-byte signature"},
        NoDocument{"VersionOneBehindTrailer", std::string(13, 'h') + "SEKRiT*1abc" + trailer(11),
                   "a version-1 document, which this tool cannot read"},
        NoDocument{"DocumentShorterThanSignature", std::string(5, 'h') + "SEK" + trailer(3),
                   "the document is 3 bytes, too short for its 8-byte signature"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Cli, EmptyPasswordShowsNothingBetweenTheBrackets) {
    TempDir dir;
    const auto run = run_tool({dir.write("note", "plain text, no document"), ""});
    EXPECT_EQ(run.out, "key <>, 0/0\nerror loading :(\n");
    EXPECT_EQ(run.status, 0);
}

// A failed write of standard output is the run's one failure, whatever the options; only a
// default SIGPIPE ends the run before it can say so, as it does for every Unix tool.
TEST(Cli, WriteErrorsAreFailures) {
#ifdef _WIN32
    GTEST_SKIP() << "POSIX devices and signals";
#endif
    TempDir dir;
    const std::string small = dir.write("small", build_note(Note{}));
    Note large_note;
    large_note.text = std::string(3 << 20, 'x');  // fails in the middle of a dump
    const std::string large = dir.write("large", build_note(large_note));
    struct Case {
        Spawn how;
        std::vector<std::string> args;
        std::string err;
        int status;
    };
    const std::string full = "notediag: write error: No space left on device\n";
    const std::string closed = "notediag: write error: Bad file descriptor\n";
    const std::string broken = "notediag: write error: Broken pipe\n";
    for (const auto& c :
         {Case{{Output::full_device}, {small, "secret"}, full, 1},
          Case{{Output::full_device}, {"-cq", large, "secret"}, full, 1},
          Case{{Output::full_device}, {"--help"}, full, 1},
          Case{{Output::full_device}, {"--version"}, full, 1},
          Case{{Output::closed}, {small, "secret"}, closed, 1},
          Case{{Output::closed}, {"-h"}, closed, 1},
          Case{{Output::broken_pipe, true}, {large, "secret"}, broken, 1},
          Case{{Output::broken_pipe, true}, {"-c", small, "pw"}, broken, 1},
          Case{{Output::broken_pipe, false}, {large, "secret"}, "", 128 + SIGPIPE}}) {
        const auto run = run_tool(c.args, {}, c.how);
        EXPECT_EQ(run.status, c.status) << c.args.front();
        EXPECT_EQ(run.err, c.err) << c.args.front();
    }
}

// On a terminal the password and the text cannot act on it; the verdict follows the last line.
TEST(Cli, TerminalShowsControlBytesEscaped) {
#ifdef _WIN32
    GTEST_SKIP() << "pseudo-terminals are POSIX";
#endif
    Note note;
    note.password = "pw\x1b[31m";
    note.text = "clear\x1b[2J title\x1b]0;x\x07 cr\rforged\ttab\nnext\x7f\x01";
    const std::string document = build_note(note);
    const std::string transcript = expected_transcript(document, note.password);
    const std::string key = key_line(note.password);
    const std::string dumps =
        transcript.substr(key.size(), transcript.size() - key.size() - note.text.size() - 1);
    const std::string shown = "key <pw\\x1b[31m>, 7/7\n" + dumps +
                              "clear\\x1b[2J title\\x1b]0;x\\x07 cr\\x0dforged\ttab\nnext"
                              "\\x7f\\x01\n";
    TempDir dir;
    const std::string path = dir.write("note", document);
    const std::string none = dir.write("none", "nothing");
    struct Case {
        std::vector<std::string> args;
        std::string shown;
    };
    for (const auto& c :
         {Case{{path, note.password},
               shown + "notediag: check hash matches: the password is right and the document is "
                       "intact\n"},
          Case{{"-q", path, note.password}, shown},
          Case{{none, "\x1b[H"},
               "key <\\x1b[H>, 3/3\nerror loading :(\nnotediag: no document: the file is 7 "
               "bytes, too short to hold one\n"}}) {
        const auto run = run_tool(c.args, {}, {Output::terminal});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, c.shown);
    }
}

// Positions are 32-bit: from 2 GiB on no document is looked for, rather than one read at
// positions that wrap. Sparse files cost no disk.
TEST(Cli, FilesOfTwoGiBOrMoreHoldNoDocument) {
    constexpr std::uintmax_t gib = std::uintmax_t{1} << 30;
    const std::string document = build_note(Note{});
    const std::string carried = document + trailer(static_cast<std::uint32_t>(document.size()));
    struct Case {
        std::uintmax_t length;
        std::string head, tail;
        std::string err;
    };
    for (const auto& c :
         {Case{2 * gib - 1, "", carried,
               "notediag: check hash matches: the password is right and the document is intact\n"},
          Case{2 * gib, "", carried,
               "notediag: no document: the file is 2147483648 bytes; documents are found only in "
               "files under 2 GiB\n"},
          Case{4 * gib + 10, document, "",
               "notediag: no document: the file is 4294967306 bytes; documents are found only in "
               "files under 2 GiB\n"},
          Case{5 * gib, "", carried,
               "notediag: no document: the file is 5368709120 bytes; documents are found only in "
               "files under 2 GiB\n"}}) {
        TempDir dir;
        const std::string path = dir.write("sparse", c.head);
        std::filesystem::resize_file(path, c.length);
        {
            std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
            file.seekp(static_cast<std::streamoff>(c.length - c.tail.size()));
            file.write(c.tail.data(), static_cast<std::streamsize>(c.tail.size()));
            ASSERT_TRUE(file.good());
        }
        const auto run = run_tool({path, "secret"});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, c.err);
        EXPECT_TRUE(run.out == (c.length < 2 * gib ? expected_transcript(document, "secret")
                                                   : "key <secret>, 6/6\nerror loading :(\n"))
            << run.out.substr(0, 300);
    }
}

}  // namespace
