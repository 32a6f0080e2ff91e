// Runs the built tool and compares whole outputs for the ways a run can end without a document.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "document/reasons.h"
#include "file/File.h"
#include "support/case_name.h"
#include "support/run_tool.h"
#include "support/temp_file.h"
#include "support/transcript_match.h"
#include "testkit/hostile_files.h"
#include "testkit/note_builder.h"
#include "testkit/verdict_lines.h"

namespace {

using namespace testsupport;

constexpr char try_line[] = "Try 'notediag --help' for more information.\n";
const std::string usage = "usage: notediag [OPTION]... PATH [PASSWORD]\n";
const std::string no_document = "key <pw>, 2/2\nerror loading :(\n";

TEST(Cli, TooFewArgumentsPrintUsageOnStandardError) {
    for (const auto& args : std::vector<std::vector<std::string>>{{}, {"-cq"}}) {
        const auto run = run_tool(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, usage + try_line);
    }
}

TEST(Cli, HelpAndVersionGoToStandardOutput) {
    for (const char* option : {"-h", "--help", "-qh"}) {
        const auto run = run_tool({option, "--bogus"});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out.rfind(usage, 0), 0u) << run.out;
        EXPECT_NE(run.out.find("NOTEDIAG_DEBUG"), std::string::npos);
        EXPECT_NE(run.out.find("NOTEDIAG_CPU"), std::string::npos);
        EXPECT_EQ(run.err, "");
    }
    const auto run = run_tool({"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, std::string("notediag ") + NOTEDIAG_VERSION + "\n");
}

// The manual page as plain text: each macro's arguments run together as the fonts alternate, the
// escapes the page uses resolved, lines joined by spaces.
std::string manual_text() {
    std::ifstream page(NOTEDIAG_MANUAL);
    std::string text, line;
    while (std::getline(page, line)) {
        if (line.rfind(".\\\"", 0) == 0) {
            continue;
        }
        if (!line.empty() && line[0] == '.') {
            const std::size_t space = line.find(' ');
            const std::string macro = line.substr(0, space);
            const bool alternating = macro.size() == 3 && macro != ".TP" && macro != ".PP";
            std::string joined;
            std::istringstream arguments(space == std::string::npos ? "" : line.substr(space));
            for (std::string word; arguments >> std::ws && !arguments.eof();) {
                if (arguments.peek() == '"') {
                    arguments.get();
                    std::getline(arguments, word, '"');
                } else {
                    arguments >> word;
                }
                joined += (alternating || joined.empty() ? "" : " ") + word;
            }
            line = joined;
        }
        text += line + " ";
    }
    for (const auto& [escape, plain] : std::initializer_list<std::pair<std::string, std::string>>{
             {"\\-", "-"}, {"\\(aq", "'"}, {"\\&", ""}, {"\\^", ""}, {"\\c ", ""}, {"\\e", "\\"}}) {
        for (std::size_t at; (at = text.find(escape)) != std::string::npos;) {
            text.replace(at, escape.size(), plain);
        }
    }
    return text;
}

// Every reason a load can give is documented where users look, in the table's own words.
TEST(Cli, HelpAndManualListEveryNoDocumentReason) {
    const std::string help = run_tool({"--help"}).out;
    const std::string manual = manual_text();
    for (const NoDocumentReason& reason : no_document_reasons()) {
        for (const std::string& words : {std::string(reason.code), std::string(reason.wording)}) {
            EXPECT_NE(help.find(words), std::string::npos) << "--help lacks: " << words;
            EXPECT_NE(manual.find(words), std::string::npos) << "the manual lacks: " << words;
        }
    }
}

// A whole run: its arguments, everything it writes and its exit status.
struct Expect {
    std::vector<std::string> args;
    std::string out, err;
    int status;
};

void expect_run(const Expect& e, const Spawn& how = {}) {
    const auto run = run_tool(e.args, {}, how);
    EXPECT_EQ(run.status, e.status) << e.args.front();
    EXPECT_PRED_FORMAT2(SameTranscript, e.out, run.out) << e.args.front();
    EXPECT_EQ(run.err, e.err) << e.args.front();
}

// GNU option rules (options anywhere until "--", unique prefixes, GNU's messages), and the inputs a
// script must not mistake for an answer: an empty standard input, a terminal or a device where the
// note belongs, a pseudo file, a lost verdict. One row a situation: arguments, standard input, all
// that is written, the status.
TEST(Cli, CommandLines) {
    TempDir dir;
    const std::string document = build_note(Note{});
    const std::string note = dir.write("note", document), none = dir.write("none", "no doc here");
    const std::string out = expected_transcript(document, "secret"), bad = "notediag: ";
    const std::string matches = verdict::line(verdict::matches);
    const std::string no_doc = "notediag: no document: unknown signature 6e 6f 20 64 6f 63 20 68\n";
    const std::string wrong_out = expected_transcript(document, "wrong");
    const auto usage_error = [&](const std::string& message) {
        return bad + message + "\n" + try_line;
    };
    std::vector<std::pair<Spawn, Expect>> rows = {
        {{}, {{"-c", note, "secret"}, out, matches, 0}},
        {{}, {{"--check", "--quiet", note, "secret"}, out, "", 0}},
        {{}, {{"-c", none, "pw"}, no_document, no_doc, 4}},
        {{}, {{"-cq", none, "pw"}, no_document, "", 4}},
        // An option after the operands is an option, not the password; "--" ends the options.
        {{}, {{none, "pw", "-c"}, no_document, no_doc, 4}},
        {{.input = "wrong\n"}, {{note, "--check", "-q"}, wrong_out, "", 3}},
        {{}, {{"-q", "--", none, "-q"}, "key <-q>, 2/2\nerror loading :(\n", "", 0}},
        {{}, {{"--che", "--qu", none, "pw"}, no_document, "", 4}},
        {{}, {{"-cx", none, "pw"}, "", usage_error("invalid option -- 'x'"), 2}},
        {{}, {{"-\x1b[2J", none}, "", usage_error("invalid option -- '\\x1b'"), 2}},
        {{}, {{"--bogus", none}, "", usage_error("unrecognized option '--bogus'"), 2}},
        {{},
         {{"--check=1", none}, "", usage_error("option '--check' doesn't allow an argument"), 2}},
        {{},
         {{"--v", none},
          "",
          usage_error("option '--v' is ambiguous; possibilities: '--version' '--variants'"),
          2}},
        {{},
         {{none, "--dump-limit"},
          "",
          usage_error("option '--dump-limit' requires an argument"),
          2}},
        {{}, {{none, "-j"}, "", usage_error("option requires an argument -- 'j'"), 2}},
        {{},
         {{"--escape=sometimes", none, "pw"},
          "",
          usage_error("invalid argument 'sometimes' for '--escape'; valid arguments are 'auto', "
                      "'always' and 'never'"),
          2}},
        {{},
         {{"--offset=x1", none, "pw"}, "", usage_error("invalid argument 'x1' for '--offset'"), 2}},
        {{}, {{"-q", "--", none, "pw", "c"}, "", usage_error("too many arguments"), 2}},
        {{}, {{"-c", "--"}, "", usage + try_line, 2}},
        {{},
         {{"--info", "--scan", none},
          "",
          usage_error("--info, --scan, --test and --wordlist cannot be combined"),
          2}},
        // An input that ends at once is no password; an empty line is the empty one.
        {{.input = ""}, {{note}, "", "notediag: no password on standard input\n", 2}},
        {{.input = "\n"}, {{none}, "key <>, 0/0\nerror loading :(\n", no_doc, 0}},
        // The password from a file or a descriptor: its first line, as from standard input.
        {{}, {{note, "--password-file=" + dir.write("pw", "secret\r\nmore\n")}, out, matches, 0}},
        {{},
         {{note, "--password-file", dir.write("empty", "")},
          "",
          bad + "no password in '" + dir.file("empty") + "'\n",
          2}},
        {{},
         {{note, "--password-file=" + dir.file("absent")},
          "",
          bad + "cannot open '" + dir.file("absent") + "': No such file or directory\n",
          1}},
        {{.input = "secret\n"}, {{"--password-fd=0", note}, out, matches, 0}},
        {{},
         {{"--password-fd=9", note},
          "",
          bad + "cannot read the password: descriptor 9 is not open\n",
          1}},
        {{},
         {{"--password-fd=0", note, "pw"},
          "",
          usage_error("the password is given more than once"),
          2}},
        // A regular file on standard input is read where it lies.
        {{.input_path = note}, {{"-", "secret"}, out, matches, 0}},
#ifndef _WIN32
        {{.input_path = "/dev/null"}, {{note}, "", "notediag: no password on standard input\n", 2}},
        {{.input_path = "/dev/zero"},
         {{"-", "pw"},
          "key <pw>, 2/2\n",
          "notediag: cannot open '-': not a regular file or pipe\n",
          1}},
        // A pseudo file states a length it does not hold: it is read as a stream.
        {{},
         {{"/proc/version", "pw"},
          no_document,
          "notediag: no document: unknown signature 4c 69 6e 75 78 20 76 65\n",
          0}},
        {{.session = Session::with_terminal},
         {{"-", "pw"},
          "",
          usage_error("standard input is a terminal; give the note as a file or through a pipe"),
          2}},
        // Before any password is asked for, in every mode.
        {{.session = Session::with_terminal},
         {{"--test", note, "-"},
          "",
          usage_error("standard input is a terminal; give the note as a file or through a pipe"),
          2}},
        // A verdict that cannot be written is a failure.
        {{.error_full = true}, {{note, "secret"}, out, "", 1}},
        {{.error_full = true}, {{none, "pw"}, no_document, "", 1}},
#endif
        {{},
         {{dir.write("one", "x"), "pw"},
          "key <pw>, 2/2\nerror loading :(\n",
          "notediag: no document: the file is 1 byte, too short to hold one\n",
          0}},
    };
    for (const auto& [how, e] : rows)
        expect_run(e, how);
}

TEST(Cli, UnopenableFileIsReportedAfterTheKeyLine) {
    TempDir dir;
    struct Case {
        std::string path;
        std::string reason;
        std::string shown;  // the path as the message quotes it, when it differs
        std::string after;  // lines that follow the message
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
#ifdef _WIN32
    const std::string lock_hint;
#else
    // The hint's read works: standard input takes no lock.
    const std::string lock_hint = "notediag: hint: notediag - < '" + locked +
                                  "' reads the same bytes without waiting for the lock\n";
    EXPECT_EQ(run_tool({"-", "pw"}, {}, {.input_path = locked}).err,
              "notediag: no document: unknown signature 68 65 6c 64 20 62 79 20\n");
#endif
    for (const auto& c :
         {Case{dir.file("missing"), "No such file or directory", "", ""},
          Case{dir.path(), directory_reason, "", ""},
          Case{locked, "locked by another program", "", lock_hint},
          // Every control byte, tab and newline included, so that the message stays one line.
          Case{dir.file("a\x1b]0;x\x07\rb\n\tc"), control_reason,
               dir.file("a\\x1b]0;x\\x07\\x0db\\x0a\\x09c"), ""}}) {
        expect_run({{"-c", c.path, "pw"},
                    "key <pw>, 2/2\n",
                    "notediag: cannot open '" + (c.shown.empty() ? c.path : c.shown) +
                        "': " + c.reason + "\n" + c.after,
                    1});
    }
}

class CliHostileFile : public ::testing::TestWithParam<HostileFile> {};

using testsupport::PrintTo;

TEST_P(CliHostileFile, EndsWithItsVerdict) {
    const HostileFile& c = GetParam();
    TempDir dir;
    const auto path = dir.write("note", c.bytes);
    const auto run = run_tool({path, c.password});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, verdict::line(c.verdict, c.details));
    const std::string ends = "error loading :(\n";
    const bool ended_without =
        run.out.size() >= ends.size() &&
        run.out.compare(run.out.size() - ends.size(), ends.size(), ends) == 0;
    EXPECT_EQ(ended_without, !c.document);
    if (!c.transcript.empty()) {
        EXPECT_PRED_FORMAT2(SameTranscript, c.transcript, run.out);
    }
    const auto checked = run_tool({"--check", path, c.password});
    EXPECT_EQ(checked.status, c.check_status);
    EXPECT_EQ(checked.err, run.err);
    EXPECT_EQ(checked.out, run.out);
}

INSTANTIATE_TEST_SUITE_P(Files, CliHostileFile, ::testing::ValuesIn(hostile_files()), CaseName{});

// The fuzzer's seeds, which the memcheck stage also runs, are the table's files (written by
// fuzz/make-corpus.sh): none missing, none stale, none left over.
TEST(HostileFiles, CommittedSeedCorpusIsTheTable) {
    std::vector<std::string> committed;
    for (const auto& entry : std::filesystem::directory_iterator(NOTEDIAG_SEED_CORPUS)) {
        committed.push_back(entry.path().filename().string());
    }
    std::vector<std::string> names;
    for (const auto& file : hostile_files()) {
        names.push_back(file.seed);
        const auto bytes = read_file(std::string(NOTEDIAG_SEED_CORPUS) + "/" + file.seed);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), seed_bytes(file))
            << file.seed << " differs from the table: run fuzz/make-corpus.sh";
    }
    std::sort(committed.begin(), committed.end());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(committed, names);
}

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
#else
    TempDir dir;
    Note large;
    large.text = std::string(3 << 20, 'x');  // fails in the middle of a dump
    const std::string small_note = dir.write("small", build_note(Note{}));
    const std::string large_note = dir.write("large", build_note(large));
    const std::string error = "notediag: write error: ";
    for (const auto& [how, e] : std::initializer_list<std::pair<Spawn, Expect>>{
             {{Output::full_device},
              {{small_note, "secret"}, "", error + "No space left on device\n", 1}},
             {{Output::full_device},
              {{"-cq", large_note, "secret"}, "", error + "No space left on device\n", 1}},
             {{Output::full_device}, {{"--help"}, "", error + "No space left on device\n", 1}},
             {{Output::closed}, {{small_note, "secret"}, "", error + "Bad file descriptor\n", 1}},
             {{Output::closed}, {{"--version"}, "", error + "Bad file descriptor\n", 1}},
             {{Output::broken_pipe, true},
              {{"-c", large_note, "pw"}, "", error + "Broken pipe\n", 1}},
             {{Output::broken_pipe, false}, {{large_note, "secret"}, "", "", 128 + SIGPIPE}},
         })
        expect_run(e, how);
