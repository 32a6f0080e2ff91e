// The transcript: what the reader tells, as lines and hex dumps on standard output.
#pragma once

#include <cstdint>
#include <optional>

#include "document/read_observer.h"

class TranscriptObserver : public ReadObserver {
  public:
    // `brief` (--brief) leaves the six dumps out; the reader then hands the text over in pieces,
    // which text() prints as the text line (up to its first zero byte, as the whole transcript
    // does) and end_text() ends.
    // `dump_limit` (--dump-limit) shows at most that many lines of each dump.
    explicit TranscriptObserver(bool brief = false,
                                std::optional<std::uint32_t> dump_limit = std::nullopt)
        : brief_(brief), dump_limit_(dump_limit) {}

    bool wants_whole_payload() const override { return !brief_; }
    void signature_differs() override;
    void header(const HeaderV2& header) override;
    void stage(ReadStage stage, const std::uint8_t* bytes, std::uint32_t count) override;
    // The dump tells `then` of each slice as soon as it is formatted.
    void stage_then(ReadStage stage, const std::uint8_t* bytes, std::uint32_t count,
                    StageFollower& then) override;
    void whoops(NoDocument reason, bool behind_trailer) override;
    void text(const std::uint8_t* bytes, std::size_t count) override;

    // Ends the text line that brief pieces began.
    void end_text();

  private:
    bool brief_;
    std::optional<std::uint32_t> dump_limit_;
    bool zero_seen_ = false;
};
