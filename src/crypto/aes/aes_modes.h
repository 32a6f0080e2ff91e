// Block-cipher modes on top of the AES block transforms.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/aes/aes.h"

// CBC over `length` bytes of whole blocks; `iv` is the chaining block, updated so consecutive
// calls continue one chain. `in` and `out` may be the same buffer. Returns 1 without touching
// `out` or `iv` when `length` is negative or not a multiple of 16, or when `ctx` is unusable.
// `iv` must not overlap `in` or `out`.
int aes_modes_cbc_decrypt(const std::uint8_t* in, std::uint8_t* out, int length,
                          std::uint8_t iv[16], const AesDecryptContext& ctx);
// The same decryption over any length of whole blocks, past what an int counts: in pieces that
// continue one chain and give the same bytes as a single call would.
void aes_modes_cbc_decrypt_long(const std::uint8_t* in, std::uint8_t* out, std::size_t length,
                                std::uint8_t iv[16], const AesDecryptContext& ctx);
int aes_modes_cbc_encrypt(const std::uint8_t* in, std::uint8_t* out, int length,
                          std::uint8_t iv[16], const AesEncryptContext& ctx);
