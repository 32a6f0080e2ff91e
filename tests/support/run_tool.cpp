#include "support/run_tool.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

#include "support/temp_file.h"

extern char** environ;

namespace testsupport {
namespace {

std::string slurp(const std::string& path) {
    const auto bytes = read_file(path);
    return {bytes.begin(), bytes.end()};
}

}  // namespace

ToolRun run_tool(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    TempDir dir;
    const std::string out_path = dir.file("stdout");
    const std::string err_path = dir.file("stderr");

    std::vector<std::string> argv_text{NOTEDIAG_BINARY};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : argv_text)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    std::vector<std::string> env_text;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "NOTEDIAG_", 9) != 0)
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
    ToolRun run;
    run.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    run.out = slurp(out_path);
    run.err = slurp(err_path);
    return run;
}

}  // namespace testsupport
