#include <unistd.h>

#include "platform/terminal.h"

namespace platform {

bool is_terminal(StandardStream stream) noexcept {
    const int fd = stream == StandardStream::input    ? STDIN_FILENO
                   : stream == StandardStream::output ? STDOUT_FILENO
                                                      : STDERR_FILENO;
    return ::isatty(fd) == 1;
}

}  // namespace platform