#endif
}

// On a terminal (or with --escape=always) the password and the text cannot act on one: control
// bytes, C1 controls and backslashes are escaped, a Cyrillic text is not; the verdict follows the
// last line. --escape=never passes every byte.
TEST(Cli, ControlBytesAreEscapedWhereTheyCouldAct) {
#ifdef _WIN32
    GTEST_SKIP() << "pseudo-terminals are POSIX";
#endif
    Note note;
    note.password = "pw\x1b[31m";
    note.text =
        "clear\x1b[2J title\x1b]0;x\x07 cr\rforged\ttab\nnext\x7f\x01 csi\xc2\x9b "
        "stray\x9b \xd0\x9f\xd1\x80\xd0\xb8 back\\x1b";
    const std::string escaped_text =
        "clear\\x1b[2J title\\x1b]0;x\\x07 cr\\x0dforged\ttab\nnext\\x7f\\x01 "
        "csi\\xc2\\x9b stray\\x9b \xd0\x9f\xd1\x80\xd0\xb8 back\\\\x1b";
    const std::string document = build_note(note);
    const std::string transcript = expected_transcript(document, note.password);
    const std::size_t key_size = key_line(note.password).size();
    const std::string middle =
        transcript.substr(key_size, transcript.size() - key_size - note.text.size() - 1);
    const std::string escaped = "key <pw\\x1b[31m>, 7/7\n" + middle + escaped_text + "\n";
    TempDir dir;
    const std::string path = dir.write("note", document);
    const std::string verdict = verdict::line(verdict::matches);
    for (const auto& [how, e] : std::initializer_list<std::pair<Spawn, Expect>>{
             {{Output::terminal}, {{path, note.password}, escaped + verdict, "", 0}},
             {{Output::terminal},
              {{"--escape=never", path, note.password}, transcript + verdict, "", 0}},
             {{}, {{"--escape=always", path, note.password}, escaped, verdict, 0}},
             {{}, {{path, note.password}, transcript, verdict, 0}},
             // A path: control bytes always, C1 controls on a terminal; Cyrillic as it is.
             {{Output::terminal},
              {{dir.file("\xc2\x9b\xd0\x9f"), "pw"},
               "key <pw>, 2/2\nnotediag: cannot open '" + dir.file("\\xc2\\x9b\xd0\x9f") +
                   "': No such file or directory\n",
               "",
               1}},
         })
        expect_run(e, how);
}

