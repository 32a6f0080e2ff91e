// The modes beside the transcript, run as a user runs them: --info, --scan and --extract on inputs
// that hold notes in every way; --brief, --dump-limit and --output; --test over sets of notes;
// --wordlist over lists. Each compares what is written and the exit status with what the input
// holds.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "support/case_name.h"
#include "support/run_tool.h"
#include "support/temp_file.h"
#include "testkit/note_builder.h"
#include "testkit/reference_dump.h"
#include "testkit/verdict_lines.h"

namespace {

using namespace testsupport;

const std::string note = build_note(Note{});  // "hello, world", 16 bytes of ciphertext
const std::string long_text(200, 'x');

std::string long_note(const std::string& password = "secret") {
    Note n;
    n.text = "A note long enough to judge: " + long_text;
    n.password = password;
    return build_note(n);
}

// ---------------------------------------------------------------------------------------------
// --info, --scan, --extract over one table of inputs.
struct Inspected {
    const char* name;
    std::string bytes;
    // --info's parts as "offset length", in order, and its status.
    std::vector<std::string> parts;
    int info_status;
    std::vector<std::string> scan;  // --scan's lines
    std::string extracted;          // --extract's bytes; empty when nothing is located
};
using testsupport::PrintTo;

std::string hit(std::size_t offset, std::size_t length) {
    return std::to_string(offset) + ": version 2, consistent: 16 bytes of ciphertext, 12 of " +
           "plaintext, ends at " + std::to_string(offset + length);
}

std::vector<Inspected> inspected() {
    const std::size_t n = note.size();  // 92
    std::string cut = note.substr(0, 40);
    std::string odd = note;
    patch_le32(odd, header_v2::cipher_len, 15);
    const auto parts = [&](std::size_t at, std::vector<std::string> before,
                           std::vector<std::string> after) {
        std::vector<std::string> all = std::move(before);
        const std::size_t sizes[] = {8, 32, 16, 4, 4, 4, 4, 4};
        for (const std::size_t size : sizes) {
            all.push_back(std::to_string(at) + " " + std::to_string(size));
            at += size;
        }
        all.push_back(std::to_string(at) + " 16");
        all.insert(all.end(), after.begin(), after.end());
        return all;
    };
    return {
        {"Alone", note, parts(0, {}, {}), 0, {hit(0, n)}, note},
        {"BehindTrailer",
         "host" + note + trailer(92),
         parts(4, {"0 4"}, {std::to_string(4 + n) + " 8"}),
         0,
         {hit(4, n)},
         note},
        {"TrailingJunk", note + "junk", parts(0, {}, {"92 4"}), 0, {hit(0, n)}, note + "junk"},
        // The whole input is the document, whose signature is unknown.
        {"InHostWithoutTrailer",
         "\x89PNG\r\n\x1a\n" + note,
         {"0 8", "8 92"},
         4,
         {hit(8, n)},
         "\x89PNG\r\n\x1a\n" + note},
        {"TwoNotes",
         note + "and" + note,
         parts(0, {}, {"92 95"}),
         0,
         {hit(0, n), hit(95, n)},
         note + "and" + note},
        {"HeaderCutOff",
         cut,
         {"0 8", "8 32"},
         4,
         {"0: version 2, inconsistent: the header is cut off: the document holds 40 of its 76 "
          "bytes"},
         cut},
        {"OddCiphertextLength",
         odd,
         {"0 8", "8 32", "40 16", "56 4", "60 4", "64 4", "68 4", "72 4", "76 15", "91 1"},
         4,
         {"0: version 2, inconsistent: the ciphertext length 15 is not a multiple of 16"},
         odd},
    };
}

// "offset length" of each line of the listing between its head and its sum, and the sum.
std::vector<std::string> listed_parts(const std::string& listing, std::uint64_t& sum) {
    std::vector<std::string> parts;
    std::istringstream lines(listing);
    std::string line;
    std::getline(lines, line);  // input
    std::getline(lines, line);  // document
    std::getline(lines, line);  // column heads
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string a, b;
        words >> a >> b;
        if (b == "in") {
            sum = std::stoull(a);
            break;
        }
        parts.push_back(a + " " + b);
    }
    return parts;
}

class Inspect : public ::testing::TestWithParam<Inspected> {};

