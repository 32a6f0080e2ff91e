#include "verdict/verdict.h"

#include <algorithm>
#include <cstring>

#include "crypto/aes/aes.h"
#include "crypto/aes/aes_modes.h"
#include "crypto/key_trial.h"
#include "crypto/sha256.h"
#include "document/read_document_v2.h"
#include "document/signature_search.h"
#include "platform/secure_wipe.h"
#include "verdict/password_variants.h"

namespace verdict {

const char* conclusion_code(Conclusion conclusion) noexcept {
    switch (conclusion) {
        case Conclusion::intact:
            return "intact";
        case Conclusion::damaged:
            return "damaged";
        case Conclusion::wrong_password:
            return "wrong-password";
        case Conclusion::undecided:
            return "undecided";
        case Conclusion::no_document:
            break;
    }
    return "no-document";
}

Witness::Witness() = default;

Witness::~Witness() {
    platform::secure_wipe(&resume_state_, sizeof resume_state_);
}

void Witness::hash_resume(const Sha256Context& state, std::uint32_t prefix_length,
                          const std::uint8_t* tail, std::uint32_t tail_length) {
    resume_state_ = state;
    resume_at_ = prefix_length;
    tail_.resize(tail_length);
    if (tail_length != 0) {
        std::memcpy(tail_.data(), tail, tail_length);
    }
    resumed_ = true;
}

namespace {

// Whether the check hash matches with `length` bytes of plaintext: the kept state finished with
// the tail's first bytes and the IV.
bool matches_with_length(const Sha256Context& state, std::uint32_t resume_at, const Plaintext& tail,
                         const HeaderV2& header, std::uint32_t length) {
    Sha256Context finishing = state;
    sha256_add(finishing, tail.data(), length - resume_at);
    sha256_add(finishing, header.iv, sizeof header.iv);
    std::uint8_t hash[sha256_digest_size];
    sha256_end(finishing, hash);
    platform::secure_wipe(&finishing, sizeof finishing);
    return std::memcmp(hash, header.wanted_hash, sizeof hash) == 0;
}

// The plaintext lengths worth trying, most likely first: those the padding implies (the last byte
// as a count, the trailing zero bytes), then every length from the ciphertext's minus 16 up to it.
// None below the kept state, none that was the stored one.
std::vector<std::uint32_t> lengths_to_try(const HeaderV2& header, std::uint32_t resume_at,
                                          const Plaintext& tail) {
    std::vector<std::uint32_t> lengths;
    const std::uint32_t end = header.cipher_len;
    const auto add = [&](std::uint64_t length) {
        if (length >= resume_at && length <= end && length != header.plain_len &&
            std::find(lengths.begin(), lengths.end(), length) == lengths.end()) {
            lengths.push_back(static_cast<std::uint32_t>(length));
        }
    };
    if (tail.size() != 0) {
        const std::uint8_t* bytes = tail.data();
        const std::uint8_t count = bytes[tail.size() - 1];
        if (count != 0 && count <= end) {
            add(end - count);
        }
        std::uint32_t zeros = 0;
        while (zeros < tail.size() && bytes[tail.size() - 1 - zeros] == 0) {
            ++zeros;
        }
        add(end - zeros);
    }
    for (std::uint32_t back = 0; back <= 16 && back <= end; ++back) {
        add(end - back);
    }
    return lengths;
}

// The blocks a spelling of the password is first tried on, the first and the last with the
// blocks they are chained to, read from the note once.
bool read_trial_target(File& file, const DocumentReport& report, KeyTrialTarget& target) {
    const HeaderV2& header = report.header;
    const std::uint32_t payload = report.extent.start + header_v2_size;
    const std::uint32_t last = payload + header.cipher_len - 16;
    std::memcpy(target.first_chain, header.iv, 16);
    if (!file.seek(static_cast<std::int32_t>(payload)) || !file.read(target.first_cipher, 16)) {
        return false;
    }
    target.one_block = header.cipher_len == 16;
    if (target.one_block) {
        std::memcpy(target.last_chain, header.iv, 16);
        std::memcpy(target.last_cipher, target.first_cipher, 16);
        return true;
    }
    return file.seek(static_cast<std::int32_t>(last - 16)) && file.read(target.last_chain, 16) &&
           file.read(target.last_cipher, 16);
}

// The cheap look: would `password` give well-formed padding, or a first block of text?
bool plausible(const std::uint8_t* password, std::size_t length, const HeaderV2& header,
               const KeyTrialTarget& target) {
    struct Trial {
        KeyTrialBlocks blocks;
        ~Trial() { platform::secure_wipe(this, sizeof *this); }
    } t;
    const KeyTrialCandidate candidate{password, length};
    key_trial(target, &candidate, 1, &t.blocks);
    return classify_padding(t.blocks.last + 16, header.cipher_len - header.plain_len) ==
               Padding::well_formed ||
           block_looks_like_text(t.blocks.first);
}

// Whether `password` opens the note: the reader itself, in bounded pieces, without an observer.
bool opens(File& file, const DocumentReport& report, const std::uint8_t* password,
           std::size_t length) {
    Plaintext key;
    key.resize(static_cast<std::uint32_t>(length));
    if (length != 0) {
        std::memcpy(key.data(), password, length);
    }
    ReadObserver silent;
    DocumentReport again;
    read_document_v2(file, report.extent, key, silent, again);
    return again.check_hash_matches;
}

std::optional<Hint> matching_spelling(File& file, const DocumentReport& report,
                                      const Plaintext& password) {
    KeyTrialTarget target{};
    if (report.header.cipher_len == 0 || !read_trial_target(file, report, target)) {
        return std::nullopt;
    }
    struct Search {
        File& file;
        const DocumentReport& report;
        const KeyTrialTarget& target;
        std::optional<Hint> found;
    } search{file, report, target, std::nullopt};
    const VariantUse use = [](void* context, const VariantName& name, const std::uint8_t* bytes,
                              std::size_t length) {
        Search& s = *static_cast<Search*>(context);
        if (!plausible(bytes, length, s.report.header, s.target) ||
            !opens(s.file, s.report, bytes, length)) {
            return false;
        }
        const bool encoding = std::strcmp(name.kind, "password-encoding") == 0;
        s.found = Hint{encoding ? Hint::Kind::password_encoding : Hint::Kind::password_variant, 0,
                       name.name, name.from, 0};
        return true;
    };
    for_each_password_variant(password.data(), password.size(), use, &search);
    return search.found;
}

// The decrypted payload's blocks for the judge: from the trimmed text in memory where it holds
// them, else decrypted again from the input, a window at a time, the chain taken up from the
// ciphertext block before the window.
class PayloadBlocks {
  public:
    PayloadBlocks(File& input, const DocumentReport& report, const Plaintext& password,
                  const Plaintext* text)
        : input_(input), report_(report), password_(password), text_(text) {}
    PayloadBlocks(const PayloadBlocks&) = delete;
    PayloadBlocks& operator=(const PayloadBlocks&) = delete;
    ~PayloadBlocks() { platform::secure_wipe(&secrets_, sizeof secrets_); }

