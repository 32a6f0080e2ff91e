#include "verdict/text_evidence.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/check.h"
#include "platform/cpu.h"

#if NOTEDIAG_X86_PATHS
#include <immintrin.h>
#endif

namespace verdict {
namespace {

using namespace text_rules;

// The judge runs on every block of the payload, and a wrong key makes every block random, so the
// common cases are settled first and cheaply: ASCII text by two words (or one vector), random
// bytes by a control byte (which rules out UTF-8 and the code pages) and the high bytes of the
// UTF-16 units. Everything here must classify exactly as classify_text_block_reference does.

// ---------------------------------------------------------------------------------------------
// Byte tables. Every byte adds its counts to one 64-bit word of 5-bit fields; sixteen bytes add at
// most 16 to a field, so no field carries into the next, and one load and one addition per byte
// answer what the single-byte rules ask.
constexpr int upper_field = 0;       // byte >= 0x80
constexpr int separator_field = 1;   // space, tab, LF, CR
constexpr int first_rule_field = 2;  // one per byte rule: the byte is not allowed by it
static_assert(first_rule_field + byte_rule_count <= 12, "5-bit fields in 64 bits");
constexpr std::uint8_t ascii_letter_bit = 0x80;  // in `letters`; bit i: a letter of rule i's page
static_assert(byte_rule_count <= 7, "a bit per rule beside the ASCII letter bit");

constexpr std::uint64_t ones = 0x0101010101010101;  // one in every byte
constexpr std::uint64_t high = 0x80 * ones;

constexpr std::uint64_t field(int f) noexcept {
    return std::uint64_t{1} << (5 * f);
}
constexpr unsigned count(std::uint64_t sums, int f) noexcept {
    return static_cast<unsigned>(sums >> (5 * f)) & 31;
}

// UTF-8 as a shift automaton over the states from utf8_ready on (the start states are handled
// apart, below): field i of row b, six bits wide, holds 6 x the state after b in state i, so the
// state is its own shift and a step is a shift and a mask.
constexpr int first_fast_state = utf8_ready;
constexpr int fast_state_count = utf8_state_count - first_fast_state;
static_assert(fast_state_count * 6 <= 64, "ten states of six bits");
constexpr unsigned fast(Utf8State s) noexcept {
    return 6u * (s - first_fast_state);
}

struct ByteTables {
    std::uint64_t sums[256];
    std::uint64_t utf8_rows[256];
    // For the rules that keep Latin words apart: what kind of letter the byte is.
    std::uint8_t letters[256];
    unsigned latin_rules;      // rules with a limit on upper bytes
    unsigned separator_rules;  // rules that need a separator
    unsigned apart_rules;      // rules that keep letters apart
};

constexpr ByteTables make_byte_tables() {
    ByteTables t{};
    for (int v = 0; v < 256; ++v) {
        const auto b = static_cast<std::uint8_t>(v);
        std::uint64_t sums = 0;
        sums += b >= 0x80 ? field(upper_field) : 0;
        sums += is_separator(b) ? field(separator_field) : 0;
        std::uint8_t letters = is_ascii_letter(b) ? ascii_letter_bit : 0;
        for (int i = 0; i < byte_rule_count; ++i) {
            const ByteRule& rule = byte_rules[i];
            sums += byte_allowed(rule, b) ? 0 : field(first_rule_field + i);
            const bool letter = rule.letters_apart && is_upper_letter(rule, b);
            letters |= static_cast<std::uint8_t>(letter ? 1u << i : 0);
        }
        t.sums[v] = sums;
        t.letters[v] = letters;
        std::uint64_t row = 0;
        for (int s = first_fast_state; s < utf8_state_count; ++s) {
            const Utf8State next = utf8_step(static_cast<Utf8State>(s), b);
            row |= std::uint64_t{fast(next)} << fast(static_cast<Utf8State>(s));
        }
        t.utf8_rows[v] = row;
    }
    for (int i = 0; i < byte_rule_count; ++i) {
        t.latin_rules |= byte_rules[i].max_upper < unlimited ? 1u << i : 0;
        t.separator_rules |= byte_rules[i].needs_separator ? 1u << i : 0;
        t.apart_rules |= byte_rules[i].letters_apart ? 1u << i : 0;
    }
    return t;
}
constexpr ByteTables byte_tables = make_byte_tables();

// Continuation bytes still owed, by fast state.
constexpr std::uint8_t owed[fast_state_count] = {0, 1, 1, 2, 2, 2, 3, 3, 3, 0};
static_assert(utf8_need1 - first_fast_state == 1 && utf8_need3_after_f4 - first_fast_state == 8);

constexpr unsigned fast_step(unsigned state, std::uint8_t b) noexcept {
    return static_cast<unsigned>(byte_tables.utf8_rows[b] >> state) & 63;
}

// 1 for a continuation byte (80..BF), else 0.
constexpr unsigned continuation(std::uint8_t b) noexcept {
    return (b & 0xC0u) == 0x80u;
}

// Both halves of the block at once, each from `ready`: a half opens with at most three
// continuation bytes whose lead lies before it, stepped over as 'a' (which leaves `ready` as it
// is); a sequence the first half leaves open must be closed by exactly the continuation bytes the
// second opens with, the first of them in the range the open lead asks for. That is the
// automaton of text_rules.h over all sixteen bytes, as two independent chains of eight steps,
// written out so that no branch depends on the bytes.
bool utf8_valid(const std::uint8_t* b) noexcept {
    unsigned skip[2][3];
    for (int h = 0; h < 2; ++h) {
        const std::uint8_t* half = b + 8 * h;
        skip[h][0] = continuation(half[0]);
        skip[h][1] = skip[h][0] & continuation(half[1]);
        skip[h][2] = skip[h][1] & continuation(half[2]);
    }
    const unsigned leading = skip[1][0] + skip[1][1] + skip[1][2];  // what the second half closes
    const auto opening = [&](int h, int i) {
        const std::uint8_t x = b[8 * h + i];
        return static_cast<std::uint8_t>(x ^ ((x ^ 'a') & (0u - skip[h][i])));
    };
    unsigned first = fast(utf8_ready);
    unsigned second = fast(utf8_ready);
    first = fast_step(first, opening(0, 0));
    second = fast_step(second, opening(1, 0));
    first = fast_step(first, opening(0, 1));
    second = fast_step(second, opening(1, 1));
    first = fast_step(first, opening(0, 2));
    second = fast_step(second, opening(1, 2));
    first = fast_step(first, b[3]);
    second = fast_step(second, b[11]);
    first = fast_step(first, b[4]);
    second = fast_step(second, b[12]);
    first = fast_step(first, b[5]);
    second = fast_step(second, b[13]);
    first = fast_step(first, b[6]);
    second = fast_step(second, b[14]);
    first = fast_step(first, b[7]);
    second = fast_step(second, b[15]);
    const unsigned dead = fast(utf8_dead);
    return first != dead && second != dead && owed[first / 6] == leading &&
           (leading == 0 || fast_step(first, b[8]) != dead);
}

// The rules whose pages put a letter right beside an ASCII letter somewhere in the block: the
// letter kinds of the sixteen bytes, eight to a word, each set against its right-hand neighbour
// (the first byte of the next word for the last of the first).
unsigned touching_letters(const std::uint8_t* b) noexcept {
    std::uint64_t kinds[2] = {0, 0};
    for (int i = 0; i < 16; ++i) {
        kinds[i / 8] |= std::uint64_t{byte_tables.letters[b[i]]} << (8 * (i % 8));
    }
    constexpr std::uint64_t ascii = ones * ascii_letter_bit;
    std::uint64_t touching = 0;
    for (int k = 0; k < 2; ++k) {
        const std::uint64_t left = kinds[k];
        const std::uint64_t right = left >> 8 | (k == 0 ? kinds[1] << 56 : 0);
        const std::uint64_t left_ascii = (left & ascii) >> 7;  // 1 where an ASCII letter
        const std::uint64_t right_ascii = (right & ascii) >> 7;
        // An ASCII letter's byte times 0x7F keeps its neighbour's page bits; both ways round.
        touching |= (left_ascii * 0x7F & right) | (right_ascii * 0x7F & left);
    }
    touching &= ~ascii;
    touching |= touching >> 32;
    touching |= touching >> 16;
    touching |= touching >> 8;
    return static_cast<unsigned>(touching & 0x7F);
}

std::uint64_t byte_sums(const std::uint8_t* b) noexcept {
    std::uint64_t even = 0;
    std::uint64_t odd = 0;
    for (int i = 0; i < 16; i += 2) {
        even += byte_tables.sums[b[i]];
        odd += byte_tables.sums[b[i + 1]];
    }
    return even + odd;
}

bool byte_rules_accept(const std::uint8_t* b, std::uint64_t sums) noexcept {
    // Bit 0 of each rule's field, once every bit of the field is folded into it: not allowed.
    std::uint64_t folded = sums | sums >> 1 | sums >> 2 | sums >> 3 | sums >> 4;
    unsigned alive = 0;
    for (int i = 0; i < byte_rule_count; ++i) {
        alive |= (folded >> (5 * (first_rule_field + i)) & 1) == 0 ? 1u << i : 0;
    }
    if (count(sums, upper_field) > 6) {
        alive &= ~byte_tables.latin_rules;
    }
    if (count(sums, separator_field) == 0) {
        alive &= ~byte_tables.separator_rules;
    }
    if (alive & byte_tables.apart_rules) {
        alive &= ~touching_letters(b);
    }
    return alive != 0;
}
static_assert(byte_rules[0].max_upper == 6 && byte_rules[1].max_upper == 6 &&
                  byte_rules[2].max_upper == 6 && byte_rules[3].max_upper == 6,
              "byte_rules_accept knows one limit on upper bytes");

// ---------------------------------------------------------------------------------------------
// What the lower half says, eight bytes at a time: whether any byte is 0x80 or above, and whether
// any byte below 0x80 may be a control (below 0x20, or 0x7F). Additions on the low seven bits of
// each byte never carry into the next byte.
// Only answers leave these functions; the bytes stay in registers, never in a copy of the block.
struct Words {
    bool upper;
    bool suspect;
};

Words scan_words(const std::uint8_t* b) noexcept {
    std::uint64_t upper = 0;
    std::uint64_t suspect = 0;
    for (int i = 0; i < 2; ++i) {
        std::uint64_t w;
        std::memcpy(&w, b + 8 * i, 8);
        const std::uint64_t low = w & ~high;
        upper |= w;
        // Below 0x20: adding 0x60 leaves the top bit clear; 0x7F: adding 1 sets it.
        suspect |= (~(low + 0x60 * ones) | (low + ones)) & ~w & high;
    }
    return {(upper & high) != 0, suspect != 0};
}

// Whether a byte below 0x80 is neither printable nor tab, LF or CR.
bool has_controls(const std::uint8_t* b) noexcept {
    std::uint64_t controls = 0;
    for (int i = 0; i < 2; ++i) {
        std::uint64_t w;
        std::memcpy(&w, b + 8 * i, 8);
        const std::uint64_t low = w & ~high;
        const auto equal = [low](std::uint64_t c) {
            return ~((low ^ (c * ones)) + 0x7F * ones) & high;
        };
        const std::uint64_t text =
            ((low + 0x60 * ones) & ~(low + ones)) | equal(0x09) | equal(0x0A) | equal(0x0D);
        controls |= ~w & ~text & high;
    }
    return controls != 0;
}

// ---------------------------------------------------------------------------------------------
// A loose first look at UTF-16 for the vector path: the high byte of a unit is classified by its
// two halves, each bit of the class standing for a rectangle of high halves x low halves, and each
// script takes the rectangles that cover the high bytes its units may have. make_unit_tables
// asserts the cover; a random block gets through about one time in five hundred.
struct HighByteRectangles {
    char by_high_half[16];
    char by_low_half[16];
    std::uint8_t scripts[3];  // the rectangles of the alphabetic, CJK and Hangul scripts
};

constexpr HighByteRectangles high_byte_rectangles() {
    // Bit: high halves x low halves, in hexadecimal digits.
    const char* shape[8][2] = {
        {"01", "0123456789ABCDEF"},      // 00-1F
        {"0", "0"},                      // 00
        {"23", "0167C"},                 // 20 21 26 27 2C, 30 31 36 37 3C
        {"456789", "0123456789ABCDEF"},  // 40-9F
        {"D", "8CDEF"},                  // surrogates D8, DC-DF
        {"F", "BCDEF"},                  // FB-FF
        {"ABCD", "0123456789ABCDEF"},    // A0-DF
        {"1A", "167"},                   // 11 16 17, A1 A6 A7
    };
    const auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'A' + 10; };
    HighByteRectangles r{};
    for (int bit = 0; bit < 8; ++bit) {
        for (const char* h = shape[bit][0]; *h != 0; ++h) {
            r.by_high_half[digit(*h)] = static_cast<char>(r.by_high_half[digit(*h)] | 1 << bit);
        }
        for (const char* l = shape[bit][1]; *l != 0; ++l) {
            r.by_low_half[digit(*l)] = static_cast<char>(r.by_low_half[digit(*l)] | 1 << bit);
        }
    }
    r.scripts[0] = 0b10110101;  // alphabetic: 00-1F, 2x/3x, surrogates, FB-FF, A1 A6 A7
    r.scripts[1] = 0b00111110;  // CJK: 00, 2x/3x, 40-9F, surrogates, FB-FF
    r.scripts[2] = 0b11110110;  // Hangul: 00, 2x/3x, surrogates, FB-FF, A0-DF, 11
    return r;
}
constexpr HighByteRectangles rectangles = high_byte_rectangles();

// ---------------------------------------------------------------------------------------------
// Unit tables: the class of a UTF-16 unit is rows[row_of[high byte]][low byte]. High bytes whose
// 256 units share one class share a row, so the rows fit in a few KiB and every unit costs two
// loads, without a branch on the data.
constexpr int max_unit_rows = 48;

struct UnitTables {
    std::uint8_t row_of[256];
    std::uint8_t rows[max_unit_rows][256];
    // By high byte: the scripts of any unit with that high byte; one load per unit rules out
    // nearly every random block before the exact classes are looked up.
    std::uint8_t scripts_of_high[256];

