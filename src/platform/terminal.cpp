// The escaping both platforms share; terminal_posix.cpp and terminal_win32.cpp tell terminals.
#include "platform/terminal.h"

#include "platform/hex_digits.h"

namespace platform {
namespace {

// The four characters that stand for control byte `byte`.
void escape(unsigned char byte, char (&to)[4]) {
    constexpr const char* digits = hex_digits_lower;
    to[0] = '\\';
    to[1] = 'x';
    to[2] = digits[byte >> 4];
    to[3] = digits[byte & 0xF];
}

}  // namespace

std::string escape_control_bytes(std::string_view bytes) {
    std::string escaped;
    escaped.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (is_control_byte(byte)) {
            char sequence[4];
            escape(byte, sequence);
            escaped.append(sequence, sizeof sequence);
        } else {
            escaped += c;
        }
    }
    return escaped;
}

void write_escaped(std::FILE* out, const void* bytes, std::size_t count) {
    const auto* at = static_cast<const unsigned char*>(bytes);
    const auto* const end = at + count;
    // Runs of shown bytes go out as they are; each control byte as its four characters.
    while (at != end && std::ferror(out) == 0) {
        const auto* run = at;
        while (run != end && !is_control_byte(*run)) {
            ++run;
        }
        if (run != at) {
            std::fwrite(at, 1, static_cast<std::size_t>(run - at), out);
        }
        if (run != end) {
            char sequence[4];
            escape(*run, sequence);
            std::fwrite(sequence, 1, sizeof sequence, out);
            ++run;
        }
        at = run;
    }
}

}  // namespace platform