    // Blocks `first` to `first + count - 1`, to `use(bytes, length)` in pieces of whole blocks;
    // false when the input no longer holds them.
    template <class Use>
    bool blocks(std::uint32_t first, std::uint32_t count, Use&& use) {
        const std::uint64_t end = std::uint64_t{16} * (first + count);
        if (text_ != nullptr && end <= text_->size()) {
            use(text_->data() + std::size_t{16} * first, std::size_t{16} * count);
            return true;
        }
        keyed();
        const std::uint32_t payload = report_.extent.start + header_v2_size;
        // The chain: the IV, or the ciphertext block before the window, read right before it.
        std::uint8_t chain[16];
        std::memcpy(chain, report_.header.iv, 16);
        const std::uint32_t from = first == 0 ? payload : payload + 16 * (first - 1);
        if (!input_.seek(static_cast<std::int32_t>(from)) ||
            (first != 0 && !input_.read(chain, 16))) {
            return false;
        }
        Plaintext window;
        window.resize(std::min<std::uint32_t>(count, read_piece_size / 16) * 16);
        for (std::uint32_t done = 0; done < count;) {
            const std::uint32_t now = std::min<std::uint32_t>(count - done, window.size() / 16);
            if (!input_.read(window.data(), std::size_t{16} * now)) {
                return false;
            }
            aes_modes_cbc_decrypt(window.data(), window.data(), static_cast<int>(16 * now), chain,
                                  secrets_.context);
            use(window.data(), std::size_t{16} * now);
            done += now;
        }
        platform::secure_wipe(chain, sizeof chain);
        return true;
    }

  private:
    void keyed() {
        if (!keyed_) {
            sha256_digest(secrets_.key, password_.data(), password_.size());
            aes_decrypt_schedule_256(secrets_.key, secrets_.context);
            keyed_ = true;
        }
    }