    std::uint8_t operator()(const std::uint8_t* unit) const noexcept {
        return rows[row_of[unit[1]]][unit[0]];
    }
};

// A high byte whose units all fall in the same ranges shares one row with every other such high
// byte of the same class; only the few high bytes a range starts or ends within get rows of their
// own. Built by the compiler.
constexpr UnitTables make_unit_tables() {
    UnitTables t{};
    bool row_uniform[max_unit_rows] = {};
    int used = 0;
    for (int high = 0; high < 256; ++high) {
        const int first = high << 8;
        const int last = first | 0xFF;
        bool uniform = true;
        std::uint8_t whole = 0;
        std::uint8_t scripts = 0;
        for (const UnitRange& r : unit_ranges) {
            if (r.last < first || r.first > last) {
                continue;
            }
            scripts |= r.cls & unit_any_script;
            if (r.first <= first && r.last >= last) {
                whole |= r.cls;
            } else {
                uniform = false;
            }
        }
        int found = used;
        for (int k = 0; uniform && k < used; ++k) {
            if (row_uniform[k] && t.rows[k][0] == whole) {
                found = k;
            }
        }
        if (found == used) {
            NOTEDIAG_ASSERT(used < max_unit_rows);
            for (int low = 0; low < 256; ++low) {
                t.rows[used][low] = whole;
            }
            for (const UnitRange& r : unit_ranges) {
                for (int u = std::max<int>(r.first, first);
                     !uniform && u <= std::min<int>(r.last, last); ++u) {
                    t.rows[used][u & 0xFF] |= r.cls;
                }
            }
            row_uniform[used++] = uniform;
        }
        t.row_of[high] = static_cast<std::uint8_t>(found);
        t.scripts_of_high[high] = scripts;
    }
    return t;
}
constexpr UnitTables unit_tables_data = make_unit_tables();

constexpr const UnitTables& unit_tables() {
    return unit_tables_data;
}

// The rectangles of each script cover every high byte its units may have.
constexpr bool rectangles_cover_scripts() {
    for (int high = 0; high < 256; ++high) {
        const unsigned cls = static_cast<unsigned>(rectangles.by_high_half[high >> 4] &
                                                   rectangles.by_low_half[high & 15]);
        for (int k = 0; k < 3; ++k) {
            if ((unit_tables_data.scripts_of_high[high] >> k & 1) &&
                (cls & rectangles.scripts[k]) == 0) {
                return false;
            }
        }
    }
    return true;
}
static_assert(rectangles_cover_scripts());

// Whether every unit's high byte admits a common script: one load per unit, and nearly every
// random block is out.
inline bool utf16_possible(const std::uint8_t* b, const UnitTables& unit) noexcept {
    const std::uint8_t* h = unit.scripts_of_high;
    return (h[b[1]] & h[b[3]] & h[b[5]] & h[b[7]] & h[b[9]] & h[b[11]] & h[b[13]] & h[b[15]]) != 0;
}

TextStrength utf16_exact(const std::uint8_t* b, const UnitTables& unit) noexcept {
    std::uint8_t all = 0xFF;
    std::uint8_t any = 0;
    for (int i = 0; i < 16; i += 2) {
        all &= unit(b + i);
        any |= unit(b + i);
    }
    if ((all & unit_any_script) == 0) {
        return TextStrength::none;
    }
    if (any & (unit_high_surrogate | unit_low_surrogate)) {
        // Surrogates must pair up; rare enough to walk the units one by one.
        UnitState s;
        for (int i = 0; i < 8; ++i) {
            s = unit_step(s, static_cast<std::uint16_t>(b[2 * i] | b[2 * i + 1] << 8));
        }
        return unit_strength(s);
    }
    return (all & unit_alphabetic) ? TextStrength::strong : TextStrength::weak;
}

inline TextStrength utf16_strength(const std::uint8_t* b, const UnitTables& unit) noexcept {
    return utf16_possible(b, unit) ? utf16_exact(b, unit) : TextStrength::none;
}

// The portable path: the word tests, then UTF-8, UTF-16 and the code pages in turn.
void classify_blocks_portable(const std::uint8_t* bytes, std::size_t blocks, TextStrength* out,
                              const UnitTables& units) noexcept {
    for (std::size_t i = 0; i < blocks; ++i) {
        const std::uint8_t* b = bytes + 16 * i;
        const Words words = scan_words(b);
        const bool controls = words.suspect && has_controls(b);
        if (!words.upper && !controls) {
            out[i] = TextStrength::strong;  // ASCII text
        } else if (controls) {
            out[i] = utf16_strength(b, units);  // nothing else allows a control
        } else if (utf8_valid(b)) {
            out[i] = TextStrength::strong;
        } else if (const TextStrength wide = utf16_strength(b, units); wide != TextStrength::none) {
            out[i] = wide;  // weak text in UTF-16 is as much as the code pages could show
        } else {
            out[i] = byte_rules_accept(b, byte_sums(b)) ? TextStrength::weak : TextStrength::none;
        }
    }
}

#if NOTEDIAG_X86_PATHS
constexpr unsigned bit_count(unsigned x) noexcept {
    x = x - ((x >> 1) & 0x5555);
    x = (x & 0x3333) + ((x >> 2) & 0x3333);
    x = (x + (x >> 4)) & 0x0F0F;
    return (x + (x >> 8)) & 0x1F;
}
static_assert(bit_count(0xFFFF) == 16 && bit_count(0x8421) == 4);

// UTF-8 over one vector, by three table lookups on each pair of neighbouring bytes (the high and
// low half of the first, the high half of the second), each giving the faults the pair may show;
// a fault stands where all three agree (the method Keiser and Lemire published in 2021). Two
// continuation bytes in a row must be owed by a lead two or three bytes before. The bytes before
// the block count as ASCII, and the faults of its opening continuation bytes (at most three) are
// then taken back. What the automaton of text_rules.h adds to UTF-8 is checked beside: no C1
// control (C2 80..9F), and no byte that never occurs (C0, C1, F5..FF) even where nothing follows it
// in the block.
[[gnu::target("ssse3")]] inline bool utf8_valid_ssse3(__m128i v, unsigned cont) noexcept {
    constexpr char too_short = 1 << 0;            // a lead or ASCII where a continuation is owed
    constexpr char too_long = 1 << 1;             // a continuation after ASCII
    constexpr char overlong_3 = 1 << 2;           // E0 80..9F
    constexpr char too_large = 1 << 3;            // F4 90..BF, F5..
    constexpr char surrogate = 1 << 4;            // ED A0..BF
    constexpr char overlong_2 = 1 << 5;           // C0, C1
    constexpr char large_or_overlong_4 = 1 << 6;  // F5.. 80..8F, F0 80..8F
    constexpr char two_conts = static_cast<char>(1 << 7);  // owed, or not, by an earlier lead
    constexpr char carry = too_short | too_long | two_conts;
    const __m128i zero = _mm_setzero_si128();
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i prev1 = _mm_alignr_epi8(v, zero, 15);
    const __m128i first_high = _mm_shuffle_epi8(
        _mm_setr_epi8(too_long, too_long, too_long, too_long, too_long, too_long, too_long,
                      too_long, two_conts, two_conts, two_conts, two_conts, too_short | overlong_2,
                      too_short, too_short | overlong_3 | surrogate,
                      too_short | too_large | large_or_overlong_4),
        _mm_and_si128(_mm_srli_epi16(prev1, 4), nibble));
    const char large = carry | too_large | large_or_overlong_4;
    const __m128i first_low = _mm_shuffle_epi8(
        _mm_setr_epi8(carry | overlong_3 | overlong_2 | large_or_overlong_4, carry | overlong_2,
                      carry, carry, carry | too_large, large, large, large, large, large, large,
                      large, large, large | surrogate, large, large),
        _mm_and_si128(prev1, nibble));
    const char cont_faults = too_long | overlong_2 | two_conts;
    const __m128i second_high = _mm_shuffle_epi8(
        _mm_setr_epi8(too_short, too_short, too_short, too_short, too_short, too_short, too_short,
                      too_short, cont_faults | overlong_3 | large_or_overlong_4,
                      cont_faults | overlong_3 | too_large, cont_faults | surrogate | too_large,
                      cont_faults | surrogate | too_large, too_short, too_short, too_short,
                      too_short),
        _mm_and_si128(_mm_srli_epi16(v, 4), nibble));
    const __m128i pairs = _mm_and_si128(_mm_and_si128(first_high, first_low), second_high);
    // Only 111_____ two back or 1111____ three back stay at 0x80 or above.
    const __m128i owed = _mm_or_si128(
        _mm_subs_epu8(_mm_alignr_epi8(v, zero, 14), _mm_set1_epi8(static_cast<char>(0xE0 - 0x80))),
        _mm_subs_epu8(_mm_alignr_epi8(v, zero, 13), _mm_set1_epi8(static_cast<char>(0xF0 - 0x80))));
    __m128i faults = _mm_xor_si128(_mm_and_si128(owed, _mm_set1_epi8(two_conts)), pairs);
    // C2 80..9F, and the bytes UTF-8 never uses.
    const __m128i c1 =
        _mm_and_si128(_mm_cmpeq_epi8(prev1, _mm_set1_epi8(static_cast<char>(0xC2))),
                      _mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(static_cast<char>(0xE0))),
                                     _mm_set1_epi8(static_cast<char>(0x80))));
    const __m128i c0_c1 = _mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(static_cast<char>(0xFE))),
                                         _mm_set1_epi8(static_cast<char>(0xC0)));
    const __m128i up_to_f4 =
        _mm_cmpeq_epi8(_mm_subs_epu8(v, _mm_set1_epi8(static_cast<char>(0xF4))), zero);
    faults = _mm_or_si128(_mm_or_si128(faults, c1), _mm_andnot_si128(up_to_f4, _mm_set1_epi8(1)));
    faults = _mm_or_si128(faults, c0_c1);
    const unsigned fault_mask =
        ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(faults, zero))) & 0xFFFF;
    const unsigned opening = cont & ~(cont + 1) & 7;  // the first continuation bytes, at most 3
    return (fault_mask & ~opening) == 0;
}