TEST_P(Inspect, ListsScansAndExtracts) {
    const Inspected& c = GetParam();
    TempDir dir;
    const std::string path = dir.write("input", c.bytes);
    const ToolRun info = run_tool({"--info", path});
    EXPECT_EQ(info.status, c.info_status) << info.err;
    std::uint64_t sum = 0;
    const std::vector<std::string> parts = listed_parts(info.out, sum);
    // Where the parts lie; the listing's words are for people.
    EXPECT_EQ(parts, c.parts) << info.out;
    EXPECT_EQ(sum, c.bytes.size()) << "the sizes add up to the input's";
    EXPECT_NE(info.out.find("in all: the input's size"), std::string::npos);

    const ToolRun scan = run_tool({"--scan", "-q", path});
    std::string lines;
    for (const std::string& line : c.scan) {
        lines += line + "\n";
    }
    EXPECT_EQ(scan.out, lines);
    EXPECT_EQ(scan.status,
              c.scan.empty() || c.scan[0].find("inconsistent") != std::string::npos ? 4 : 0);

    const std::string extracted = dir.file("extracted");
    run_tool({"--info", "-q", "--extract=" + extracted, path});
    const auto bytes = read_file(extracted);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.extracted);
}

INSTANTIATE_TEST_SUITE_P(Inputs, Inspect, ::testing::ValuesIn(inspected()), CaseName{});