    File& input_;
    const DocumentReport& report_;
    const Plaintext& password_;
    const Plaintext* text_;
    struct {
        std::uint8_t key[32];
        AesDecryptContext context;
    } secrets_{};
    bool keyed_ = false;
};

// Judged blocks spread over the payload for the first look: windows of blocks, so that a payload
// not in memory is read in few pieces. Below twice as many the payload is judged whole at once.
constexpr std::uint32_t sample_windows = 64;
constexpr std::uint32_t sample_window_blocks = 64;

// The judgement of the payload's text, padding included (the padding block itself is judged by
// the padding's verdict, not read). A payload of many blocks is first judged on a sample; unless
// the sample shows a right key, that judgement stands.
TextJudgement judge_text(PayloadBlocks& blocks, const DocumentReport& report) {
    const HeaderV2& header = report.header;
    const std::uint32_t padding = header.cipher_len - header.plain_len;
    const bool formed = report.padding == Padding::well_formed;
    const std::uint32_t padding_length = std::min<std::uint32_t>(padding, 16);
    const std::uint32_t judged = header.cipher_len / 16 - (padding != 0 ? 1 : 0);
    static constexpr std::uint8_t padding_block[16] = {};
    const auto conclude = [&](TextJudge& judge) {
        if (padding != 0) {
            judge.feed(padding_block, 16);  // stands for the padding, whose verdict is known
        }
        return judge.finish(formed, padding != 0 ? padding_length : 0);
    };
    if (judged > 2 * sample_windows * sample_window_blocks) {
        // The windows as one payload of their own, the padding's block after them.
        const std::uint32_t sample = sample_windows * sample_window_blocks;
        TextJudge first_look(16 * (sample + (padding != 0)), 16 * sample + (padding != 0));
        bool read = true;
        for (std::uint32_t w = 0; w < sample_windows && read; ++w) {
            const std::uint32_t at = static_cast<std::uint32_t>(
                std::uint64_t{judged - sample_window_blocks} * w / (sample_windows - 1));
            read =
                blocks.blocks(at, sample_window_blocks,
                              [&](const std::uint8_t* b, std::size_t n) { first_look.feed(b, n); });
        }
        if (read) {
            TextJudgement looked = conclude(first_look);
            looked.sampled = true;
            if (assess_key(looked).judgement != KeyAssessment::Judgement::right) {
                return looked;
            }
        }
    }
    TextJudge whole(header.cipher_len, header.plain_len);
    const bool read =
        blocks.blocks(0, judged, [&](const std::uint8_t* b, std::size_t n) { whole.feed(b, n); });
    if (!read) {
        // The input changed under the tool: no evidence from the text, the padding's alone.
        TextJudge padding_only(padding != 0 ? 16 : 0, 0);
        return conclude(padding_only);
    }
    return conclude(whole);
}

}  // namespace

void find_signatures_elsewhere(File& file, const DocumentReport& report, Verdict& verdict) {
    const std::uint64_t tried = report.located ? report.extent.start : 0;
    find_signatures(file, report.input_size, [&](const SignatureHit& hit) {
        if (report.located && hit.offset == tried) {
            return true;
        }
        if (verdict.hints.size() < listed_signatures) {
            verdict.hints.push_back(
                {Hint::Kind::signature_at, hit.offset, nullptr, nullptr, hit.version});
        } else {
            ++verdict.unlisted_signatures;
        }
        return true;
    });
}

Verdict reach_verdict(const DocumentReport& report, Witness& witness, File& input,
                      const Plaintext& password, const Plaintext* text) {
    Verdict verdict;
    switch (report.no_document) {
        case NoDocument::none:
            break;
        case NoDocument::file_too_short:
        case NoDocument::file_too_large:
        case NoDocument::input_too_large:
            return verdict;
        default:
            find_signatures_elsewhere(input, report, verdict);
            return verdict;
    }
    if (report.check_hash_matches) {
        verdict.conclusion = Conclusion::intact;
        return verdict;
    }
    const HeaderV2& header = report.header;
    PayloadBlocks blocks(input, report, password, text);
    const TextJudgement judged = judge_text(blocks, report);
    const KeyAssessment assessment = assess_key(judged);
    verdict.judgement = judged;
    verdict.evidence = assessment.evidence;
    verdict.wrong_password_chance_log2 = assessment.wrong_key_chance_log2;

    if (witness.resumed_) {
        for (const std::uint32_t length :
             lengths_to_try(header, witness.resume_at_, witness.tail_)) {
            if (matches_with_length(witness.resume_state_, witness.resume_at_, witness.tail_,
                                    header, length)) {
                verdict.conclusion = Conclusion::damaged;
                verdict.wrong_password_chance_log2.reset();
                verdict.hints.push_back({Hint::Kind::plain_len, length, nullptr, nullptr, 0});
                verdict.damage.push_back({DamagedPart::Part::plain_len, 0, 0});
                return verdict;
            }
        }
    }
    if (assessment.judgement == KeyAssessment::Judgement::right) {
        verdict.conclusion = Conclusion::damaged;
        for (const DamagedBlock& block : assessment.damage) {
            verdict.damage.push_back(
                {DamagedPart::Part::ciphertext, block.first_block, block.block_count});
        }
        verdict.unlisted_damage_runs = assessment.unlisted_damage_runs;
        if (assessment.every_block_text) {
            verdict.damage.push_back({DamagedPart::Part::stored_hash_or_iv, 0, 0});
        }
        return verdict;
    }
    verdict.conclusion = assessment.judgement == KeyAssessment::Judgement::wrong
                             ? Conclusion::wrong_password
                             : Conclusion::undecided;
    if (const std::optional<Hint> spelling = matching_spelling(input, report, password)) {
        verdict.hints.push_back(*spelling);
    }
    return verdict;
}

}  // namespace verdict