// The single-byte rules over one vector. A set of byte values is a bitmap of sixteen bytes: entry
// l holds bit h - 8 for each upper byte 0xhl in the set (or bit h for a lower byte 0xhl, in the
// prose bitmap), so one shuffle by the low half and one by the high half answer for all sixteen
// bytes at once.
struct ByteBitmaps {
    char prose[16];                     // the lower bytes prose allows, all rules alike
    char allowed[byte_rule_count][16];  // the upper bytes each rule allows
    char letters[byte_rule_count][16];  // the upper bytes that are letters of the rule's page
    char lower_bit[16];                 // by high half h < 8: 1 << h
    char upper_bit[16];                 // by high half h >= 8: 1 << (h - 8)
};

constexpr ByteBitmaps make_byte_bitmaps() {
    ByteBitmaps m{};
    for (int v = 0; v < 256; ++v) {
        const auto b = static_cast<std::uint8_t>(v);
        const int low = v & 15;
        const int h = v >> 4;
        if (b < 0x80) {
            m.prose[low] = static_cast<char>(m.prose[low] | (is_prose_ascii(b) ? 1 << h : 0));
            continue;
        }
        for (int i = 0; i < byte_rule_count; ++i) {
            const int bit = 1 << (h - 8);
            m.allowed[i][low] =
                static_cast<char>(m.allowed[i][low] | (byte_allowed(byte_rules[i], b) ? bit : 0));
            m.letters[i][low] = static_cast<char>(m.letters[i][low] |
                                                  (is_upper_letter(byte_rules[i], b) ? bit : 0));
        }
    }
    for (int h = 0; h < 16; ++h) {
        m.lower_bit[h] = static_cast<char>(h < 8 ? 1 << h : 0);
        m.upper_bit[h] = static_cast<char>(h >= 8 ? 1 << (h - 8) : 0);
    }
    return m;
}
constexpr ByteBitmaps byte_bitmaps = make_byte_bitmaps();