// Positions are 32-bit: from 2 GiB on no document is looked for, rather than one read at
// positions that wrap. Sparse files cost no disk.
TEST(Cli, FilesOfTwoGiBOrMoreHoldNoDocument) {
    constexpr std::uintmax_t gib = std::uintmax_t{1} << 30;
    const std::string document = build_note(Note{});
    const std::string carried = document + trailer(static_cast<std::uint32_t>(document.size()));
    const std::string too_long = "notediag: no document: the file is ";
    const std::string found_only = " bytes; documents are found only in files under 2 GiB\n";
    for (const auto& [length, head, tail, err] :
         std::initializer_list<std::tuple<std::uintmax_t, std::string, std::string, std::string>>{
             {2 * gib - 1, "", carried, verdict::line(verdict::matches)},
             {2 * gib, "", carried, too_long + "2147483648" + found_only},
             {4 * gib + 10, document, "", too_long + "4294967306" + found_only},
             {5 * gib, "", carried, too_long + "5368709120" + found_only}}) {
        TempDir dir;
        const std::string path = dir.write("sparse", head);
        std::filesystem::resize_file(path, length);
        std::fstream(path, std::ios::in | std::ios::out | std::ios::binary)
            .seekp(static_cast<std::streamoff>(length - tail.size()))
            .write(tail.data(), static_cast<std::streamsize>(tail.size()));
        expect_run({{path, "secret"},
                    length < 2 * gib ? expected_transcript(document, "secret")
                                     : "key <secret>, 6/6\nerror loading :(\n",
                    err,
                    0});
    }
}

