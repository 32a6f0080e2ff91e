#include "crypto/aes/aes_modes_aesni.h"

#if NOTEDIAG_X86_PATHS

#include <immintrin.h>

#include "crypto/aes/aes_rounds.h"
#include "platform/check.h"

// Only the functions below are built for AES-NI; the rest of the program runs on any x86-64.
#define NOTEDIAG_AESNI [[gnu::target("aes")]]
#define NOTEDIAG_AESNI_INLINE [[gnu::target("aes"), gnu::always_inline]] inline

namespace aes_internal {

namespace {

constexpr int kBlock = 16;

// The context holds the equivalent inverse cipher's round keys, slot 0 first, which is the order
// and form AESDEC and AESDECLAST take them in. Its words hold their first byte lowest, so on this
// little-endian processor each slot's bytes in memory are the round key in FIPS-197 byte order.
NOTEDIAG_AESNI_INLINE __m128i round_key(const std::uint32_t* round_keys, int slot) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(round_keys + 4 * slot));
}

NOTEDIAG_AESNI_INLINE __m128i load(const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

NOTEDIAG_AESNI_INLINE void store(std::uint8_t* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// Decrypts `Lanes` consecutive blocks side by side and returns the last ciphertext block, the next
// chaining value. One AESDEC takes several cycles to finish but a new one can start every cycle or
// half cycle, and the blocks of CBC decryption do not depend on each other: with enough of them in
// flight the unit never waits. Every ciphertext block is loaded before the first store, so `out`
// may be `in`.
template <int Rounds, int Lanes>
NOTEDIAG_AESNI_INLINE __m128i decrypt_group(const std::uint8_t* in, std::uint8_t* out,
                                            __m128i chain, const std::uint32_t* round_keys) {
    __m128i cipher[Lanes];
    __m128i state[Lanes];
    const __m128i first = round_key(round_keys, 0);
#pragma GCC unroll 8
    for (int k = 0; k < Lanes; ++k) {
        cipher[k] = load(in + kBlock * k);
        state[k] = _mm_xor_si128(cipher[k], first);
    }
#pragma GCC unroll 14
    for (int round = 1; round < Rounds; ++round) {
        const __m128i key = round_key(round_keys, round);
#pragma GCC unroll 8
        for (int k = 0; k < Lanes; ++k) {
            state[k] = _mm_aesdec_si128(state[k], key);
        }
    }
    const __m128i last = round_key(round_keys, Rounds);
#pragma GCC unroll 8
    for (int k = 0; k < Lanes; ++k) {
        state[k] = _mm_aesdeclast_si128(state[k], last);
    }
    store(out, _mm_xor_si128(state[0], chain));
#pragma GCC unroll 8
    for (int k = 1; k < Lanes; ++k) {
        store(out + kBlock * k, _mm_xor_si128(state[k], cipher[k - 1]));
    }
    return cipher[Lanes - 1];
}

template <int Rounds>
NOTEDIAG_AESNI void decrypt_blocks(const std::uint8_t* in, std::uint8_t* out, int blocks,
                                   std::uint8_t iv[16], const std::uint32_t* round_keys) {
    __m128i chain = load(iv);
    for (; blocks >= 8; blocks -= 8, in += 8 * kBlock, out += 8 * kBlock) {
        chain = decrypt_group<Rounds, 8>(in, out, chain, round_keys);
    }
    if (blocks >= 4) {
        chain = decrypt_group<Rounds, 4>(in, out, chain, round_keys);
        blocks -= 4, in += 4 * kBlock, out += 4 * kBlock;
    }
    for (; blocks > 0; --blocks, in += kBlock, out += kBlock) {
        chain = decrypt_group<Rounds, 1>(in, out, chain, round_keys);
    }
    store(iv, chain);
}

}  // namespace

void cbc_decrypt_aesni(const std::uint8_t* in, std::uint8_t* out, int blocks, std::uint8_t iv[16],
                       const AesDecryptContext& ctx) {
    const int usable = with_rounds(ctx.rounds16, [&]<int Rounds>() {
        decrypt_blocks<Rounds>(in, out, blocks, iv, ctx.round_keys);
    });
    NOTEDIAG_ASSERT(usable == 0);
}

}  // namespace aes_internal

#endif