[[gnu::target("ssse3")]] inline __m128i load16(const char* table) noexcept {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(table));
}

// The bytes of `v` in `bitmap`, as a 16-bit mask; `bit` is the shuffle of lower_bit or upper_bit
// by the high halves.
[[gnu::target("ssse3")]] inline unsigned in_bitmap(const char* bitmap, __m128i low,
                                                   __m128i bit) noexcept {
    const __m128i hit = _mm_and_si128(_mm_shuffle_epi8(load16(bitmap), low), bit);
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(hit, _mm_setzero_si128()))) ^
           0xFFFF;
}

// byte_rules_accept for a block without controls, from its vector: `upper` and `separators` are
// the masks of upper bytes and of space, tab, LF and CR.
[[gnu::target("ssse3")]] bool byte_rules_accept_ssse3(__m128i v, unsigned upper,
                                                      unsigned separators) noexcept {
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i low = _mm_and_si128(v, nibble);
    const __m128i high_half = _mm_and_si128(_mm_srli_epi16(v, 4), nibble);
    const __m128i lower_bit = _mm_shuffle_epi8(load16(byte_bitmaps.lower_bit), high_half);
    const __m128i upper_bit = _mm_shuffle_epi8(load16(byte_bitmaps.upper_bit), high_half);
    const unsigned prose = in_bitmap(byte_bitmaps.prose, low, lower_bit);
    if ((prose | upper) != 0xFFFF) {
        return false;  // a lower byte no rule allows
    }
    // ASCII letters: with bit 5 set, 'a'..'z'.
    const __m128i folded = _mm_sub_epi8(_mm_or_si128(v, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
    const unsigned ascii_letters = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(
                                       _mm_min_epu8(folded, _mm_set1_epi8(25)), folded))) &
                                   ~upper & 0xFFFF;
    const unsigned count = bit_count(upper);
    for (int i = 0; i < byte_rule_count; ++i) {
        const ByteRule& rule = byte_rules[i];
        if (count > rule.max_upper || (rule.needs_separator && separators == 0) ||
            (in_bitmap(byte_bitmaps.allowed[i], low, upper_bit) & upper) != upper) {
            continue;
        }
        if (rule.letters_apart) {
            const unsigned letters = in_bitmap(byte_bitmaps.letters[i], low, upper_bit);
            if ((((ascii_letters << 1) & letters) | ((letters << 1) & ascii_letters)) != 0) {
                continue;
            }
        }
        return true;
    }
    return false;
}

