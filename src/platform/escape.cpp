#include "platform/escape.h"

#include "platform/terminal.h"

namespace platform {

int Escaper::sequence_length(const std::uint8_t* bytes, std::size_t count) noexcept {
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
        if (static_cast<std::size_t>(i) >= count) {
            return -1;
        }
        const std::uint8_t byte = bytes[i];
        if (byte < (i == 1 ? low : 0x80) || byte > (i == 1 ? high : 0xBF)) {
            return 0;
        }
    }
    return length;
}

std::string escaped(std::string_view bytes, EscapeRules rules) {
    std::string text;
    text.reserve(bytes.size());
    const auto put = [&text](const char* run, std::size_t n) { text.append(run, n); };
    Escaper escaper(rules);
    escaper.feed(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), put);
    escaper.finish(put);
    return text;
}

std::string shown_in_message(std::string_view bytes) {
    static const bool terminal = is_terminal(StandardStream::error);
#ifdef _WIN32
    constexpr bool backslash = false;
#else
    constexpr bool backslash = true;
#endif
    return escaped(bytes, {.keep_layout = false, .c1 = terminal, .backslash = backslash});
}

}  // namespace platform
