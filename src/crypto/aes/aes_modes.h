// Block-cipher modes on top of the AES block transforms.
#pragma once

#include <cstdint>

#include "crypto/aes/aes.h"

// CBC over `length` bytes of whole blocks; `iv` is the chaining block, updated so consecutive
// calls continue one chain. `in` and `out` may be the same buffer. Returns 1 without touching
// `out` or `iv` when `length` is negative or not a multiple of 16, or when `ctx` is unusable.
// `iv` must not overlap `in` or `out`.
int aes_modes_cbc_decrypt(const std::uint8_t* in, std::uint8_t* out, int length,
                          std::uint8_t iv[16], const AesDecryptContext& ctx);
int aes_modes_cbc_encrypt(const std::uint8_t* in, std::uint8_t* out, int length,
                          std::uint8_t iv[16], const AesEncryptContext& ctx);
