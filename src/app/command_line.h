// The command line: argv turned into a small plain record, and the texts that describe it.
#pragma once

#include <string>

inline constexpr char usage_line[] = "usage: notediag [OPTION]... PATH [PASSWORD]";
inline constexpr char try_line[] = "Try 'notediag --help' for more information.";

struct CommandLine {
    enum class Action { run, help, version, usage_error };
    // Where the password comes from: the PASSWORD operand, a question on the terminal (PASSWORD
    // omitted while standard input is a terminal, or PATH "-"), or the first line of standard
    // input.
    enum class PasswordSource { argument, terminal, standard_input };
    Action action = Action::run;
    bool check = false;  // -c, --check: the exit status answers whether the check hash matches
    bool quiet = false;  // -q, --quiet: no verdict line
    // The operands, pointing into argv; the password is null when none was given. PATH "-" is
    // standard input.
    const char* path = nullptr;
    char* password = nullptr;
    PasswordSource password_source = PasswordSource::argument;
    // For a usage error: the line that says what is wrong (the Try line follows it).
    std::string error;
};

// Options are recognised only before PATH, and "--" ends them; every argument from PATH on is
// taken as it is. Short options combine ("-cq"). --help and --version act at once, whatever
// follows them.
CommandLine parse_command_line(int argc, char** argv);

// What --help prints, ending with a newline.
const char* help_text() noexcept;
