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

// Runs notediag with `args` (argv[1] onwards). `env` entries ("NAME=value") are added to the
// environment of the child.
ToolRun run_tool(const std::vector<std::string>& args, const std::vector<std::string>& env = {});

}  // namespace testsupport
