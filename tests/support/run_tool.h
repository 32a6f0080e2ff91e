// Runs the built notediag binary and captures everything it says.
#pragma once

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

struct Spawn {
    Output output = Output::captured;
    bool sigpipe_ignored = false;  // otherwise SIGPIPE has its default action in the child
};

// Runs notediag with `args` (argv[1] onwards). `env` entries ("NAME=value") are added to the
// environment of the child.
ToolRun run_tool(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                 Spawn how = {});

}  // namespace testsupport
