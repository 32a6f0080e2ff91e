#include "support/run_tool.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstring>
#include <stdexcept>

#include "support/temp_file.h"

#ifndef _WIN32
extern char** environ;
#endif

namespace testsupport {
namespace {

std::string slurp(const std::string& path) {
    const auto bytes = read_file(path);
    return {bytes.begin(), bytes.end()};
}

// The test's own NOTEDIAG_ settings do not leak into the child; the caller states the ones it
// wants. NOTEDIAG_CPU passes, so that NOTEDIAG_CPU=portable holds for the tool under test too.
bool inherited(const char* entry) {
    return std::strncmp(entry, "NOTEDIAG_", 9) != 0 ||
           std::strncmp(entry, "NOTEDIAG_CPU=", 13) == 0;
}

#ifdef _WIN32

// One argument as the runtime's command-line parser reads it back: quotes around anything empty or
// holding blanks or quotes; backslashes doubled only where they precede a quote.
void append_quoted(std::string& line, const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) {
        line += arg;
        return;
    }
    line += '"';
    std::size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        line.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        line += c;
        backslashes = 0;
    }
    line.append(2 * backslashes, '\\');
    line += '"';
}

HANDLE inheritable_file(const std::string& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const HANDLE handle = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      &inherit, disposition, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot open " + path + " for the child");
    return handle;
}

int spawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
          const std::string& out_path, const std::string& err_path) {
    std::string command_line;
    append_quoted(command_line, NOTEDIAG_BINARY);
    for (const auto& arg : args) {
        command_line += ' ';
        append_quoted(command_line, arg);
    }

    // The environment block: "NAME=value\0" entries, then one more "\0".
    std::string block;
    if (char* strings = GetEnvironmentStringsA()) {
        for (const char* entry = strings; *entry != '\0'; entry += std::strlen(entry) + 1) {
            if (inherited(entry))
                block.append(entry, std::strlen(entry) + 1);
        }
        FreeEnvironmentStringsA(strings);
    }
    for (const auto& entry : env)
        block.append(entry.c_str(), entry.size() + 1);
    block += '\0';

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inheritable_file("NUL", GENERIC_READ, OPEN_EXISTING);
    startup.hStdOutput = inheritable_file(out_path, GENERIC_WRITE, CREATE_ALWAYS);
    startup.hStdError = inheritable_file(err_path, GENERIC_WRITE, CREATE_ALWAYS);
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessA(NOTEDIAG_BINARY, command_line.data(), nullptr, nullptr,
                                        TRUE, 0, block.data(), nullptr, &startup, &process);
    const DWORD start_error = GetLastError();
    CloseHandle(startup.hStdInput);
    CloseHandle(startup.hStdOutput);
    CloseHandle(startup.hStdError);
    if (!started) {
        throw std::runtime_error(std::string("cannot start ") + NOTEDIAG_BINARY + ": error " +
                                 std::to_string(start_error));
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exit_code = 0;
    GetExitCodeProcess(process.hProcess, &exit_code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(exit_code);
}

#else

// The command that runs the tool: its path, behind the emulator's command in a cross build.
std::vector<std::string> tool_command() {
#ifdef NOTEDIAG_EMULATOR
    return {NOTEDIAG_EMULATOR NOTEDIAG_BINARY};
#else
    return {NOTEDIAG_BINARY};
#endif
}

int spawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
          const std::string& out_path, const std::string& err_path) {
    std::vector<std::string> argv_text = tool_command();
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : argv_text)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    std::vector<std::string> env_text;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (inherited(*entry))
            env_text.emplace_back(*entry);
    }
    env_text.insert(env_text.end(), env.begin(), env.end());
    std::vector<char*> envp;
    for (auto& entry : env_text)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error(std::string("cannot start ") + argv[0] + ": " +
                                 std::strerror(spawned));
    }
    int wait_status = 0;
    while (waitpid(pid, &wait_status, 0) < 0) {
    }
    return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
}

#endif

}  // namespace

ToolRun run_tool(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    TempDir dir;
    const std::string out_path = dir.file("stdout");
    const std::string err_path = dir.file("stderr");
    ToolRun run;
    run.status = spawn(args, env, out_path, err_path);
    run.out = slurp(out_path);
    run.err = slurp(err_path);
    return run;
}

}  // namespace testsupport
