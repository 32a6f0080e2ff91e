// The command line: argv turned into a small plain record, the texts that describe it, and the
// exit statuses that answer it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

inline constexpr char usage_line[] = "usage: notediag [OPTION]... PATH [PASSWORD]";
inline constexpr char try_line[] = "Try 'notediag --help' for more information.";

// Exit statuses. Without --check every completed run of the transcript ends with exit_completed;
// the checking modes (--info, --scan, --test, --wordlist) always answer through the status.
inline constexpr int exit_completed = 0;
// The input or the password could not be read, no terminal to ask on, out of memory, or standard
// output or standard error could not be written.
inline constexpr int exit_failure = 1;
// A usage error, a password over 1 MiB or missing from standard input, a note and a password both
// wanted from standard input, a note wanted from a terminal.
inline constexpr int exit_usage = 2;
inline constexpr int exit_hash_differs = 3;  // a document was read, its hash differs
inline constexpr int exit_no_document = 4;   // no document could be read

struct CommandLine {
    enum class Action { run, help, version, usage_error };
    // What the run does with its operands.
    enum class Mode {
        transcript,  // PATH [PASSWORD]: every stage dumped, the text, a verdict
        info,        // --info PATH: the structure, without the password
        scan,        // --scan PATH: every signature in the input
        test,        // --test FILE...: one verdict line per note
        wordlist,    // --wordlist=LIST NOTE: which line of LIST is the password
    };
    // --escape=WHEN: whether the note's text and the password are shown with control bytes
    // escaped.
    enum class Escape { automatic, always, never };
    // Where the password comes from.
    enum class PasswordSource {
        none,            // the mode needs none
        argument,        // the PASSWORD operand
        terminal,        // asked on the terminal
        standard_input,  // the first line of standard input
        file,            // --password-file: the first line of a file
        descriptor,      // --password-fd: the first line of an open descriptor
    };

    Action action = Action::run;
    Mode mode = Mode::transcript;
    bool check = false;      // -c, --check: the exit status answers whether the check hash matches
    bool quiet = false;      // -q, --quiet: no verdict or summary on standard error
    bool json = false;       // --json: a JSON report on standard output instead of the transcript
    bool brief = false;      // --brief: the transcript without its hex dumps
    bool force = false;      // --force: --output writes even when the check hash differs
    bool recursive = false;  // -r, --recursive: --test descends into directories
    bool variants = false;   // --variants: --wordlist also tries each line's variants
    Escape escape = Escape::automatic;
    std::optional<std::uint32_t> offset;      // --offset: the document starts here
    std::optional<std::uint32_t> length;      // --length: and is this long
    std::optional<std::uint32_t> dump_limit;  // --dump-limit: lines of each dump at most
    unsigned jobs = 0;                        // -j, --jobs; 0: one per processor
    const char* extract = nullptr;            // --extract: the document's bytes go here
    const char* output = nullptr;             // --output: the decrypted text goes here
    const char* wordlist = nullptr;           // -w, --wordlist
    const char* password_file = nullptr;      // --password-file
    int password_fd = -1;                     // --password-fd

    // The operands, pointing into argv: PATH (the first note), every note of --test, and the
    // password when it was given as an operand (null otherwise).
    const char* path = nullptr;
    std::vector<const char*> notes;
    char* password = nullptr;
    PasswordSource password_source = PasswordSource::none;
    // PATH "-": the note comes from standard input, so the password cannot.
    bool note_on_standard_input = false;
    // For a usage error: what is wrong, without "notediag: "; empty for the usage line.
    std::string error;
};

// GNU rules: options are recognised anywhere until "--", after which every argument is an
// operand; long options may be abbreviated to any unique prefix; short options combine ("-cq").
// --help and --version act at once, whatever follows them.
CommandLine parse_command_line(int argc, char** argv);

// What --help prints, ending with a newline.
std::string help_text();
