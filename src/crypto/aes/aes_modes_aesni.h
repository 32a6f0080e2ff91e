// CBC decryption on the processor's AES instructions, beside the table-driven loops of aes_modes.
// Internal to the aes directory; compiled only where platform/cpu.h enables the x86 paths.
#pragma once

#include <cstdint>

#include "crypto/aes/aes.h"
#include "platform/cpu.h"

#if NOTEDIAG_X86_PATHS

namespace aes_internal {

// Decrypts `blocks` (at least 1) whole blocks from `in` to `out` and leaves the last ciphertext
// block in `iv`, with the same bytes as the portable loops; `in` may be `out`, and no pointer need
// be aligned. `ctx` must hold 10, 12 or 14 rounds, checked by the caller. Needs cpu_aesni.
void cbc_decrypt_aesni(const std::uint8_t* in, std::uint8_t* out, int blocks, std::uint8_t iv[16],
                       const AesDecryptContext& ctx);

}  // namespace aes_internal

#endif
