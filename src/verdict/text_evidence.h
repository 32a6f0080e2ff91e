// Whether a decrypted payload reads as text, and how unlikely a wrong password makes what was seen.
//
// A wrong key turns every 16-byte plaintext block into uniformly random bytes, each block on its
// own; the right key leaves text in every block except damaged ones. So the count of blocks that
// look like text, set against the chance that a random block passes (computed exactly, see
// text_rules.h), bounds the chance that a wrong password explains what was seen. The padding, the
// decrypted bytes from the plaintext length to the ciphertext length, is independent evidence
// from the last block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "verdict/text_rules.h"

namespace verdict {

// True when the 16 bytes read as text in one of the encodings of text_rules.h.
bool block_looks_like_text(const std::uint8_t block[16]) noexcept;
// The same judgement with its tier: strong for UTF-8 (ASCII included) and alphabetic UTF-16LE,
// weak for single-byte code pages and CJK or Hangul UTF-16LE.
TextStrength classify_text_block(const std::uint8_t block[16]) noexcept;

// log2 of upper bounds on the chance that 16 uniformly random bytes pass (any tier) and pass as
// strong text. Each is the sum of two exact probabilities, computed by dynamic programming over
// the automata of text_rules.h (16 positions x 256 byte values, then 8 units x 65536 unit
// values; the tests recompute both): P(UTF-8 or a code page) = 2^-11.0654 and P(UTF-16LE) =
// 2^-12.2808, sum 2^-10.549, for any tier; P(UTF-8) = 2^-16.4029 and P(alphabetic UTF-16LE) =
// 2^-21.2041, sum 2^-16.3507, for strong text. The sums overcount only the blocks that pass both
// ways. Measured on 10^7 blocks of a seeded generator (text_evidence_test): 2^-10.56 and 2^-16.2
// (about 130 blocks), within 5 standard deviations of the exact figures.
inline constexpr double random_block_pass_log2 = -10.54;
inline constexpr double random_block_strong_pass_log2 = -16.35;

// log2 of an upper bound on P(Binomial(n, p) >= k), p = 2^log2_p: 0 when k <= n p, else the
// probability of exactly k times 1 / (1 - r), r = (n - k) p / ((k + 1)(1 - p)) being the largest
// ratio of one term of the tail to the one before. Within one bit of the truth once r <= 1/2
// (the tail holds the term of exactly k), and exact in the limit of small p; for n up to 2^27
// blocks (a 2 GiB note) the rounding of lgamma is covered by a slack of 10^-12 of the terms.
// Requires k <= n and log2_p <= 0.
double log2_binomial_tail_bound(std::uint64_t n, std::uint64_t k, double log2_p);

// log2 of the chance that random bytes form `well_formed_bytes` bytes of well-formed padding:
// 2 * 256^-n for 1 <= n <= 15 (n bytes of value n, or n zero bytes), 256^-16 for 16 (sixteen
// bytes of 16), 0 for 0. Requires n <= 16.
double padding_chance_log2(std::uint32_t well_formed_bytes);

// A stretch of consecutive blocks that are not text; for the last block of a note with padding,
// not text means malformed padding.
struct NotTextRun {
    std::uint32_t first_block;
    std::uint32_t block_count;
};
inline constexpr std::uint32_t max_listed_runs = 64;

struct TextJudgement {
    std::uint32_t blocks = 0;              // payload blocks
    std::uint32_t judged_blocks = 0;       // n: all but the last when there is padding
    std::uint32_t text_blocks = 0;         // k: judged blocks that look like text
    std::uint32_t strong_text_blocks = 0;  // of them, strong text
    bool has_padding = false;              // plain_len < cipher_len
    bool sampled = false;  // the judged blocks are a sample spread over the payload, not all
    bool padding_well_formed = false;
    std::uint32_t padding_length = 0;
    NotTextRun runs[max_listed_runs] = {};  // the first runs, in order
    std::uint32_t run_count = 0;            // how many of `runs` are filled
    std::uint32_t unlisted_runs = 0;        // runs after the first max_listed_runs
    double text_chance_log2 = 0;            // bound on a wrong key showing >= k text blocks
    double padding_chance_log2 = 0;         // chance of the padding seen; 0 without padding
    double wrong_key_chance_log2 = 0;       // their sum: the chance of all the evidence
};

// Judges a payload handed over in consecutive pieces. Memory does not grow with the payload.
class TextJudge {
  public:
    TextJudge(std::uint32_t cipher_len, std::uint32_t plain_len);

    // The decrypted payload, before any trimming to plain_len: pieces of whole blocks, in order,
    // never past cipher_len.
    void feed(const std::uint8_t* bytes, std::size_t count);

    // After the whole payload: the padding's verdict (padding_length = cipher_len - plain_len; not
    // well-formed when there is no padding) and the counts, runs and chances.
    TextJudgement finish(bool padding_well_formed, std::uint32_t padding_length) const;

  private:
    void close_run() noexcept;

    std::uint32_t blocks_;
    std::uint32_t judged_blocks_;
    std::uint32_t fed_blocks_ = 0;
    std::uint32_t text_blocks_ = 0;
    std::uint32_t strong_text_blocks_ = 0;
    std::uint32_t open_run_first_ = 0;
    std::uint32_t open_run_count_ = 0;  // 0: the last block fed was text
    NotTextRun runs_[max_listed_runs] = {};
    std::uint32_t run_count_ = 0;
    std::uint32_t unlisted_runs_ = 0;
};

// A stretch of ciphertext blocks that damage most likely hit (block 0 may also stand for the IV).
struct DamagedBlock {
    std::uint32_t first_block;
    std::uint32_t block_count;
};

// What the evidence says of the password. "right" is claimed only when a wrong password shows the
// evidence with a chance below 2^-40; "wrong" only when the evidence is what chance gives.
struct KeyAssessment {
    enum class Judgement { right, wrong, undecided } judgement = Judgement::undecided;
    double wrong_key_chance_log2 = 0;
    // For "right" with text blocks in the majority: where the damage lies. A run of one or two
    // blocks that are not text names its first (CBC: damage to ciphertext block i garbles
    // plaintext block i and flips the same bits of block i + 1); a longer run names all its
    // blocks but the last.
    std::vector<DamagedBlock> damage;
    std::uint32_t unlisted_damage_runs = 0;  // runs past the listed ones, also damage
    bool every_block_text = false;  // no run at all: the stored hash or the IV is the likely damage
    std::string evidence;           // one line stating the counts and the chance
};

inline constexpr double right_key_below_log2 = -40;
// A wrong key falls below this with a chance of at most 2^-16 for each tier (a valid tail bound
// is a valid p-value), so "wrong" loses nothing; two weak-text blocks among four (2^-18.5) or
// two strong ones (2^-30) already sit below it, so a lightly damaged text is never called wrong.
inline constexpr double chance_explains_log2 = -16;
// "Wrong" needs a payload of four blocks or more, the padding's own counted: one damaged ciphertext
// block garbles at most two plaintext blocks, so with four it leaves two text blocks (not chance),
// or the padding block well-formed (which "wrong" excludes).
inline constexpr std::uint32_t min_blocks_for_wrong = 4;

KeyAssessment assess_key(const TextJudgement& judgement);

}  // namespace verdict
