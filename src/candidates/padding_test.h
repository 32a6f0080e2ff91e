// The first filter a candidate meets: whether the last block it decrypts ends in a well-formed
// padding, 1 to 16 bytes each equal to their count or 1 to 15 zero bytes. Internal to the
// candidates library.
#pragma once

#include <cstdint>
#include <cstring>

namespace candidates {

// The last block's well-formed paddings, as a comparison without branches: the block agrees with
// one of two patterns on the padding's bytes. A wrong key's block is random, so a loop that stops
// at the first differing byte would mispredict on nearly every candidate.
class PaddingTest {
  public:
    // `padding` is the note's ciphertext length less its plaintext length; none of 0 or of more
    // than 16 bytes ever passes.
    explicit PaddingTest(std::uint32_t padding)
        : usable(padding >= 1 && padding <= 16), zeros_allowed(padding <= 15) {
        std::uint8_t mask_bytes[16];
        std::uint8_t counted_bytes[16];
        for (std::uint32_t i = 0; i < 16; ++i) {
            const bool inside = usable && i >= 16 - padding;
            mask_bytes[i] = inside ? 0xFF : 0;
            counted_bytes[i] = inside ? static_cast<std::uint8_t>(padding) : 0;
        }
        std::memcpy(mask, mask_bytes, sizeof mask);
        std::memcpy(counted, counted_bytes, sizeof counted);
    }

    bool passes(const std::uint8_t last[16]) const {
        // Words in the host's order on both sides, so the comparison holds on any host.
        std::uint64_t block[2];
        std::memcpy(block, last, sizeof block);
        const std::uint64_t counted_off =
            ((block[0] ^ counted[0]) & mask[0]) | ((block[1] ^ counted[1]) & mask[1]);
        const std::uint64_t zeros_off = (block[0] & mask[0]) | (block[1] & mask[1]);
        return usable && (counted_off == 0 || (zeros_allowed && zeros_off == 0));
    }

  private:
    bool usable;
    bool zeros_allowed;
    std::uint64_t mask[2];
    std::uint64_t counted[2];
};

}  // namespace candidates
