#include "platform/escape.h"

#include "platform/terminal.h"

namespace platform {

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