const std::string matches = verdict::line(verdict::matches);

// Without PASSWORD the first line of standard input (a pipe; a file on Windows) is the password,
// and the run is the one that password given as the argument makes.
TEST(CliPassword, FromStandardInput) {
    const std::string mib(1 << 20, 'x'), too_long = "notediag: password longer than 1 MiB\n";
    TempDir dir;
    for (const auto& [input, password] :
         std::initializer_list<std::pair<std::string, std::optional<std::string>>>{
             {"secret\n", "secret"},
             {"secret\r\nnext line\n", "secret"},
             {"secret", "secret"},
             {"\n", ""},
             {"se\rcret\r", "se\rcret\r"},
             {std::string("a\0b\n", 4), std::string("a\0b", 3)},
             {mib + "\r\n", mib},
             {mib + "y", std::nullopt},
             {mib + "y\n", std::nullopt},
         }) {
        const std::string document = build_note({.password = password.value_or("")});
        expect_run({{dir.write("note", document)},
                    password ? expected_transcript(document, *password) : "",
                    password ? matches : too_long,
                    password ? 0 : 2},
                   {.input = input});
    }
}

// A stream is read whole, then searched as a file is; devices are refused unopened.
TEST(CliPassword, NotesFromStreams) {
    const TempDir dir;
    const std::string document = build_note(Note{});
    const std::string out = expected_transcript(document, "secret");
    const auto refused = [](const std::string& device) {
        return Expect{{device, "pw"},
                      "key <pw>, 2/2\n",
                      "notediag: cannot open '" + device + "': not a regular file or pipe\n",
                      1};
    };
    for (const auto& [how, e] : std::initializer_list<std::pair<Spawn, Expect>>{
             {{.input = document}, {{"-", "secret"}, out, matches, 0}},
#ifdef _WIN32
             {{}, refused("NUL")},
#else
             {{.input = document}, {{"/dev/fd/0", "secret"}, out, matches, 0}},
             {{}, refused("/dev/zero")},
             {{}, refused("/dev/tty")},
             // A failure is named by what failed: the directory opened, its read did not.
             {{.input_path = dir.path()},
              {{"-", "pw"}, "key <pw>, 2/2\n", "notediag: cannot read '-': Is a directory\n", 1}},
             {{.input = document, .session = Session::without_terminal},
              {{"-"},
               "",
               "notediag: standard input cannot carry both the note and the password\n" +
                   std::string(try_line),
               2}},
#endif
         })
        expect_run(e, how);
}

