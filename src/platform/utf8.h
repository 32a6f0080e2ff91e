// UTF-8 as the escaper and the JSON writer read it: a valid sequence is left whole, anything else
// is taken a byte at a time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// The length of the valid UTF-8 sequence that starts at `bytes` (`available` > 0 bytes there, the
// first 0x80 or above): 2 to 4; 0 when it is none (a continuation byte, an overlong form, a
// surrogate, past U+10FFFF); -1 when the bytes there begin one but stop before its end.
constexpr int utf8_sequence_length(const std::uint8_t* bytes, std::size_t available) noexcept {
    const std::uint8_t lead = bytes[0];
    int length = 0;
    std::uint8_t low = 0x80;  // the range of the second byte, narrower after some leads
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    for (int i = 1; i < length; ++i) {
        if (static_cast<std::size_t>(i) >= available) {
            return -1;
        }
        const std::uint8_t byte = bytes[i];
        if (byte < (i == 1 ? low : 0x80) || byte > (i == 1 ? high : 0xBF)) {
            return 0;
        }
    }
    return length;
}

}  // namespace platform
