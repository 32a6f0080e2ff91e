// The interleaved decryption and hash on AES-NI and the SHA extensions, beside the portable pair
// of calls in cbc_sha256.cpp. Internal to the crypto room; compiled only where platform/cpu.h
// enables the x86 paths.
#pragma once

#include <cstdint>

#include "crypto/aes/aes.h"
#include "platform/cpu.h"

#if NOTEDIAG_X86_PATHS

namespace cbc_sha256_internal {

// The same bytes, chaining block and chaining value as the portable calls; `state` is the hash's
// H0..H7. `units` at least 1. Needs cpu_aesni | cpu_sha.
void cbc_decrypt_and_hash_x86(const std::uint8_t* in, std::uint8_t* out, std::uint32_t units,
                              std::uint8_t iv[16], const AesDecryptContext& ctx,
                              std::uint32_t state[8]);

}  // namespace cbc_sha256_internal

#endif
