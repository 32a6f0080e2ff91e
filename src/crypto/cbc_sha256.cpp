#include "crypto/cbc_sha256.h"

#include <algorithm>

#include "crypto/aes/aes_modes.h"
#include "crypto/cbc_sha256_x86.h"
#include "platform/check.h"
#include "platform/cpu.h"

void cbc_decrypt_and_hash(const std::uint8_t* in, std::uint8_t* out, std::uint32_t units,
                          std::uint8_t iv[16], const AesDecryptContext& ctx, Sha256Context& hash) {
    NOTEDIAG_ASSERT(hash.count_low % 64 == 0);
    if (units == 0) {
        return;
    }
#if NOTEDIAG_X86_PATHS
    if (platform::cpu_has(platform::cpu_aesni | platform::cpu_sha)) {
        cbc_sha256_internal::cbc_decrypt_and_hash_x86(in, out, units, iv, ctx, hash.state);
        // The counts advance as sha256_add would have advanced them; nothing is left pending.
        const std::uint64_t bytes = std::uint64_t{units} * 64;
        const std::uint64_t count = (std::uint64_t{hash.count_high} << 32 | hash.count_low) + bytes;
        hash.count_low = static_cast<std::uint32_t>(count);
        hash.count_high = static_cast<std::uint32_t>(count >> 32);
        return;
    }
#endif
    // The mode takes an int length: a long run goes in pieces that continue one chain.
    constexpr std::uint32_t units_per_call = 1u << 24;  // 1 GiB
    for (std::uint32_t done = 0; done < units;) {
        const std::uint32_t now = std::min(units - done, units_per_call);
        const std::size_t at = std::size_t{64} * done;
        aes_modes_cbc_decrypt(in + at, out + at, static_cast<int>(64 * now), iv, ctx);
        sha256_add(hash, out + at, 64 * now);
        done += now;
    }
}
