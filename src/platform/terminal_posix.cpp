#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iterator>

#include "platform/check.h"
#include "platform/stream.h"
#include "platform/terminal.h"

namespace platform {

bool is_terminal(StandardStream stream) noexcept {
    const int fd = stream == StandardStream::input    ? STDIN_FILENO
                   : stream == StandardStream::output ? STDOUT_FILENO
                                                      : STDERR_FILENO;
    return ::isatty(fd) == 1;
}

namespace {

// The prompt that is open, as its signal handler needs it.
int prompt_fd = -1;
bool owns_prompt_fd = false;
const char* prompt_text = "";
termios shown_mode{};   // the terminal as the prompt found it
termios hidden_mode{};  // the same without echo
constexpr int ending_signals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGTSTP};
struct sigaction previous_actions[std::size(ending_signals)];
struct sigaction prompt_action {};

void write_text(const char* text) noexcept {
    for (std::size_t left = std::strlen(text); left != 0;) {
        const ssize_t written = ::write(prompt_fd, text, left);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        text += written;
        left -= static_cast<std::size_t>(written);
    }
}

// Echo back on, then the signal does what it would have done without the prompt: it ends the
// process, or stops it, in which case the prompt asks again once the process is continued.
void on_ending_signal(int signal) {
    const int saved_errno = errno;
    ::tcsetattr(prompt_fd, TCSANOW, &shown_mode);
    write_text("\n");
    for (std::size_t i = 0; i < std::size(ending_signals); ++i) {
        if (ending_signals[i] == signal) {
            ::sigaction(signal, &previous_actions[i], nullptr);
        }
    }
    ::raise(signal);
    sigset_t just_this;
    sigemptyset(&just_this);
    sigaddset(&just_this, signal);
    ::sigprocmask(SIG_UNBLOCK, &just_this, nullptr);  // delivered here
    ::sigaction(signal, &prompt_action, nullptr);
    ::tcsetattr(prompt_fd, TCSAFLUSH, &hidden_mode);
    write_text(prompt_text);
    errno = saved_errno;
}

}  // namespace

TerminalPrompt::TerminalPrompt(const char* prompt, bool or_standard_input) {
    NOTEDIAG_ASSERT(prompt_fd < 0);
    int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    owns_prompt_fd = fd >= 0;
    if (fd < 0 && or_standard_input && ::isatty(STDIN_FILENO) == 1) {
        fd = STDIN_FILENO;
    }
    if (fd < 0 || ::tcgetattr(fd, &shown_mode) != 0) {
        if (owns_prompt_fd) {
            ::close(fd);
        }
        return;
    }
    prompt_fd = fd;
    prompt_text = prompt;
    hidden_mode = shown_mode;
    hidden_mode.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL);
    // One line, ended by Enter, even when the terminal was left in raw mode.
    hidden_mode.c_lflag |= ICANON;
    hidden_mode.c_iflag |= ICRNL;

    prompt_action.sa_handler = on_ending_signal;
    prompt_action.sa_flags = SA_RESTART;
    sigemptyset(&prompt_action.sa_mask);
    for (const int signal : ending_signals) {
        sigaddset(&prompt_action.sa_mask, signal);
    }
    // A signal the caller ignores (SIGINT in a background job, SIGHUP under nohup) stays ignored.
    for (std::size_t i = 0; i < std::size(ending_signals); ++i) {
        ::sigaction(ending_signals[i], nullptr, &previous_actions[i]);
        if (previous_actions[i].sa_handler != SIG_IGN) {
            ::sigaction(ending_signals[i], &prompt_action, nullptr);
        }
    }
    // Typed-ahead input is dropped: it was typed while echo was still on.
    ::tcsetattr(fd, TCSAFLUSH, &hidden_mode);
    write_text(prompt);
    asked_ = true;
}

TerminalPrompt::~TerminalPrompt() {
    if (!asked_) {
        return;
    }
    ::tcsetattr(prompt_fd, TCSANOW, &shown_mode);
    write_text("\n");
    for (std::size_t i = 0; i < std::size(ending_signals); ++i) {
        ::sigaction(ending_signals[i], &previous_actions[i], nullptr);
    }
    if (owns_prompt_fd) {
        ::close(prompt_fd);
    }
    prompt_fd = -1;
}

std::ptrdiff_t TerminalPrompt::read(void* buffer, std::size_t size, int& error) noexcept {
    return read_handle(prompt_fd, buffer, size, error);
}

}  // namespace platform
