#include "crypto/cbc_sha256_x86.h"

#if NOTEDIAG_X86_PATHS

#include "crypto/aes/aes_aesni_rounds.h"
#include "crypto/aes/aes_rounds.h"
#include "crypto/sha256_shani_rounds.h"
#include "platform/check.h"

// Only the functions below are built for the AES and SHA instructions; the rest of the program
// runs on any x86-64.
#define NOTEDIAG_CBC_SHA [[gnu::target("aes,sha,sse4.1")]]
#define NOTEDIAG_CBC_SHA_INLINE [[gnu::target("aes,sha,sse4.1"), gnu::always_inline]] inline

namespace cbc_sha256_internal {

namespace {

// Unit u + 1 is decrypted before unit u is hashed: the two do not depend on each other, so the
// processor runs the AESDECs of the one in the gaps of the other's chain of SHA256RNDS2.
template <int Rounds>
NOTEDIAG_CBC_SHA_INLINE void run(const std::uint8_t* in, std::uint8_t* out, std::uint32_t units,
                                 std::uint8_t iv[16], const std::uint32_t* round_keys,
                                 std::uint32_t state[8]) {
    using aes_internal::decrypt_group;
    __m128i abef;
    __m128i cdgh;
    sha256_internal::to_register_pair(state, abef, cdgh);
    __m128i chain = decrypt_group<Rounds, 4>(in, out, aes_internal::load(iv), round_keys);
    for (std::uint32_t u = 1; u < units; ++u) {
        chain = decrypt_group<Rounds, 4>(in + 64 * std::size_t{u}, out + 64 * std::size_t{u}, chain,
                                         round_keys);
        sha256_internal::compress_block(abef, cdgh, out + 64 * std::size_t{u - 1});
    }
    sha256_internal::compress_block(abef, cdgh, out + 64 * std::size_t{units - 1});
    sha256_internal::from_register_pair(abef, cdgh, state);
    aes_internal::store(iv, chain);
}

template <int Rounds>
NOTEDIAG_CBC_SHA void run_rounds(const std::uint8_t* in, std::uint8_t* out, std::uint32_t units,
                                 std::uint8_t iv[16], const std::uint32_t* round_keys,
                                 std::uint32_t state[8]) {
    run<Rounds>(in, out, units, iv, round_keys, state);
}

}  // namespace

void cbc_decrypt_and_hash_x86(const std::uint8_t* in, std::uint8_t* out, std::uint32_t units,
                              std::uint8_t iv[16], const AesDecryptContext& ctx,
                              std::uint32_t state[8]) {
    const int usable = aes_internal::with_rounds(ctx.rounds16, [&]<int Rounds>() {
        run_rounds<Rounds>(in, out, units, iv, ctx.round_keys, state);
    });
    NOTEDIAG_ASSERT(usable == 0);
}

}  // namespace cbc_sha256_internal

#endif
