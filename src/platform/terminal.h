// Terminal matters: whether a standard stream is a terminal, asking for a password on one, and the
// escaping that keeps untrusted bytes (a note's text, a password, a path) from acting on one.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

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

// True for the bytes a terminal acts on rather than shows: 0x00 to 0x08, 0x0B to 0x1F and 0x7F.
// Tab and newline are left alone.
constexpr bool is_control_byte(unsigned char byte) noexcept {
    return (byte < 0x20 && byte != '\t' && byte != '\n') || byte == 0x7F;
}

// `bytes` with every control byte shown as \xHH (two lower-case hex digits).
std::string escape_control_bytes(std::string_view bytes);

// Writes `bytes` to `out` escaped like escape_control_bytes, without a copy of them: a text may
// be large and secret. Stops once the stream has failed.
void write_escaped(std::FILE* out, const void* bytes, std::size_t count);

}  // namespace platform