// UTF-16 by the high rectangles, over one vector: a script survives when every unit's high byte
// lies in one of its rectangles.
[[gnu::target("ssse3")]] inline bool utf16_maybe_ssse3(__m128i v) noexcept {
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i by_high =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(rectangles.by_high_half));
    const __m128i by_low =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(rectangles.by_low_half));
    const __m128i cls =
        _mm_and_si128(_mm_shuffle_epi8(by_high, _mm_and_si128(_mm_srli_epi16(v, 4), nibble)),
                      _mm_shuffle_epi8(by_low, _mm_and_si128(v, nibble)));
    const __m128i zero = _mm_setzero_si128();
    bool maybe = false;
    for (const std::uint8_t script : rectangles.scripts) {
        const __m128i outside =
            _mm_cmpeq_epi8(_mm_and_si128(cls, _mm_set1_epi8(static_cast<char>(script))), zero);
        maybe |= (static_cast<unsigned>(_mm_movemask_epi8(outside)) & 0xAAAA) == 0;
    }
    return maybe;
}

// The facts from one vector of the block: compares and masks instead of word arithmetic. SSE2
// instructions, built and chosen with the SSSE3 level the project's vector paths share.
[[gnu::target("ssse3")]] void classify_blocks_ssse3(const std::uint8_t* bytes, std::size_t blocks,
                                                    TextStrength* out,
                                                    const UnitTables& units) noexcept {
    const __m128i space = _mm_set1_epi8(0x20);
    const __m128i del = _mm_set1_epi8(0x7F);
    const __m128i tab = _mm_set1_epi8(0x09);
    const __m128i lf = _mm_set1_epi8(0x0A);
    const __m128i cr = _mm_set1_epi8(0x0D);
    for (std::size_t i = 0; i < blocks; ++i) {
        const std::uint8_t* b = bytes + 16 * i;
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b));
        const unsigned upper = static_cast<unsigned>(_mm_movemask_epi8(v));
        // Signed: below 0x20 covers the bytes from 0x80 on too, which `upper` takes out.
        const __m128i below = _mm_cmpgt_epi8(space, v);
        const __m128i breaks = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(v, tab), _mm_cmpeq_epi8(v, lf)), _mm_cmpeq_epi8(v, cr));
        const __m128i bad = _mm_or_si128(_mm_andnot_si128(breaks, below), _mm_cmpeq_epi8(v, del));
        const unsigned controls = static_cast<unsigned>(_mm_movemask_epi8(bad)) & ~upper;
        if ((upper | controls) == 0) {
            out[i] = TextStrength::strong;  // ASCII text
            continue;
        }
        if (controls != 0) {
            // Only UTF-16 allows a control byte; nearly every random block ends here.
            out[i] = utf16_maybe_ssse3(v) ? utf16_exact(b, units) : TextStrength::none;
            continue;
        }
        // UTF-8: a lead byte (C0..FF) is followed by a continuation byte (80..BF), and a
        // continuation byte follows a lead or a continuation, or opens the block.
        const unsigned sixth = static_cast<unsigned>(_mm_movemask_epi8(_mm_add_epi8(v, v)));
        const unsigned lead = upper & sixth;
        const unsigned cont = upper & ~sixth;
        if ((((lead << 1) & ~cont & 0xFFFF) | (cont & ~((lead | cont) << 1) & 0xFFFE)) == 0) {
            if (utf8_valid_ssse3(v, cont)) {
                out[i] = TextStrength::strong;
                continue;
            }
        }
        // Not UTF-8. The Latin pages allow six upper bytes; the others need a separator.
        const unsigned separators = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(breaks, _mm_cmpeq_epi8(v, space))));
        const bool code_pages_possible = (bit_count(upper) <= 6) | (separators != 0);
        const bool utf16_maybe = utf16_maybe_ssse3(v);
        if (!(code_pages_possible | utf16_maybe)) {
            out[i] = TextStrength::none;  // random bytes without a control end here
            continue;
        }
        const TextStrength wide = utf16_maybe ? utf16_exact(b, units) : TextStrength::none;
        if (wide != TextStrength::none || !code_pages_possible) {
            out[i] = wide;
            continue;
        }
        out[i] =
            byte_rules_accept_ssse3(v, upper, separators) ? TextStrength::weak : TextStrength::none;
    }
}
#endif

