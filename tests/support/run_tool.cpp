#include "support/run_tool.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <thread>
#endif

#include <cstring>
#include <fstream>
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

// Standard input given as bytes comes from a file here: no pipe writer is needed, and the tool
// reads it with the same calls.
int spawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
          const std::string& out_path, const std::string& err_path, Spawn how, std::string&) {
    if (how.output != Output::captured || how.session != Session::inherited || how.while_running)
        throw std::invalid_argument("only captured output and input are supported on Windows");
    const std::string in_path = out_path + ".in";
    if (how.input)
        std::ofstream(in_path, std::ios::binary) << *how.input;
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
    startup.hStdInput = inheritable_file(how.input ? in_path : how.input_path.value_or("NUL"),
                                         GENERIC_READ, OPEN_EXISTING);
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

// Writes `bytes` into a pipe for the child and closes it; a child that stops reading ends it early
// (SIGPIPE is blocked in this thread, and a thread's pending signals go with it).
std::thread feed(int pipe, std::string bytes) {
    return std::thread([pipe, bytes = std::move(bytes)] {
        sigset_t broken_pipe;
        sigemptyset(&broken_pipe);
        sigaddset(&broken_pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &broken_pipe, nullptr);
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t n = ::write(pipe, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        ::close(pipe);
    });
}

// Everything the terminal shows until the last holder of its other end is gone.
std::string drain(int terminal) {
    std::string shown;
    char chunk[4096];
    for (ssize_t n; (n = ::read(terminal, chunk, sizeof chunk)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;  // EIO: the child has closed the terminal
        shown.append(chunk, static_cast<std::size_t>(n));
    }
    return shown;
}

int spawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
          const std::string& out_path, const std::string& err_path, Spawn how, std::string& shown) {
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
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (how.session != Session::inherited)
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    int controller = -1;  // the other end of the child's controlling terminal
    if (how.session == Session::with_terminal) {
        int terminal = -1;
        if (::openpty(&controller, &terminal, nullptr, nullptr, nullptr) != 0)
            throw std::runtime_error("cannot open a pseudo-terminal");
        // In its new session the child's first open of a terminal makes it the controlling one.
        // Kept open (on descriptor 3 when standard input is a pipe) until it ends, so the terminal
        // is not hung up before then.
        const std::string name = ::ttyname(terminal);
        ::close(terminal);
        posix_spawn_file_actions_addclose(&actions, controller);
        posix_spawn_file_actions_addopen(&actions, how.input ? 3 : 0, name.c_str(), O_RDWR, 0);
    } else if (!how.input) {
        posix_spawn_file_actions_addopen(&actions, 0, how.input_path.value_or("/dev/null").c_str(),
                                         O_RDONLY, 0);
    }
    int input[2] = {-1, -1};
    if (how.input) {
        if (::pipe2(input, O_CLOEXEC) != 0)
            throw std::runtime_error("cannot make a pipe");
        posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    }
    posix_spawn_file_actions_addopen(&actions, 2, how.error_full ? "/dev/full" : err_path.c_str(),
                                     how.error_full ? O_WRONLY : O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    int ours = -1;    // the parent's end: the terminal's master side
    int theirs = -1;  // the child's end, closed in the parent once it runs
    switch (how.output) {
        case Output::captured:
            posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0600);
            break;
        case Output::terminal: {
            // Raw output, so the bytes arrive as written (no "\n" turned into "\r\n").
            termios raw{};
            ::cfmakeraw(&raw);
            if (::openpty(&ours, &theirs, nullptr, &raw, nullptr) != 0)
                throw std::runtime_error("cannot open a pseudo-terminal");
            posix_spawn_file_actions_adddup2(&actions, theirs, 1);
            posix_spawn_file_actions_adddup2(&actions, theirs, 2);
            posix_spawn_file_actions_addclose(&actions, ours);
            break;
        }
        case Output::full_device:
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/full", O_WRONLY, 0);
            break;
        case Output::closed:
            posix_spawn_file_actions_addclose(&actions, 1);
            break;
        case Output::broken_pipe: {
            int ends[2];
            if (::pipe(ends) != 0)
                throw std::runtime_error("cannot make a pipe");
            ::close(ends[0]);
            theirs = ends[1];
            posix_spawn_file_actions_adddup2(&actions, theirs, 1);
            break;
        }
    }
    if (theirs >= 0)
        posix_spawn_file_actions_addclose(&actions, theirs);

    // The child starts with the parent's disposition: an ignored signal stays ignored across exec.
    const auto previous = std::signal(SIGPIPE, how.sigpipe_ignored ? SIG_IGN : SIG_DFL);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    std::signal(SIGPIPE, previous);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    for (const int fd : {theirs, input[0]})
        if (fd >= 0)
            ::close(fd);
    if (spawned != 0) {
        for (const int fd : {ours, controller, input[1]})
            if (fd >= 0)
                ::close(fd);
        throw std::runtime_error(std::string("cannot start ") + argv[0] + ": " +
                                 std::strerror(spawned));
    }
    std::thread feeder = how.input ? feed(input[1], *how.input) : std::thread();
    if (how.while_running)
        how.while_running(pid, controller);
    if (ours >= 0) {
        shown = drain(ours);
        ::close(ours);
    }
    // Only a signal's interruption is worth a retry; any other error would repeat forever.
    int wait_status = 0;
    pid_t waited = 0;
    do {
        waited = waitpid(pid, &wait_status, 0);
    } while (waited < 0 && errno == EINTR);
    const int wait_error = waited < 0 ? errno : 0;
    if (feeder.joinable())
        feeder.join();
    if (controller >= 0)
        ::close(controller);
    if (wait_error != 0)
        throw std::runtime_error(std::string("cannot wait for ") + argv[0] + ": " +
                                 std::strerror(wait_error));
    return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
}

#endif

}  // namespace

ToolRun run_tool(const std::vector<std::string>& args, const std::vector<std::string>& env,
                 Spawn how) {
    TempDir dir;
    const std::string out_path = dir.file("stdout");
    const std::string err_path = dir.file("stderr");
    ToolRun run;
    std::string shown;
    run.status = spawn(args, env, out_path, err_path, how, shown);
    run.out = how.output == Output::terminal ? shown : slurp(out_path);
    run.err = slurp(err_path);
    return run;
}

}  // namespace testsupport
