// The block transforms as always-inline templates, shared by the single-block entry points and the
// CBC loops so that the hot loop carries no call and keeps the state in registers. Internal to the
// aes directory.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "crypto/aes/aes_tables.h"
#include "platform/little_endian.h"

#if defined(__GNUC__)
#define NOTEDIAG_AES_INLINE [[gnu::always_inline]] inline
#else
#define NOTEDIAG_AES_INLINE inline
#endif

namespace aes_internal {

// The four column words of a block, column 0 first. Indices are compile-time constants
// throughout, so the words stay in registers.
struct Columns {
    std::uint32_t w[4];
};

// Words take the first byte as least significant on every host.
using platform::load_le32;
using platform::store_le32;

NOTEDIAG_AES_INLINE Columns load_columns(const std::uint8_t* p) {
    return {{load_le32(p), load_le32(p + 4), load_le32(p + 8), load_le32(p + 12)}};
}

NOTEDIAG_AES_INLINE void store_columns(std::uint8_t* p, const Columns& s) {
    store_le32(p, s.w[0]);
    store_le32(p + 4, s.w[1]);
    store_le32(p + 8, s.w[2]);
    store_le32(p + 12, s.w[3]);
}

NOTEDIAG_AES_INLINE Columns operator^(const Columns& a, const Columns& b) {
    return {{a.w[0] ^ b.w[0], a.w[1] ^ b.w[1], a.w[2] ^ b.w[2], a.w[3] ^ b.w[3]}};
}

// 10, 12 or 14 rounds; anything else marks a context as unusable.
inline bool rounds_supported(std::uint8_t rounds16) {
    return rounds16 == 160 || rounds16 == 192 || rounds16 == 224;
}

// Calls `op.template operator()<Rounds>()` with the round count as a compile-time constant, so each
// count runs its own fully unrolled code. Returns 1 for an unusable context, without calling `op`.
template <class Op>
NOTEDIAG_AES_INLINE int with_rounds(std::uint8_t rounds16, Op&& op) {
    switch (rounds16) {
        case 160:
            op.template operator()<10>();
            return 0;
        case 192:
            op.template operator()<12>();
            return 0;
        case 224:
            op.template operator()<14>();
            return 0;
        default:
            return 1;
    }
}

using Table = std::uint32_t[4][256];

// New column C of a round. ShiftRows is folded into which column each byte comes from: byte k of
// column C+k for encryption, of column C-k for decryption. MixColumns is folded into the tables.
template <bool Inverse, int C>
NOTEDIAG_AES_INLINE std::uint32_t round_column(const Columns& s, const std::uint32_t* rk,
                                               const Table& t) {
    constexpr int step = Inverse ? 3 : 1;
    return t[0][s.w[C] & 0xFF] ^ t[1][(s.w[(C + step) % 4] >> 8) & 0xFF] ^
           t[2][(s.w[(C + 2 * step) % 4] >> 16) & 0xFF] ^ t[3][s.w[(C + 3 * step) % 4] >> 24] ^
           rk[C];
}

// One round: 16 look-ups and 16 XORs, all four new columns from the old four.
template <bool Inverse>
NOTEDIAG_AES_INLINE Columns table_round(const Columns& s, const std::uint32_t* rk, const Table& t) {
    return {{round_column<Inverse, 0>(s, rk, t), round_column<Inverse, 1>(s, rk, t),
             round_column<Inverse, 2>(s, rk, t), round_column<Inverse, 3>(s, rk, t)}};
}

// Applies one round to each of several independent blocks. Interleaving blocks whose rounds do
// not depend on each other lets the look-ups of one hide the latency of the other's.
template <bool Inverse, class... Blocks>
NOTEDIAG_AES_INLINE void round_each(const std::uint32_t* rk, const Table& t, Blocks&... blocks) {
    ((blocks = table_round<Inverse>(blocks, rk, t)), ...);
}

// Rounds 1 to Rounds-1, unrolled by the fold: no loop counter, no branch.
template <bool Inverse, std::size_t... R, class... Blocks>
NOTEDIAG_AES_INLINE void middle_rounds(const std::uint32_t* rk, const Table& t,
                                       std::index_sequence<R...>, Blocks&... blocks) {
    (round_each<Inverse>(rk + 4 * (R + 1), t, blocks...), ...);
}

template <bool Inverse, int Rounds, class... Blocks>
NOTEDIAG_AES_INLINE void transform(const std::uint32_t* rk, const Table& middle, const Table& last,
                                   Blocks&... blocks) {
    const Columns first{{rk[0], rk[1], rk[2], rk[3]}};
    ((blocks = blocks ^ first), ...);
    middle_rounds<Inverse>(rk, middle, std::make_index_sequence<Rounds - 1>{}, blocks...);
    round_each<Inverse>(rk + 4 * Rounds, last, blocks...);
}

// Whole-block transforms in place on column words; `rk` points at slot 0 of the context's round
// keys. Several blocks can share one call when none depends on another's result.
template <int Rounds, class... Blocks>
NOTEDIAG_AES_INLINE void decrypt_columns(const std::uint32_t* rk, Blocks&... blocks) {
    transform<true, Rounds>(rk, aes_tables.inv_round, aes_tables.inv_last, blocks...);
}

template <int Rounds, class... Blocks>
NOTEDIAG_AES_INLINE void encrypt_columns(const std::uint32_t* rk, Blocks&... blocks) {
    transform<false, Rounds>(rk, aes_tables.fwd_round, aes_tables.fwd_last, blocks...);
}

}  // namespace aes_internal