// The processor's path, asked once per call.
void classify_blocks(const std::uint8_t* bytes, std::size_t blocks, TextStrength* out) noexcept {
    const UnitTables& units = unit_tables();
#if NOTEDIAG_X86_PATHS
    if (platform::cpu_has(platform::cpu_ssse3)) {
        classify_blocks_ssse3(bytes, blocks, out, units);
        return;
    }
#endif
    classify_blocks_portable(bytes, blocks, out, units);
}

}  // namespace

TextStrength classify_text_block(const std::uint8_t block[16]) noexcept {
    TextStrength s;
    classify_blocks(block, 1, &s);
    return s;
}

bool block_looks_like_text(const std::uint8_t block[16]) noexcept {
    return classify_text_block(block) != TextStrength::none;
}

double log2_binomial_tail_bound(std::uint64_t n, std::uint64_t k, double log2_p) {
    NOTEDIAG_ASSERT(k <= n);
    NOTEDIAG_ASSERT(log2_p <= 0);
    const double p = std::exp2(log2_p);
    if (k == 0 || static_cast<double>(k) <= static_cast<double>(n) * p) {
        return 0;
    }
    const double nd = static_cast<double>(n);
    const double kd = static_cast<double>(k);
    const double ln_p = log2_p * std::log(2.0);
    const double ln_q = std::log1p(-p);  // -inf when p == 1, but then k <= n p above
    const double ln_choose = std::lgamma(nd + 1) - std::lgamma(kd + 1) - std::lgamma(nd - kd + 1);
    const double ln_head = kd * ln_p;
    const double ln_rest = (nd - kd) * ln_q;
    // With k > n p the terms of the tail fall from the first by at least the ratio r < 1.
    const double r = (nd - kd) * p / ((kd + 1) * (1 - p));
    const double ln_bound = ln_choose + ln_head + ln_rest - std::log1p(-r);
    // lgamma of numbers up to 2^32 is exact to a few units in the last place; the slack covers the
    // rounding of every term several times over.
    const double slack =
        1e-12 * (std::lgamma(nd + 1) + std::fabs(ln_head) + std::fabs(ln_rest)) + 1e-12;
    const double bound = (ln_bound + slack) / std::log(2.0);
    return bound < 0 ? bound : 0;
}

