// Runs the built notediag binary and captures everything it says.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

struct ToolRun {
    std::string out;  // standard output, byte for byte
    std::string err;  // standard error
    int status = -1;  // exit status, or 128 + signal number when a signal ended it (POSIX); the
                      // process exit code, NTSTATUS values included, on Windows
};

// Where the child's standard output goes. Everything but `captured` is POSIX only.
enum class Output {
    captured,     // a file, read back into ToolRun::out
    terminal,     // a pseudo-terminal that takes standard error too: ToolRun::out is all it showed
    full_device,  // /dev/full
    closed,       // no open descriptor at all
    broken_pipe,  // a pipe whose reader is gone
};

// The child's session. Everything but `inherited` is POSIX only.
enum class Session {
    inherited,
    without_terminal,  // a new session, so /dev/tty cannot be opened
    with_terminal,     // a new session whose controlling terminal is a fresh pseudo-terminal in
                       // its usual line mode, echo on; standard input unless `input` is given
};

struct Spawn {
    Output output = Output::captured;
    bool sigpipe_ignored = false;  // otherwise SIGPIPE has its default action in the child
    bool error_full = false;       // standard error on /dev/full (POSIX only)
    // Standard input: a pipe that carries these bytes, written while the child runs (a file on
    // Windows), instead of /dev/null.
    std::optional<std::string> input = std::nullopt;
    // Standard input opened from this path (a file, a directory, a device) instead.
    std::optional<std::string> input_path = std::nullopt;
    Session session = Session::inherited;
    // Called while the child runs, with its process id and the other end of its terminal
    // (Session::with_terminal; -1 otherwise). POSIX only.
    std::function<void(int pid, int terminal)> while_running = nullptr;
};

// Runs notediag with `args` (argv[1] onwards). `env` entries ("NAME=value") are added to the
// environment of the child.
ToolRun run_tool(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                 Spawn how = {});

}  // namespace testsupport