// ---------------------------------------------------------------------------------------------
// --brief, --dump-limit, --output.
TEST(Transcript, BriefLimitedAndWrittenOut) {
    TempDir dir;
    Note n;
    n.text = std::string("before\0after", 12) + long_text;
    const std::string document = build_note(n);
    const std::string path = dir.write("note", document);
    const std::string text_line = "before\n";
    const std::string matches = verdict::line(verdict::matches);

    const ToolRun brief = run_tool({"--brief", path, "secret"});
    EXPECT_EQ(brief.out, key_line("secret") + "224/212 bytes, 640x480 window size\n" + text_line);
    EXPECT_EQ(brief.err, matches);

    // 224 bytes: 14 lines of ciphertext; 4 shown, 10 left out.
    const ToolRun limited = run_tool({"--dump-limit=4", path, "secret"});
    const std::string cipher = document.substr(header_v2_size);
    const std::string full = reference_dump(cipher);
    const auto nth_line = [&](int i) { return full.substr(77 * i, 77); };
    const std::string cipher_dump =
        nth_line(0) + nth_line(1) + "... 10 lines left out ...\n" + nth_line(12) + nth_line(13);
    EXPECT_NE(limited.out.find("ciphertext:\n" + cipher_dump + "plaintext (before shrink):"),
              std::string::npos)
        << limited.out;
    // With room for no tail, the short last line (212 bytes of text) is left out with the rest.
    const std::string plain = reference_dump(n.text);
    for (const auto& [limit, shown] :
         {std::pair<std::string, std::string>{"0", ""}, {"1", plain.substr(0, 77)}}) {
        const ToolRun r = run_tool({"--dump-limit=" + limit, path, "secret"});
        const std::string left_out = limit == "0" ? "14" : "13";
        EXPECT_NE(r.out.find("plaintext:\n" + shown + "... " + left_out + " lines left out ...\n"),
                  std::string::npos)
            << r.out;
        EXPECT_EQ(r.status, 0);
    }

    // The text whole, bytes after the zero included, only its owner may read it; nothing written
    // when the check hash differs, unless --force.
    const std::string out = dir.file("text");
    EXPECT_EQ(run_tool({"-q", "--output=" + out, path, "secret"}).status, 0);
    const auto written = read_file(out);
    EXPECT_EQ(std::string(written.begin(), written.end()), n.text);
#ifndef _WIN32
    struct stat info {};
    ASSERT_EQ(::stat(out.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
#endif
    EXPECT_EQ(run_tool({"-q", "--output=" + out, path, "secret"}).status, 1) << "no overwrite";
    const std::string refused = dir.file("refused");
    EXPECT_EQ(run_tool({"-q", "--brief", "--output=" + refused, path, "wrong"}).status, 3);
    EXPECT_TRUE(read_file(refused).empty());
    EXPECT_EQ(run_tool({"-q", "--force", "--output=" + refused, path, "wrong"}).status, 0);
    EXPECT_EQ(read_file(refused).size(), n.text.size());

    // A file that cannot be made is named, not the note it would have come from.
    const std::string nowhere = dir.file("missing") + "/file";
    for (const char* option : {"--output=", "--extract="}) {
        const ToolRun r = run_tool({"-q", std::string(option) + nowhere, path, "secret"});
        EXPECT_EQ(r.status, 1) << option;
        EXPECT_NE(r.err.find("cannot create '" + nowhere + "': No such file or directory\n"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(r.err.find(path), std::string::npos) << r.err;
    }
}

// ---------------------------------------------------------------------------------------------
// --test over a set of notes: a line each in operand order, the summary, the worst status; the
// same whatever the number of jobs.
TEST(Test, OneLineANoteAndTheWorstStatus) {
    TempDir dir;
    std::string damaged = long_note();
    damage(damaged, header_v2_size + 16 * 3 + 2);
    const std::vector<std::pair<std::string, std::string>> notes = {
        {dir.write("intact", long_note()), "intact"},
        {dir.write("damaged", damaged), "damaged"},
        {dir.write("wrong", long_note("another")), "wrong password"},
        {dir.write("short", build_note({.password = "another"})), "undecided"},
        {dir.write("none", "SEK"), "no document (the file is 3 bytes, too short to hold one)"},
        {dir.path(), "unreadable (Is a directory)"},
    };
    std::vector<std::string> args = {"--test", "--password-fd=0"};
    std::string lines;
    for (const auto& [path, said] : notes) {
        args.push_back(path);
        lines += path + ": " + said + "\n";
    }
#ifdef _WIN32
    // Windows refuses to open a directory with "access denied".
    lines.replace(lines.find("Is a directory"), 14, "Permission denied");
#endif
    for (const char* jobs : {"--jobs=1", "--jobs=2", "--jobs=8"}) {
        std::vector<std::string> with_jobs = args;
        with_jobs.push_back(jobs);
        const ToolRun run = run_tool(with_jobs, {}, {.input = "secret\n"});
        EXPECT_EQ(run.out, lines) << jobs;
        EXPECT_EQ(run.err,
                  "notediag: 6 notes: 1 intact, 1 damaged, 1 wrong password, 1 undecided, 1 no "
                  "document, 1 unreadable\n");
        EXPECT_EQ(run.status, 1) << "unreadable is the worst";
    }
    // Without the unreadable one, no document is the worst; then a differing hash; then none.
    const std::vector<std::pair<std::vector<std::string>, int>> worst = {
        {{notes[0].first, notes[4].first, notes[1].first}, 4},
        {{notes[0].first, notes[2].first}, 3},
        {{notes[0].first}, 0},
    };
    for (const auto& [paths, status] : worst) {
        std::vector<std::string> a = {"-t", "-q", "--password-fd=0"};
        a.insert(a.end(), paths.begin(), paths.end());
        EXPECT_EQ(run_tool(a, {}, {.input = "secret\n"}).status, status);
    }
    // -r descends, in name order: every note of the directory, the directory itself not a note.
    auto files = std::vector(notes.begin(), notes.end() - 1);
    std::sort(files.begin(), files.end());
    std::string in_name_order;
    for (const auto& [path, said] : files) {
        in_name_order += path + ": " + said + "\n";
    }
    const ToolRun recursive = run_tool({"-t", "-r", "-q", dir.path()}, {}, {.input = "secret\n"});
    EXPECT_EQ(recursive.out, in_name_order);
}

// ---------------------------------------------------------------------------------------------
// --wordlist: the first matching line, whatever the jobs; CR LF lines; variants; no hit.
TEST(Wordlist, FindsTheFirstMatchingLine) {
    TempDir dir;
    const std::string path = dir.write("note", long_note());
    std::string many;
    for (int i = 0; i < 3000; ++i) {
        many += "candidate " + std::to_string(i) + "\n";
    }
    struct Row {
        std::string list;
        std::vector<std::string> options;
        std::string out;
        int status;
    };
    const std::vector<Row> rows = {
        {"secret\n" + many, {}, "line 1\n", 0},
        {many + "secret\n" + many + "secret\n", {}, "line 3001\n", 0},
        {many + "secret", {}, "line 3001\n", 0},
        {"a\r\nsecret\r\n", {}, "line 2\n", 0},
        {many + "SECRET\n", {}, "", 3},
        {many + "SECRET\n", {"--variants"}, "line 3001 as caps-lock\n", 0},
        {many, {}, "", 3},
    };
    for (const Row& row : rows) {
        const std::string list = dir.write("list", row.list);
        for (const char* jobs : {"-j1", "-j2", "-j8"}) {
            std::vector<std::string> args = {"-q", jobs, "--wordlist=" + list, path};
            args.insert(args.end(), row.options.begin(), row.options.end());
            const ToolRun run = run_tool(args);
            EXPECT_EQ(run.out, row.out) << jobs;
            EXPECT_EQ(run.status, row.status) << jobs;
        }
    }
    // An empty line is the empty password; the list from standard input.
    const std::string empty = dir.write("empty", long_note(""));
    const ToolRun run = run_tool({"-w", "-", empty}, {}, {.input = "x\n\ny\n"});
    EXPECT_EQ(run.out, "line 2\n");
    EXPECT_EQ(run.err, "notediag: the password is line 2 of standard input\n");
    EXPECT_EQ(run_tool({"-w", dir.write("no", "a\nb\n"), path}).err,
              "notediag: none of the 2 candidates matches\n");
}

}  // namespace
