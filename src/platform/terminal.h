// Terminal matters: whether a standard stream is a terminal, and asking for a password on one.
// (platform/escape.h keeps untrusted bytes from acting on one.)
#pragma once

#include <cstddef>

namespace platform {

enum class StandardStream { input, output, error };

// True when the stream is a terminal (a console on Windows; a redirection to NUL is none).
bool is_terminal(StandardStream stream) noexcept;

// A question asked on the terminal with its echo off, from construction to destruction, whichever
// way the run ends: the signals that end or stop a process from the keyboard or from outside
// (SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGTSTP) turn echo back on first, and a stopped process asks
// again when it is continued; on Windows, Ctrl-C and closing the console do the same. One at a
// time.
class TerminalPrompt {
  public:
    // Opens the process's terminal (/dev/tty; CONIN$ and CONOUT$ on Windows), or on POSIX standard
    // input when there is none and `or_standard_input` is set and standard input is a terminal,
    // turns echo off and writes `prompt` to it. Nothing goes to standard output.
    TerminalPrompt(const char* prompt, bool or_standard_input);
    // Echo back on, the line ended on the terminal, the terminal closed.
    ~TerminalPrompt();
    TerminalPrompt(const TerminalPrompt&) = delete;
    TerminalPrompt& operator=(const TerminalPrompt&) = delete;

    // False when there was no terminal to ask on.
    bool asked() const noexcept { return asked_; }
    // One read of what is typed into `buffer`, as platform::read_handle reads. The terminal hands
    // over one line at a time.
    std::ptrdiff_t read(void* buffer, std::size_t size, int& error) noexcept;

  private:
    bool asked_ = false;
};

}  // namespace platform
