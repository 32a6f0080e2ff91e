// The transcript: what the reader tells, as lines and hex dumps on standard output.
#pragma once

#include "document/read_observer.h"

class TranscriptObserver : public ReadObserver {
  public:
    bool wants_whole_payload() const override { return true; }
    void signature_differs() override;
    void header(const HeaderV2& header) override;
    void stage(ReadStage stage, const std::uint8_t* bytes, std::uint32_t count) override;
    // The dump tells `then` of each slice as soon as it is formatted.
    void stage_then(ReadStage stage, const std::uint8_t* bytes, std::uint32_t count,
                    StageFollower& then) override;
    void whoops(NoDocument reason, bool behind_trailer) override;
};