double padding_chance_log2(std::uint32_t well_formed_bytes) {
    NOTEDIAG_ASSERT(well_formed_bytes <= 16);
    if (well_formed_bytes == 16) {
        return -128;
    }
    if (well_formed_bytes == 0) {
        return 0;
    }
    return 1 - 8.0 * well_formed_bytes;
}

TextJudge::TextJudge(std::uint32_t cipher_len, std::uint32_t plain_len)
    : blocks_(cipher_len / 16), judged_blocks_(cipher_len / 16) {
    NOTEDIAG_ASSERT(cipher_len % 16 == 0);
    NOTEDIAG_ASSERT(plain_len <= cipher_len);
    if (plain_len < cipher_len) {
        --judged_blocks_;  // the last block is judged by its padding
    }
}

void TextJudge::close_run() noexcept {
    if (open_run_count_ == 0) {
        return;
    }
    if (run_count_ < max_listed_runs) {
        runs_[run_count_++] = {open_run_first_, open_run_count_};
    } else {
        ++unlisted_runs_;
    }
    open_run_count_ = 0;
}

void TextJudge::feed(const std::uint8_t* bytes, std::size_t count) {
    NOTEDIAG_ASSERT(count % 16 == 0);
    NOTEDIAG_ASSERT(count / 16 <= blocks_ - fed_blocks_);
    const auto blocks = static_cast<std::uint32_t>(count / 16);
    // Only judged blocks are classified; the padding block, if fed here, is left to finish().
    const std::uint32_t judged_here =
        fed_blocks_ < judged_blocks_ ? std::min(blocks, judged_blocks_ - fed_blocks_) : 0;
    // Counts and the open run live in locals through the loop; the members are written back once.
    std::uint32_t text = 0, strong = 0;
    std::uint32_t run_first = open_run_first_, run_count = open_run_count_;
    TextStrength strengths[256];
    for (std::uint32_t done = 0; done < judged_here;) {
        const std::uint32_t batch = std::min<std::uint32_t>(judged_here - done, 256);
        classify_blocks(bytes + 16 * std::size_t{done}, batch, strengths);
        // A batch all of one kind (all strong text, or all random) is counted at once.
        const TextStrength kind = strengths[0];
        if (std::all_of(strengths, strengths + batch,
                        [kind](TextStrength s) { return s == kind; })) {
            if (kind == TextStrength::none) {
                run_first = run_count == 0 ? fed_blocks_ + done : run_first;
                run_count += batch;
                done += batch;
                continue;
            }
            if (kind == TextStrength::strong) {
                text += batch;
                strong += batch;
                if (run_count != 0) {
                    open_run_first_ = run_first;
                    open_run_count_ = run_count;
                    close_run();
                    run_count = 0;
                }
                done += batch;
                continue;
            }
        }
        for (std::uint32_t i = 0; i < batch; ++i) {
            const TextStrength s = strengths[i];
            text += s != TextStrength::none;
            strong += s == TextStrength::strong;
            if (s == TextStrength::none) {
                run_first = run_count++ == 0 ? fed_blocks_ + done + i : run_first;
            } else if (run_count != 0) {
                open_run_first_ = run_first;
                open_run_count_ = run_count;
                close_run();
                run_count = 0;
            }
        }
        done += batch;
    }
    text_blocks_ += text;
    strong_text_blocks_ += strong;
    open_run_first_ = run_first;
    open_run_count_ = run_count;
    fed_blocks_ += blocks;
}

