// Terminal matters: whether a standard stream is a terminal, and the escaping that keeps
// untrusted bytes (a note's text, a password, a path) from acting on one.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace platform {

enum class StandardStream { input, output, error };

// True when the stream is a terminal (a console on Windows; a redirection to NUL is none).
bool is_terminal(StandardStream stream) noexcept;

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