// While the tool waits for its FIFO's note, the password has left its command line and it would
// dump no core.
TEST(CliPassword, RunningToolHidesThePasswordAndDumpsNoCore) {
#ifdef _WIN32
    GTEST_SKIP() << "FIFOs and /proc are POSIX";
#else
    TempDir dir;
    const std::string fifo = dir.file("fifo"), document = build_note(Note{});
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string cmdline, limits;
    const auto watch = [&](int pid, int) {
        // The writer's open returns once the tool has opened the FIFO; it then waits for the note.
        const int writer = ::open(fifo.c_str(), O_WRONLY);
        const std::string proc = "/proc/" + std::to_string(pid);
        const auto bytes = read_file(proc + "/cmdline");
        cmdline.assign(bytes.begin(), bytes.end());
        const auto text = read_file(proc + "/limits");
        limits.assign(text.begin(), text.end());
        EXPECT_EQ(::write(writer, document.data(), document.size()),
                  static_cast<ssize_t>(document.size()));
        ::close(writer);
    };
    // Core files on, as after `ulimit -c unlimited`: the tool must turn them off itself.
    rlimit core{};
    ::getrlimit(RLIMIT_CORE, &core);
    const rlimit before = core;
    core.rlim_cur = core.rlim_max;
    ::setrlimit(RLIMIT_CORE, &core);
    expect_run({{fifo, "secret"}, expected_transcript(document, "secret"), matches, 0},
               {.while_running = watch});
    ::setrlimit(RLIMIT_CORE, &before);
    // Soft and hard limit: nothing left in the process can turn core files back on.
    const std::size_t core_line = limits.find("Max core file size");
    std::istringstream core_limits(core_line == std::string::npos ? ""
                                                                  : limits.substr(core_line + 18));
    std::string soft, hard, unit;
    core_limits >> soft >> hard >> unit;
    EXPECT_EQ(soft + " " + hard + " " + unit, "0 0 bytes") << limits;
#ifdef NOTEDIAG_EMULATOR
    GTEST_SKIP()
        << "the wiped argument is not checked: under qemu-user /proc/PID/cmdline shows the "
           "emulator's own arguments, which the emulated tool cannot reach";
#else
    EXPECT_EQ(cmdline, std::string(NOTEDIAG_BINARY) + '\0' + fifo + '\0' + std::string(7, '\0'));
#endif
#endif
}

