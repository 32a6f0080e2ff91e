#include "verdict/text_evidence.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/check.h"

namespace verdict {
namespace {

using namespace text_rules;

// The payload arrives in whole blocks and a wrong key makes every one of them random, so the
// common cases must be cheap: pure ASCII text, and random bytes (a control byte rules out UTF-8
// and the code pages, then the first units rule out UTF-16). Everything else takes the tables.

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

constexpr std::uint64_t field(int f) noexcept {
    return std::uint64_t{1} << (5 * f);
}
constexpr unsigned count(std::uint64_t sums, int f) noexcept {
    return static_cast<unsigned>(sums >> (5 * f)) & 31;
}

struct ByteTables {
    std::uint64_t sums[256];
    // UTF-8 as a shift automaton: nibble s of row b is the state after b in state s.
    std::uint64_t utf8_rows[256];
    // For the rules that keep Latin words apart: what kind of letter the byte is.
    std::uint8_t letters[256];
    unsigned latin_rules;      // rules with a limit on upper bytes
    unsigned separator_rules;  // rules that need a separator
    unsigned apart_rules;      // rules that keep letters apart
};
static_assert(utf8_state_count <= 16, "a state fits a nibble");

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
        for (int s = 0; s < utf8_state_count; ++s) {
            row |= std::uint64_t{utf8_step(static_cast<Utf8State>(s), b)} << (4 * s);
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

constexpr unsigned step(unsigned state, std::uint8_t b) noexcept {
    return static_cast<unsigned>(byte_tables.utf8_rows[b] >> (4 * state)) & 15;
}

// Continuation bytes still owed in each state.
constexpr std::uint8_t owed[utf8_state_count] = {0, 0, 0, 0, 0, 1, 1, 2, 2, 2, 3, 3, 3, 0};
static_assert(owed[utf8_need1] == 1 && owed[utf8_need3_after_f4] == 3 && owed[utf8_dead] == 0);

// Two halves at once, each from the start: a sequence the first half leaves open must be closed by
// exactly the continuation bytes the second half starts with, the first of them in the range the
// open lead asks for. That is the automaton over all sixteen bytes, with half the dependency chain.
bool utf8_valid(const std::uint8_t* b) noexcept {
    unsigned first = utf8_start0;
    unsigned second = utf8_start0;
    for (int i = 0; i < 8; ++i) {
        first = step(first, b[i]);
        second = step(second, b[8 + i]);
    }
    if (first == utf8_dead || second == utf8_dead) {
        return false;
    }
    const auto continuation = [](std::uint8_t x) { return x >= 0x80 && x <= 0xBF; };
    const unsigned leading = !continuation(b[8])    ? 0
                             : !continuation(b[9])  ? 1
                             : !continuation(b[10]) ? 2
                                                    : 3;
    return owed[first] == leading && (leading == 0 || step(first, b[8]) != utf8_dead);
}

// The rules whose pages put a letter right beside an ASCII letter somewhere in the block.
unsigned touching_letters(const std::uint8_t* b) noexcept {
    unsigned touching = 0;
    unsigned left = byte_tables.letters[b[0]];
    for (int i = 1; i < 16; ++i) {
        const unsigned right = byte_tables.letters[b[i]];
        touching |= (left >> 7) * right | (right >> 7) * left;
        left = right;
    }
    return touching;
}

bool byte_rules_accept(const std::uint8_t* b) noexcept {
    std::uint64_t even = 0;
    std::uint64_t odd = 0;
    for (int i = 0; i < 16; i += 2) {
        even += byte_tables.sums[b[i]];
        odd += byte_tables.sums[b[i + 1]];
    }
    const std::uint64_t sums = even + odd;
    unsigned alive = 0;
    for (int i = 0; i < byte_rule_count; ++i) {
        alive |= count(sums, first_rule_field + i) == 0 ? 1u << i : 0;
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
// any byte below 0x80 is not ASCII text. Additions on the low seven bits of each byte never carry
// into the next byte.
struct Words {
    bool upper;
    bool controls;
};

Words scan_words(const std::uint8_t* b) noexcept {
    constexpr std::uint64_t ones = 0x0101010101010101;
    constexpr std::uint64_t high = 0x80 * ones;
    std::uint64_t w[2];
    std::memcpy(w, b, 16);
    std::uint64_t upper = 0;
    std::uint64_t suspect = 0;
    std::uint64_t lows[2];
    for (int i = 0; i < 2; ++i) {
        const std::uint64_t low = w[i] & ~high;
        lows[i] = low;
        upper |= w[i];
        // Below 0x20 (adding 0x60 leaves the top bit clear) or 0x7F (adding 1 sets it).
        suspect |= (~(low + 0x60 * ones) | (low + ones)) & ~w[i] & high;
    }
    if (suspect == 0) {
        return {(upper & high) != 0, false};
    }
    std::uint64_t controls = 0;
    for (int i = 0; i < 2; ++i) {
        const std::uint64_t low = lows[i];
        const auto equal = [low](std::uint64_t c) {
            return ~((low ^ (c * ones)) + 0x7F * ones) & high;
        };
        const std::uint64_t text =
            ((low + 0x60 * ones) & ~(low + ones)) | equal(0x09) | equal(0x0A) | equal(0x0D);
        controls |= ~w[i] & ~text & high;
    }
    return {(upper & high) != 0, controls != 0};
}

// ---------------------------------------------------------------------------------------------
// Unit tables: the class of a UTF-16 unit is rows[row_of[high byte]][low byte]. High bytes whose
// 256 units share one class share a row, so the rows fit in a few KiB and every unit costs two
// loads, without a branch on the data.
constexpr int max_unit_rows = 48;

struct UnitTables {
    std::uint8_t row_of[256];
    std::uint8_t rows[max_unit_rows][256];

    std::uint8_t operator()(const std::uint8_t* unit) const noexcept {
        return rows[row_of[unit[1]]][unit[0]];
    }
};

UnitTables make_unit_tables() {
    UnitTables t{};
    int used = 0;
    for (int high = 0; high < 256; ++high) {
        std::uint8_t row[256];
        for (int low = 0; low < 256; ++low) {
            row[low] = unit_class(static_cast<std::uint16_t>(high << 8 | low));
        }
        int found = 0;
        while (found < used && std::memcmp(t.rows[found], row, sizeof row) != 0) {
            ++found;
        }
        if (found == used) {
            NOTEDIAG_ASSERT(used < max_unit_rows);
            std::memcpy(t.rows[used++], row, sizeof row);
        }
        t.row_of[high] = static_cast<std::uint8_t>(found);
    }
    return t;
}

const UnitTables& unit_tables() {
    static const UnitTables tables = make_unit_tables();
    return tables;
}

TextStrength utf16_strength(const std::uint8_t* b, const UnitTables& unit) noexcept {
    // Four units first: random ones share a script about one time in twenty.
    std::uint8_t all = unit(b) & unit(b + 2) & unit(b + 4) & unit(b + 6);
    if ((all & unit_any_script) == 0) {
        return TextStrength::none;
    }
    all &= unit(b + 8) & unit(b + 10) & unit(b + 12) & unit(b + 14);
    if ((all & unit_any_script) == 0) {
        return TextStrength::none;
    }
    std::uint8_t any = 0;
    for (int i = 0; i < 16; i += 2) {
        any |= unit(b + i);
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

inline TextStrength classify(const std::uint8_t* b, const UnitTables& units) noexcept {
    const Words words = scan_words(b);
    if (!words.controls && (!words.upper || utf8_valid(b))) {
        return TextStrength::strong;  // ASCII text, or UTF-8 beyond it
    }
    const TextStrength wide = utf16_strength(b, units);
    if (wide == TextStrength::strong) {
        return wide;
    }
    if (!words.controls && byte_rules_accept(b)) {
        return TextStrength::weak;
    }
    return wide;
}

}  // namespace

TextStrength classify_text_block(const std::uint8_t block[16]) noexcept {
    return classify(block, unit_tables());
}

bool block_looks_like_text(const std::uint8_t block[16]) noexcept {
    return classify(block, unit_tables()) != TextStrength::none;
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
    const UnitTables& units = unit_tables();
    const auto blocks = static_cast<std::uint32_t>(count / 16);
    // Only judged blocks are classified; the padding block, if fed here, is left to finish().
    const std::uint32_t judged_here =
        fed_blocks_ < judged_blocks_ ? std::min(blocks, judged_blocks_ - fed_blocks_) : 0;
    for (std::uint32_t i = 0; i < judged_here; ++i) {
        const TextStrength s = classify(bytes + 16 * std::size_t{i}, units);
        if (s != TextStrength::none) {
            ++text_blocks_;
            strong_text_blocks_ += s == TextStrength::strong;
            close_run();
        } else if (open_run_count_++ == 0) {
            open_run_first_ = fed_blocks_ + i;
        }
    }
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
    // Either tier's count bounds the chance of the evidence seen (it holds both counts at once),
    // so the smaller bound is as valid as each.
    const double any_tier =
        log2_binomial_tail_bound(judged_blocks_, text_blocks_, random_block_pass_log2);
    const double strong_tier = log2_binomial_tail_bound(judged_blocks_, strong_text_blocks_,
                                                        random_block_strong_pass_log2);
    j.text_chance_log2 = std::min(any_tier, strong_tier);
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
           (one ? " block decrypts" : " blocks decrypt") + " to text";
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
    } else if (!j.padding_well_formed && j.judged_blocks >= min_blocks_for_wrong &&
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
