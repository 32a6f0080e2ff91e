// The verdict on a load: what its record, the text's evidence and the check hash's what-ifs say,
// as one plain record that every output presents (the lines on standard error, the JSON report,
// the batch line). A claim is made only when the check hash confirms it or when the chance that
// the other explanation shows what was seen is stated and below 2^-40.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "document/read_observer.h"
#include "document/report.h"
#include "file/File.h"
#include "secure/Plaintext.h"
#include "verdict/text_evidence.h"

namespace verdict {

enum class Conclusion : std::uint8_t { intact, damaged, wrong_password, undecided, no_document };

// The stable names the JSON report and the batch lines use: "intact", "damaged",
// "wrong-password", "undecided", "no-document".
const char* conclusion_code(Conclusion conclusion) noexcept;

// A part of the note that is the likely damage.
struct DamagedPart {
    enum class Part : std::uint8_t {
        ciphertext,         // blocks first_block .. first_block + block_count - 1
        stored_hash_or_iv,  // every block reads as text: the stored hash or the IV
        plain_len,          // the header's plaintext length (a check hash what-if confirmed it)
    } part;
    std::uint32_t first_block = 0;
    std::uint32_t block_count = 0;
};

// What makes the check hash match, or where else a note lies.
struct Hint {
    enum class Kind : std::uint8_t {
        plain_len,          // `value`: the plaintext length that makes the check hash match
        password_encoding,  // `name`: the encoding the password's bytes must be in; `from`
        password_variant,   // `name`: the spelling of the password that matches
        signature_at,       // `value`: an offset where a signature lies; `version`
    } kind;
    std::uint64_t value = 0;
    const char* name = nullptr;
    const char* from = nullptr;  // for "utf-8": the code page the password was read as
    int version = 0;
};

struct Verdict {
    Conclusion conclusion = Conclusion::no_document;
    // Whether the text was judged (a payload was decrypted and its hash differs), and how.
    std::optional<TextJudgement> judgement;
    // For a damaged note the chance that a wrong password shows what was seen; absent when the
    // check hash confirmed the password (a what-if matched). Also given, as a bound, for the other
    // verdicts whose text was judged.
    std::optional<double> wrong_password_chance_log2;
    std::string evidence;
    std::vector<DamagedPart> damage;
    std::uint32_t unlisted_damage_runs = 0;
    std::vector<Hint> hints;
    std::uint64_t unlisted_signatures = 0;  // signatures past the listed ones
};

// Watches a reading for the verdict: it keeps the hash state the reader hands over, from which
// other plaintext lengths are tried without hashing the text again. Hand it to the reader beside
// any other observer (TeeObserver).
class Witness : public ReadObserver {
  public:
    Witness();
    ~Witness() override;
    void hash_resume(const Sha256Context& state, std::uint32_t prefix_length,
                     const std::uint8_t* tail, std::uint32_t tail_length) override;

  private:
    friend Verdict reach_verdict(const DocumentReport&, Witness&, File&, const Plaintext&,
                                 const Plaintext*);
    Sha256Context resume_state_{};
    std::uint32_t resume_at_ = 0;
    Plaintext tail_;
    bool resumed_ = false;
};

// How many places a "no document" verdict names where a signature lies.
inline constexpr std::size_t listed_signatures = 16;

// Adds to `verdict` the places of `input` other than the one `report` tried where a signature
// lies: the first listed_signatures as hints, the rest counted.
void find_signatures_elsewhere(File& input, const DocumentReport& report, Verdict& verdict);

// The verdict on the load that `report` and `witness` saw of `input`, read with `password`.
// When the hash differs it tries other plaintext lengths and spellings of the password against the
// check hash (reading `input` again); when there is no document it searches `input` for
// signatures elsewhere.
//
// The text is judged only when the check hash differs, and then first on a sample of blocks
// spread over the payload, which settles a wrong key at once; all blocks are judged (to count them
// and to locate the damage) only when the sample shows the text of a right key. `text`, the
// trimmed text the reader returned when it read the payload whole, spares reading and decrypting
// it again; without it the blocks judged are decrypted again from `input`.
Verdict reach_verdict(const DocumentReport& report, Witness& witness, File& input,
                      const Plaintext& password, const Plaintext* text = nullptr);

}  // namespace verdict
