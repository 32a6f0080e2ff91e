// The escaper: what each rule shows as \xHH, and the same bytes whatever pieces they arrive in (a
// UTF-8 sequence cut between two pieces is judged whole).
#include <gtest/gtest.h>

#include <string>

#include "platform/escape.h"

namespace {

using platform::EscapeRules;

struct Case {
    std::string in;
    EscapeRules rules;
    std::string out;
};

const EscapeRules text{.keep_layout = true, .c1 = true, .backslash = true};
const EscapeRules path{.keep_layout = false, .c1 = false, .backslash = true};

const Case cases[] = {
    {"plain text", text, "plain text"},
    {"tab\tand\nnewline kept", text, "tab\tand\nnewline kept"},
    {"tab\tand\nnewline escaped", path, "tab\\x09and\\x0anewline escaped"},
    {std::string("nul\0esc\x1b del\x7f", 13), text, "nul\\x00esc\\x1b del\\x7f"},
    {"back\\slash", text, "back\\\\slash"},
    {"back\\slash", {.keep_layout = true}, "back\\slash"},
    // U+009B (CSI) in UTF-8, and a stray 0x9B, are C1 controls; Cyrillic and a CJK character
    // hold such bytes as continuation bytes and pass.
    {"csi\xc2\x9b stray\x9b \xd0\x9f\xd1\x80\xd0\xb8 \xe7\x8e\xbb", text,
     "csi\\xc2\\x9b stray\\x9b \xd0\x9f\xd1\x80\xd0\xb8 \xe7\x8e\xbb"},
    {"csi\xc2\x9b stray\x9b", path, "csi\xc2\x9b stray\x9b"},
    // Not UTF-8: an overlong form, a surrogate, a lone lead byte at the end.
    {"\xc0\x80 \xed\xa0\x80 \xe2\x82", text, "\xc0\\x80 \xed\xa0\\x80 \xe2\\x82"},
};

TEST(Escaper, EscapesWhatTheRulesNameInAnyPieces) {
    for (const Case& c : cases) {
        EXPECT_EQ(platform::escaped(c.in, c.rules), c.out) << c.in;
        // Cut in two at every place, and byte by byte.
        for (std::size_t cut = 0; cut <= c.in.size(); ++cut) {
            std::string out;
            const auto put = [&out](const char* run, std::size_t n) { out.append(run, n); };
            platform::Escaper escaper(c.rules);
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(c.in.data());
            escaper.feed(bytes, cut, put);
            escaper.feed(bytes + cut, c.in.size() - cut, put);
            escaper.finish(put);
            EXPECT_EQ(out, c.out) << "cut at " << cut;
        }
        std::string out;
        const auto put = [&out](const char* run, std::size_t n) { out.append(run, n); };
        platform::Escaper escaper(c.rules);
        for (const char byte : c.in) {
            escaper.feed(reinterpret_cast<const std::uint8_t*>(&byte), 1, put);
        }
        escaper.finish(put);
        EXPECT_EQ(out, c.out) << "byte by byte";
    }
}

}  // namespace