#ifndef _WIN32
// What the terminal has shown by the time `end` appears (or it closes, for an empty `end`). Until
// the tool has opened its side the terminal reads as hung up; under an emulator the spawn returns
// before the child runs, so a hang-up while waiting for `end` is waited out, not taken as the end.
std::string shown_until(int terminal, std::string_view end) {
    std::string shown;
    char chunk[256];
    for (int waited_ms = 0;
         (end.empty() || shown.find(end) == std::string::npos) && waited_ms < 10000;) {
        pollfd ready{terminal, POLLIN, 0};
        if (::poll(&ready, 1, 100) <= 0) {
            waited_ms += 100;
            continue;
        }
        const ssize_t n = ::read(terminal, chunk, sizeof chunk);
        if (n > 0) {
            shown.append(chunk, static_cast<std::size_t>(n));
        } else if (end.empty()) {
            break;  // EIO: the tool has closed it
        } else {
            ::usleep(10000);
            waited_ms += 10;
        }
    }
    return shown;
}
#endif

#ifndef _WIN32
bool echoing(int terminal) {
    termios mode{};
    return ::tcgetattr(terminal, &mode) == 0 && (mode.c_lflag & ECHO) != 0;
}
#endif

// The prompt asks on the controlling terminal with echo off, and echo is back whichever way the
// tool stops asking.
TEST(CliPassword, PromptOnTheTerminal) {
#ifdef _WIN32
    GTEST_SKIP() << "pseudo-terminals are POSIX";
#else
    TempDir dir;
    const std::string document = build_note(Note{}), note = dir.write("note", document);
    const std::string out = expected_transcript(document, "secret");
    for (const auto& [typed, input, e] :
         std::initializer_list<std::tuple<std::string, std::optional<std::string>, Expect>>{
             {"secret\n", std::nullopt, {{note}, out, matches, 0}},
             {"secret\n", document, {{"-"}, out, matches, 0}},
             {"\x03", std::nullopt, {{note}, "", "", 128 + SIGINT}},
         }) {
        std::string before, after;
        bool echo_while_asking = true, echo_afterwards = false;
        const auto converse = [&, keys = typed](int, int terminal) {
            before = shown_until(terminal, "Password: ");
            echo_while_asking = echoing(terminal);
            EXPECT_EQ(::write(terminal, keys.data(), keys.size()),
                      static_cast<ssize_t>(keys.size()));
            after = shown_until(terminal, "");
            echo_afterwards = echoing(terminal);
        };
        expect_run(e,
                   {.input = input, .session = Session::with_terminal, .while_running = converse});
        EXPECT_EQ(before, "Password: ");
        EXPECT_EQ(after, "\r\n") << "nothing typed is shown";
        EXPECT_FALSE(echo_while_asking);
        EXPECT_TRUE(echo_afterwards);
    }
#endif
}

}  // namespace
