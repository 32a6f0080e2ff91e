// What "looks like text" means, written as small automata over the 16 bytes of a block.
//
// This is the one definition. The fast classifier (text_evidence.cpp) is built from the same
// functions and must agree with classify_text_block_reference on every block; the tests check that
// agreement, and compute the exact chance that uniformly random bytes pass by dynamic programming
// over these very steps (which is why each is a tiny state machine rather than free-form code).
//
// A block passes when it reads as one of:
//   - UTF-8 (ASCII included): valid sequences of text characters, cut at either end; strong.
//   - UTF-16LE of an alphabetic script (Latin, Greek, Cyrillic, Hebrew, Arabic, Indic, ...);
//   strong.
//   - UTF-16LE where every unit is CJK (Han, kana) or every unit is Hangul, with common
//     punctuation; weak, since one random unit in three is a Han character.
//   - a single-byte code page: Latin pages with at most six upper bytes among prose ASCII;
//     Cyrillic and Greek pages with a word separator and Latin words set apart; weak.
// Every script may carry ASCII text characters, the common punctuation and, in UTF-16, emoji.
#pragma once

#include <cstddef>
#include <cstdint>

#include "verdict/code_pages.h"

namespace verdict {

enum class TextStrength : std::uint8_t { none, weak, strong };

namespace text_rules {

// Tab, line feed, carriage return and the printable ASCII characters; every other C0 control and
// DEL essentially never occur in text.
constexpr bool is_ascii_text(std::uint32_t c) noexcept {
    return c == 0x09 || c == 0x0A || c == 0x0D || (c >= 0x20 && c <= 0x7E);
}
constexpr bool is_ascii_letter(std::uint8_t b) noexcept {
    return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
}
constexpr bool is_separator(std::uint8_t b) noexcept {
    return b == ' ' || b == 0x09 || b == 0x0A || b == 0x0D;
}

// ---------------------------------------------------------------------------------------------
// UTF-8. The block may start inside a sequence (up to three continuation bytes whose lead lies in
// the block before) and end inside one, so every state but `dead` accepts. Code points must be
// text: no C0 control but tab, LF and CR, no DEL, no C1 control (C2 80..9F), and the usual
// validity (no overlong forms, no surrogates, nothing above U+10FFFF).
enum Utf8State : std::uint8_t {
    utf8_start0,  // nothing read yet
    utf8_start1,  // one leading continuation byte read
    utf8_start2,
    utf8_start3,
    utf8_ready,           // between characters
    utf8_need1,           // one continuation byte 80..BF to come
    utf8_need1_after_c2,  // after C2: A0..BF (80..9F would be a C1 control)
    utf8_need2,           // two to come, 80..BF first
    utf8_need2_after_e0,  // A0..BF first (no overlong form)
    utf8_need2_after_ed,  // 80..9F first (no surrogate)
    utf8_need3,           // three to come, 80..BF first
    utf8_need3_after_f0,  // 90..BF first (no overlong form)
    utf8_need3_after_f4,  // 80..8F first (nothing above U+10FFFF)
    utf8_dead,
};
inline constexpr int utf8_state_count = 14;

constexpr Utf8State utf8_step(Utf8State state, std::uint8_t b) noexcept {
    const bool continuation = b >= 0x80 && b <= 0xBF;
    switch (state) {
        case utf8_start0:
        case utf8_start1:
        case utf8_start2:
            if (continuation) {
                return static_cast<Utf8State>(state + 1);
            }
            break;
        case utf8_start3:
        case utf8_ready:
            break;
        case utf8_need1:
            return continuation ? utf8_ready : utf8_dead;
        case utf8_need1_after_c2:
            return b >= 0xA0 && b <= 0xBF ? utf8_ready : utf8_dead;
        case utf8_need2:
            return continuation ? utf8_need1 : utf8_dead;
        case utf8_need2_after_e0:
            return b >= 0xA0 && b <= 0xBF ? utf8_need1 : utf8_dead;
        case utf8_need2_after_ed:
            return b >= 0x80 && b <= 0x9F ? utf8_need1 : utf8_dead;
        case utf8_need3:
            return continuation ? utf8_need2 : utf8_dead;
        case utf8_need3_after_f0:
            return b >= 0x90 && b <= 0xBF ? utf8_need2 : utf8_dead;
        case utf8_need3_after_f4:
            return b >= 0x80 && b <= 0x8F ? utf8_need2 : utf8_dead;
        case utf8_dead:
            return utf8_dead;
    }
    // Between characters: a text ASCII character or the lead of a sequence.
    if (b < 0x80) {
        return is_ascii_text(b) ? utf8_ready : utf8_dead;
    }
    if (b == 0xC2) {
        return utf8_need1_after_c2;
    }
    if (b >= 0xC3 && b <= 0xDF) {
        return utf8_need1;
    }
    if (b == 0xE0) {
        return utf8_need2_after_e0;
    }
    if (b == 0xED) {
        return utf8_need2_after_ed;
    }
    if (b >= 0xE1 && b <= 0xEF) {
        return utf8_need2;
    }
    if (b == 0xF0) {
        return utf8_need3_after_f0;
    }
    if (b >= 0xF1 && b <= 0xF3) {
        return utf8_need3;
    }
    if (b == 0xF4) {
        return utf8_need3_after_f4;
    }
    return utf8_dead;  // continuation bytes out of place, C0, C1, F5..FF
}

// ---------------------------------------------------------------------------------------------
// Single-byte code pages. The lower half of every page is ASCII, of which prose uses letters,
// digits, separators and . , ; : ! ? ' " ( ) - /; an upper byte counts when the page puts a letter
// of the rule's script or a common punctuation mark there.
enum class Script : std::uint8_t { latin, cyrillic, greek };

struct ByteRule {
    const CodePage* page;
    Script script;
    std::uint8_t max_upper;  // upper bytes allowed in the block
    bool needs_separator;    // the block must hold a space, tab, LF or CR
    bool letters_apart;      // no ASCII letter touches a letter of the page's upper half
};

// Western text is mostly ASCII: six accented letters in sixteen bytes is already dense French or
// Portuguese. Cyrillic and Greek text is mostly upper bytes; a word ends somewhere in sixteen
// bytes, and a Latin word among them stands apart (a space, a hyphen, a guillemet between), where
// random bytes put ASCII and upper letters side by side. Both keep random bytes out (see the
// tests' rates) at no cost to real text.
inline constexpr std::uint8_t unlimited = 16;
inline constexpr ByteRule byte_rules[] = {
    {&code_page_windows_1252, Script::latin, 6, false, false},
    {&code_page_ibm437, Script::latin, 6, false, false},
    {&code_page_ibm850, Script::latin, 6, false, false},
    {&code_page_mac_roman, Script::latin, 6, false, false},
    {&code_page_windows_1251, Script::cyrillic, unlimited, true, true},
    {&code_page_koi8_r, Script::cyrillic, unlimited, true, true},
    {&code_page_windows_1253, Script::greek, unlimited, true, true},
};
inline constexpr int byte_rule_count = sizeof byte_rules / sizeof byte_rules[0];

constexpr bool contains(const char16_t* list, char32_t c) noexcept {
    for (; *list != 0; ++list) {
        if (*list == c) {
            return true;
        }
    }
    return false;
}

constexpr bool is_prose_ascii(std::uint8_t b) noexcept {
    return is_ascii_letter(b) || is_separator(b) || (b >= '0' && b <= '9') ||
           contains(u".,;:!?'\"()-/", b);
}

// No-break space, guillemets, dashes, curly quotes, ellipsis, the numero and euro signs.
inline constexpr char16_t common_punctuation[] =
    u"\u00A0\u00AB\u00BB\u2013\u2014\u2018\u2019\u201A"
    u"\u201C\u201D\u201E\u2026\u2116\u20AC";
// What Western pages add: ¡ £ § © ® ° · ¿, the bullet, single guillemets and the trade mark sign.
inline constexpr char16_t western_punctuation[] =
    u"\u00A1\u00A3\u00A7\u00A9\u00AE\u00B0\u00B7\u00BF"
    u"\u2022\u2039\u203A\u2122";

constexpr bool is_latin_letter(char32_t c) noexcept {
    return (c >= 0x00C0 && c <= 0x024F && c != 0x00D7 && c != 0x00F7) || c == 0x00AA || c == 0x00BA;
}

// An upper byte the page makes a letter of the rule's script.
constexpr bool is_upper_letter(const ByteRule& rule, std::uint8_t b) noexcept {
    if (b < 0x80) {
        return false;
    }
    const char32_t c = code_page_decode(*rule.page, b);
    switch (rule.script) {
        case Script::latin:
            return is_latin_letter(c);
        case Script::cyrillic:
            return c >= 0x0400 && c <= 0x04FF;
        case Script::greek:
            return c >= 0x0384 && c <= 0x03CE;
    }
    return false;
}

constexpr bool byte_allowed(const ByteRule& rule, std::uint8_t b) noexcept {
    if (b < 0x80) {
        return is_prose_ascii(b);
    }
    const char32_t c = code_page_decode(*rule.page, b);
    const bool punctuation = contains(common_punctuation, c) ||
                             (rule.script == Script::latin && contains(western_punctuation, c));
    return is_upper_letter(rule, b) || punctuation;
}

// The count saturates just past the largest finite limit, which is all the rules need to know.
struct ByteState {
    std::uint8_t upper = 0;               // upper bytes, up to 7
    bool separator = false;               // a separator has been read
    bool after_ascii_letter = false;      // the last byte was an ASCII letter
    std::uint8_t after_upper_letter = 0;  // by rule: the last byte was a letter of its page
    std::uint8_t alive = (1u << byte_rule_count) - 1;  // rules still satisfied
};

constexpr ByteState byte_step(ByteState s, std::uint8_t b) noexcept {
    if (b >= 0x80 && s.upper < 7) {
        ++s.upper;
    }
    s.separator = s.separator || is_separator(b);
    const bool ascii_letter = is_ascii_letter(b);
    std::uint8_t upper_letter = 0;
    for (int i = 0; i < byte_rule_count; ++i) {
        const ByteRule& rule = byte_rules[i];
        const bool letter = rule.letters_apart && is_upper_letter(rule, b);
        const bool touching =
            (letter && s.after_ascii_letter) || (ascii_letter && (s.after_upper_letter >> i & 1));
        if (s.upper > rule.max_upper || touching || !byte_allowed(rule, b)) {
            s.alive &= static_cast<std::uint8_t>(~(1u << i));
        }
        upper_letter |= static_cast<std::uint8_t>(letter ? 1u << i : 0);
    }
    s.after_ascii_letter = ascii_letter;
    s.after_upper_letter = upper_letter & s.alive;
    return s;
}

constexpr bool byte_accepts(const ByteState& s) noexcept {
    for (int i = 0; i < byte_rule_count; ++i) {
        if ((s.alive >> i & 1) && (s.separator || !byte_rules[i].needs_separator)) {
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// UTF-16LE, eight units a block (the text starts the payload, so units never straddle blocks).
// A unit's class holds the scripts it may belong to; a surrogate is neutral to the scripts and
// carries its own bit.
inline constexpr std::uint8_t unit_alphabetic = 1;
inline constexpr std::uint8_t unit_cjk = 2;
inline constexpr std::uint8_t unit_hangul = 4;
inline constexpr std::uint8_t unit_any_script = 7;
inline constexpr std::uint8_t unit_high_surrogate = 8;
inline constexpr std::uint8_t unit_low_surrogate = 16;

// The ranges of units and the classes they give; a unit's class is the union over the ranges that
// hold it.
struct UnitRange {
    std::uint16_t first, last;
    std::uint8_t cls;
};
inline constexpr UnitRange unit_ranges[] = {
    // High surrogates of planes 1 to 3 (emoji, historic scripts, rare Han); any low surrogate.
    {0xD800, 0xD8BF, unit_any_script | unit_high_surrogate},
    {0xDC00, 0xDFFF, unit_any_script | unit_low_surrogate},
    // Shared by every script: ASCII text, no-break space, guillemets, middle dot, general
    // punctuation, currency, letterlike symbols, arrows, symbols and dingbats, CJK punctuation,
    // variation selectors and the byte order mark.
    {0x0009, 0x000A, unit_any_script},
    {0x000D, 0x000D, unit_any_script},
    {0x0020, 0x007E, unit_any_script},
    {0x00A0, 0x00A0, unit_any_script},
    {0x00AB, 0x00AB, unit_any_script},
    {0x00B7, 0x00B7, unit_any_script},
    {0x00BB, 0x00BB, unit_any_script},
    {0x2000, 0x206F, unit_any_script},
    {0x20A0, 0x20CF, unit_any_script},
    {0x2100, 0x214F, unit_any_script},
    {0x2190, 0x21FF, unit_any_script},
    {0x2600, 0x27BF, unit_any_script},
    {0x3000, 0x303F, unit_any_script},
    {0xFE00, 0xFE0F, unit_any_script},
    {0xFEFF, 0xFEFF, unit_any_script},
    // Latin-1 Supplement to Greek Extended (Latin, combining marks, Greek, Cyrillic, Armenian,
    // Hebrew, Arabic, the Indic scripts, Thai, Georgian, ...), Latin Extended-C and -D,
    // Cyrillic Extended-B, and the presentation forms of Latin, Hebrew and Arabic.
    {0x00A0, 0x1FFF, unit_alphabetic},
    {0x2C60, 0x2C7F, unit_alphabetic},
    {0xA640, 0xA69F, unit_alphabetic},
    {0xA720, 0xA7FF, unit_alphabetic},
    {0xFB00, 0xFDFF, unit_alphabetic},
    {0xFE70, 0xFEFE, unit_alphabetic},
    // Kana, the unified Han ideographs, fullwidth and halfwidth forms.
    {0x3040, 0x30FF, unit_cjk},
    {0x31F0, 0x31FF, unit_cjk},
    {0x4E00, 0x9FFF, unit_cjk},
    {0xFF00, 0xFFEF, unit_cjk},
    // Hangul syllables and jamo.
    {0xAC00, 0xD7A3, unit_hangul},
    {0x1100, 0x11FF, unit_hangul},
    {0x3130, 0x318F, unit_hangul},
};

constexpr std::uint8_t unit_class(std::uint16_t u) noexcept {
    std::uint8_t c = 0;
    for (const UnitRange& r : unit_ranges) {
        c |= u >= r.first && u <= r.last ? r.cls : 0;
    }
    return c;
}

// A low surrogate may stand first (its high half ended the block before) or after a high one; a
// high surrogate may stand last or before a low one.
struct UnitState {
    std::uint8_t scripts = unit_any_script;  // 0: dead
    bool started = false;                    // a unit has been read
    bool pending_high = false;               // the last unit was a high surrogate
};

constexpr UnitState unit_step(UnitState s, std::uint16_t u) noexcept {
    const std::uint8_t c = unit_class(u);
    const bool low = (c & unit_low_surrogate) != 0;
    const bool paired = low ? s.pending_high || !s.started : !s.pending_high;
    if (!paired) {
        s.scripts = 0;
    }
    s.pending_high = (c & unit_high_surrogate) != 0;
    s.started = true;
    s.scripts &= c & unit_any_script;
    return s;
}

constexpr TextStrength unit_strength(const UnitState& s) noexcept {
    if (s.scripts & unit_alphabetic) {
        return TextStrength::strong;
    }
    return s.scripts != 0 ? TextStrength::weak : TextStrength::none;
}

// ---------------------------------------------------------------------------------------------
// The whole judgement of one block, step by step: the definition the fast classifier must match.
constexpr TextStrength classify_text_block_reference(const std::uint8_t block[16]) noexcept {
    Utf8State utf8 = utf8_start0;
    ByteState bytes;
    UnitState units;
    for (int i = 0; i < 16; ++i) {
        utf8 = utf8_step(utf8, block[i]);
        bytes = byte_step(bytes, block[i]);
    }
    for (int i = 0; i < 8; ++i) {
        units = unit_step(units, static_cast<std::uint16_t>(block[2 * i] | block[2 * i + 1] << 8));
    }
    const TextStrength wide = unit_strength(units);
    if (utf8 != utf8_dead || wide == TextStrength::strong) {
        return TextStrength::strong;
    }
    return byte_accepts(bytes) ? TextStrength::weak : wide;
}

}  // namespace text_rules
}  // namespace verdict
