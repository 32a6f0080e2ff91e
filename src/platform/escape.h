// Showing untrusted bytes (a note's text, a password, a path) so that they cannot act on a
// terminal: each byte the rules name is written as \xHH instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/hex_digits.h"
#include "platform/utf8.h"

namespace platform {

struct EscapeRules {
    // Tab and newline kept as they are (a text's own lines); otherwise escaped like every other
    // C0 control. The C0 controls and DEL are escaped always.
    bool keep_layout = false;
    // The C1 controls too: U+0080 to U+009F written in UTF-8 (C2 80 to C2 9F), and the bytes 0x80
    // to 0x9F that are not part of a valid UTF-8 sequence (a Cyrillic or Greek text, whose UTF-8
    // holds such bytes as continuation bytes, passes unchanged). Some terminals act on them.
    bool c1 = false;
    // A backslash as \\, so that a typed "\x1b" cannot pass for an escaped ESC.
    bool backslash = false;
};

// Feeds bytes through the rules in pieces of any size: runs of bytes shown as they are, and
// escapes, go to `put(const char*, std::size_t)`. A UTF-8 sequence cut by the end of a piece is
// held back (at most three bytes) until the next piece or finish().
class Escaper {
  public:
    explicit Escaper(EscapeRules rules) noexcept : rules_(rules) {}

    template <class Put>
    void feed(const std::uint8_t* bytes, std::size_t count, Put&& put);
    template <class Put>
    void finish(Put&& put);

  private:
    template <class Put>
    void escape(std::uint8_t byte, Put& put) {
        const char sequence[4] = {'\\', 'x', hex_digits_lower[byte >> 4],
                                  hex_digits_lower[byte & 0xF]};
        put(sequence, sizeof sequence);
    }

    template <class Put>
    std::size_t step(const std::uint8_t* bytes, std::size_t count, bool final, Put& put);

    EscapeRules rules_;
    std::uint8_t held_[4] = {};
    std::size_t held_count_ = 0;
};

// `bytes` as a message on standard error shows them: every C0 control and DEL escaped, tab and
// newline included (a message is one line); a backslash too on POSIX (Windows paths are full of
// them and hold no control bytes); and the C1 controls when standard error is a terminal.
std::string shown_in_message(std::string_view bytes);

// `bytes` escaped by `rules`, whole.
std::string escaped(std::string_view bytes, EscapeRules rules);

// --- implementation of the templates ---

template <class Put>
std::size_t Escaper::step(const std::uint8_t* bytes, std::size_t count, bool final, Put& put) {
    const std::uint8_t byte = bytes[0];
    if (byte < 0x80) {
        const bool layout = byte == '\t' || byte == '\n';
        if ((byte < 0x20 && !(layout && rules_.keep_layout)) || byte == 0x7F ||
            (byte == '\\' && rules_.backslash)) {
            if (byte == '\\') {
                put("\\\\", 2);
            } else {
                escape(byte, put);
            }
            return 1;
        }
        std::size_t run = 1;
        while (run < count && bytes[run] < 0x80 && bytes[run] >= 0x20 && bytes[run] != 0x7F &&
               !(bytes[run] == '\\' && rules_.backslash)) {
            ++run;
        }
        put(reinterpret_cast<const char*>(bytes), run);
        return run;
    }
    if (!rules_.c1) {
        put(reinterpret_cast<const char*>(bytes), 1);
        return 1;
    }
    const int length = utf8_sequence_length(bytes, count);
    if (length < 0 && !final) {
        return 0;  // wait for the rest
    }
    if (length > 0) {
        if (byte == 0xC2 && bytes[1] <= 0x9F) {
            escape(bytes[0], put);
            escape(bytes[1], put);
        } else {
            put(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
        }
        return static_cast<std::size_t>(length);
    }
    if (byte <= 0x9F) {
        escape(byte, put);
    } else {
        put(reinterpret_cast<const char*>(bytes), 1);
    }
    return 1;
}

template <class Put>
void Escaper::feed(const std::uint8_t* bytes, std::size_t count, Put&& put) {
    if (held_count_ > 0) {
        // The held bytes (at most three) and up to four of this piece decide every sequence that
        // starts among the held ones.
        std::uint8_t joined[7];
        const std::size_t held = held_count_;
        const std::size_t borrowed = count < 4 ? count : 4;
        for (std::size_t i = 0; i < held; ++i) {
            joined[i] = held_[i];
        }
        for (std::size_t i = 0; i < borrowed; ++i) {
            joined[held + i] = bytes[i];
        }
        held_count_ = 0;
        std::size_t at = 0;
        while (at < held) {
            const std::size_t used = step(joined + at, held + borrowed - at, false, put);
            if (used == 0) {  // still cut off: this piece was all of it
                for (std::size_t i = at; i < held + borrowed; ++i) {
                    held_[held_count_++] = joined[i];
                }
                return;
            }
            at += used;
        }
        bytes += at - held;
        count -= at - held;
    }
    while (count > 0) {
        const std::size_t used = step(bytes, count, false, put);
        if (used == 0) {
            for (std::size_t i = 0; i < count; ++i) {
                held_[held_count_++] = bytes[i];
            }
            return;
        }
        bytes += used;
        count -= used;
    }
}

template <class Put>
void Escaper::finish(Put&& put) {
    for (std::size_t i = 0; i < held_count_;) {
        i += step(held_ + i, held_count_ - i, true, put);
    }
    held_count_ = 0;
}

}  // namespace platform
