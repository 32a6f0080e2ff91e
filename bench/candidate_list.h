// The list and the note that the candidate benchmarks share, made the same way by each program so
// that the search and the reference loop try the same bytes.
#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "testkit/note_builder.h"

namespace benchlist {

inline const std::string password = "Tr0ub4dor&3";

// `count` lines of 6 to 14 random printable bytes, LF after each; with `password_last` the last of
// them is the note's password.
inline std::string make_list(std::uint64_t count, bool password_last) {
    std::mt19937_64 random(20260512);
    std::string list;
    list.reserve(static_cast<std::size_t>(count) * 11);
    for (std::uint64_t i = 0; i + (password_last ? 1 : 0) < count; ++i) {
        const std::size_t length = 6 + random() % 9;
        for (std::size_t k = 0; k < length; ++k) {
            list += static_cast<char>(0x21 + random() % 94);
        }
        list += '\n';
    }
    if (password_last) {
        list += password + "\n";
    }
    return list;
}

// A note of 200 bytes of text (208 of ciphertext), sealed by the testkit.
inline std::string make_note() {
    testsupport::Note note;
    note.password = password;
    note.text.clear();
    std::mt19937 random(7);
    for (int i = 0; i < 200; ++i) {
        note.text += static_cast<char>(0x20 + random() % 95);
    }
    return testsupport::build_note(note);
}

}  // namespace benchlist