TextJudgement TextJudge::finish(bool padding_well_formed, std::uint32_t padding_length) const {
    NOTEDIAG_ASSERT(fed_blocks_ == blocks_);
    const bool has_padding = judged_blocks_ < blocks_;
    NOTEDIAG_ASSERT(has_padding || (!padding_well_formed && padding_length == 0));
    NOTEDIAG_ASSERT(!padding_well_formed || (padding_length >= 1 && padding_length <= 16));
    TextJudge last = *this;
    if (has_padding && !padding_well_formed && last.open_run_count_++ == 0) {
        last.open_run_first_ = blocks_ - 1;
    }
    last.close_run();

    TextJudgement j;
    j.blocks = blocks_;
    j.judged_blocks = judged_blocks_;
    j.text_blocks = text_blocks_;
    j.strong_text_blocks = strong_text_blocks_;
    j.has_padding = has_padding;
    j.padding_well_formed = padding_well_formed;
    j.padding_length = padding_length;
    std::memcpy(j.runs, last.runs_, sizeof j.runs);
    j.run_count = last.run_count_;
    j.unlisted_runs = last.unlisted_runs_;
    // Either tier's count bounds the chance of the evidence seen (it holds both counts at once).
    // Taking the smaller after seeing both is choosing between two tests, though: a wrong key
    // passes the one or the other at most twice as often as either, so one bit goes back.
    const double any_tier =
        log2_binomial_tail_bound(judged_blocks_, text_blocks_, random_block_pass_log2);
    const double strong_tier = log2_binomial_tail_bound(judged_blocks_, strong_text_blocks_,
                                                        random_block_strong_pass_log2);
    j.text_chance_log2 =
        any_tier == 0 && strong_tier == 0 ? 0 : std::min(0.0, std::min(any_tier, strong_tier) + 1);
    j.padding_chance_log2 = padding_well_formed ? padding_chance_log2(padding_length) : 0;
    j.wrong_key_chance_log2 = j.text_chance_log2 + j.padding_chance_log2;
    return j;
}

namespace {

std::string blocks_phrase(const TextJudgement& j) {
    if (j.judged_blocks == 0) {
        return "no block to judge as text";
    }
    const bool one = j.judged_blocks == 1;
    return std::to_string(j.text_blocks) + " of " + std::to_string(j.judged_blocks) +
           (j.sampled ? " blocks sampled across the payload decrypt"
            : one     ? " block decrypts"
                      : " blocks decrypt") +
           " to text";
}

std::string padding_phrase(const TextJudgement& j) {
    if (!j.has_padding) {
        return "there is no padding";
    }
    if (!j.padding_well_formed) {
        return "the padding is malformed";
    }
    const bool one = j.padding_length == 1;
    return std::to_string(j.padding_length) +
           (one ? " padding byte is well-formed" : " padding bytes are well-formed");
}

// "below 2^-E" only where the bound is at most 2^-E: the exponent is rounded towards zero.
std::string chance_phrase(double log2_chance) {
    const double exponent = std::floor(-log2_chance);
    if (!(exponent >= 1)) {
        return "any wrong password shows as much";
    }
    char digits[32];
    std::snprintf(digits, sizeof digits, "%.0f", exponent);
    return std::string("a wrong password shows this by chance below 2^-") + digits;
}

}  // namespace

KeyAssessment assess_key(const TextJudgement& j) {
    KeyAssessment a;
    a.wrong_key_chance_log2 = j.wrong_key_chance_log2;
    a.every_block_text = j.run_count == 0 && j.unlisted_runs == 0;
    if (j.wrong_key_chance_log2 < right_key_below_log2) {
        a.judgement = KeyAssessment::Judgement::right;
    } else if (!j.padding_well_formed && j.blocks >= min_blocks_for_wrong &&
               j.text_chance_log2 >= chance_explains_log2) {
        a.judgement = KeyAssessment::Judgement::wrong;
    }
    const std::uint32_t text_status =
        j.text_blocks + (j.has_padding && j.padding_well_formed ? 1 : 0);
    if (a.judgement == KeyAssessment::Judgement::right &&
        std::uint64_t{text_status} * 2 > j.blocks) {
        for (std::uint32_t i = 0; i < j.run_count; ++i) {
            const NotTextRun& run = j.runs[i];
            a.damage.push_back({run.first_block, run.block_count <= 2 ? 1 : run.block_count - 1});
        }
        a.unlisted_damage_runs = j.unlisted_runs;
    }
    a.evidence = blocks_phrase(j) + " and " + padding_phrase(j) + "; " +
                 chance_phrase(j.wrong_key_chance_log2);
    return a;
}

}  // namespace verdict
