#include "crypto/aes/aes_modes_aesni.h"

#if NOTEDIAG_X86_PATHS

#include <immintrin.h>

#include "crypto/aes/aes_rounds.h"
#include "platform/check.h"

#include "crypto/aes/aes_aesni_rounds.h"

// Only the functions below are built for AES-NI; the rest of the program runs on any x86-64.
#define NOTEDIAG_AESNI [[gnu::target("aes")]]

namespace aes_internal {

namespace {

template <int Rounds>
NOTEDIAG_AESNI void decrypt_blocks(const std::uint8_t* in, std::uint8_t* out, int blocks,
                                   std::uint8_t iv[16], const std::uint32_t* round_keys) {
    __m128i chain = load(iv);
    for (; blocks >= 8; blocks -= 8, in += 8 * kAesniBlock, out += 8 * kAesniBlock) {
        chain = decrypt_group<Rounds, 8>(in, out, chain, round_keys);
    }
    if (blocks >= 4) {
        chain = decrypt_group<Rounds, 4>(in, out, chain, round_keys);
        blocks -= 4, in += 4 * kAesniBlock, out += 4 * kAesniBlock;
    }
    for (; blocks > 0; --blocks, in += kAesniBlock, out += kAesniBlock) {
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
