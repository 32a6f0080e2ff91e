// The command line: argv turned into a small plain record, the texts that describe it, and the
// exit statuses that answer it.
#pragma once

#include <string>

inline constexpr char usage_line[] = "usage: notediag [OPTION]... PATH [PASSWORD]";
inline constexpr char try_line[] = "Try 'notediag --help' for more information.";

// Exit statuses. Without --check every completed run ends with exit_completed.
inline constexpr int exit_completed = 0;
// The input or the password could not be read, no terminal to ask on, out of memory, or standard
// output or standard error could not be written.
inline constexpr int exit_failure = 1;
// A usage error, a password over 1 MiB, a note and a password both wanted from standard input.
inline constexpr int exit_usage = 2;
inline constexpr int exit_hash_differs = 3;  // --check: a document was read, its hash differs
inline constexpr int exit_no_document = 4;   // --check: no document could be read

struct CommandLine {
    enum class Action { run, help, version, usage_error };
    // Where the password comes from: the PASSWORD operand, a question on the terminal (PASSWORD
    // omitted while standard input is a terminal, or PATH "-"), or the first line of standard
    // input.
    enum class PasswordSource { argument, terminal, standard_input };
    Action action = Action::run;
    bool check = false;  // -c, --check: the exit status answers whether the check hash matches
    bool quiet = false;  // -q, --quiet: no verdict line
    // The operands, pointing into argv; the password is null when none was given.
    const char* path = nullptr;
    char* password = nullptr;
    // PATH "-": the note comes from standard input, so the password cannot.
    bool note_on_standard_input = false;
    PasswordSource password_source = PasswordSource::argument;
    // For a usage error: the line that says what is wrong (the Try line follows it).
    std::string error;
};

// Options are recognised only before PATH, and "--" ends them; every argument from PATH on is
// taken as it is. Short options combine ("-cq"). --help and --version act at once, whatever
// follows them.
CommandLine parse_command_line(int argc, char** argv);

// What --help prints, ending with a newline.
std::string help_text();
