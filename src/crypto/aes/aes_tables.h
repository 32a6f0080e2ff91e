// Process-wide AES tables and the field arithmetic behind them. Internal to the aes directory and
// its tests; everything else goes through aes.h.
#pragma once

#include <cstdint>

namespace aes_internal {

// All tables live in one record so the hot loops address every group from a single base register.
// Each 1 KB table starts on a cache line. Words hold the first byte in their low-order bits.
struct AesTables {
    // S(i) alone in byte k: SubWord in the key expansion and the last encryption round.
    alignas(64) std::uint32_t fwd_last[4][256];
    // S(i) times the MixColumns column (02, 01, 01, 03), rotated to row position k.
    alignas(64) std::uint32_t fwd_round[4][256];
    // InvS(i) alone in byte k: the last decryption round.
    alignas(64) std::uint32_t inv_last[4][256];
    // InvS(i) times the InvMixColumns column (0E, 09, 0D, 0B), rotated to row position k.
    alignas(64) std::uint32_t inv_round[4][256];
    // The raw byte times (0E, 09, 0D, 0B): InvMixColumns of the decryption round keys.
    alignas(64) std::uint32_t inv_mix_key[4][256];
    std::uint32_t round_const[10];
    std::uint32_t tables_ready;  // set last, once every table above is complete
};

// Zero until aes_tables_init has run, read-only afterwards. tables_ready is a single-thread
// protocol: it is a plain word, neither atomic nor fenced, so the first aes_tables_init must
// finish before any other thread uses the tables (the tool fills them once, early, on its one
// thread).
extern AesTables aes_tables;

// Multiplicative inverse in GF(2^8) modulo 0x11B; 0 and 1 map to themselves.
std::uint8_t aes_gf_inverse(std::uint8_t x);

}  // namespace aes_internal
