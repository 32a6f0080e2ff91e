#include "app/transcript_observer.h"

#include <cstdint>
#include <cstring>

#include "document/reasons.h"
#include "output/transcript.h"

namespace {

const char* label(ReadStage stage) {
    switch (stage) {
        case ReadStage::iv:
            return "iv:";
        case ReadStage::wanted_hash:
            return "wanted hash:";
        case ReadStage::ciphertext:
            return "ciphertext:";
        case ReadStage::plaintext_before_shrink:
            return "plaintext (before shrink):";
        case ReadStage::decrypted_hash:
            return "decrypted hash:";
        case ReadStage::plaintext:
            return "plaintext:";
    }
    return "";
}

struct Forward final : transcript::DumpFollower {
    StageFollower& then;

    explicit Forward(StageFollower& follower) : then(follower) {}
    void formatted(std::uint32_t from, std::uint32_t to) override { then.consumed(from, to); }
};

}  // namespace

void TranscriptObserver::signature_differs() {
    transcript::line("whoops, not header_v2_signature");
}

void TranscriptObserver::header(const HeaderV2& header) {
    transcript::format(
        "%d/%d bytes, %dx%d window size\n", static_cast<std::int32_t>(header.cipher_len),
        static_cast<std::int32_t>(header.plain_len), static_cast<std::int32_t>(header.width),
        static_cast<std::int32_t>(header.height));
}

void TranscriptObserver::stage(ReadStage stage, const std::uint8_t* bytes, std::uint32_t count) {
    if (brief_) {
        return;
    }
    transcript::line(label(stage));
    if (dump_limit_) {
        transcript::dump_limited(bytes, count, *dump_limit_);
    } else {
        transcript::dump(bytes, count);
    }
}

void TranscriptObserver::whoops(NoDocument reason, bool behind_trailer) {
    transcript::line(whoops_line(reason, behind_trailer));
}

void TranscriptObserver::stage_then(ReadStage stage, const std::uint8_t* bytes, std::uint32_t count,
                                    StageFollower& then) {
    transcript::line(label(stage));
    Forward forward(then);
    if (dump_limit_) {
        transcript::dump_limited(bytes, count, *dump_limit_, &forward);
    } else {
        transcript::dump(bytes, count, &forward);
    }
}

void TranscriptObserver::text(const std::uint8_t* bytes, std::size_t count) {
    if (zero_seen_) {
        return;
    }
    if (const void* zero = std::memchr(bytes, 0, count)) {
        count = static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - bytes);
        zero_seen_ = true;
    }
    transcript::untrusted_piece(bytes, count);
}

void TranscriptObserver::end_text() {
    transcript::untrusted_end();
    transcript::line("");
}
