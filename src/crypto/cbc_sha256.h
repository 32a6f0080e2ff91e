// CBC decryption that hashes what it decrypts. The bounded reading decrypts each piece of a note
// and hashes its plaintext; SHA-256 is one chain of dependent rounds that leaves the processor's
// other units idle, so on a processor with AES-NI and the SHA extensions the decryption of one
// 64-byte unit runs beside the hash of the one before, and costs next to nothing.
#pragma once

#include <cstdint>

#include "crypto/aes/aes.h"
#include "crypto/sha256.h"

// Decrypts `units` 64-byte units from `in` to `out` (which may be `in`) as aes_modes_cbc_decrypt
// does, `iv` the chaining block it updates, and adds the plaintext to `hash` as sha256_add does.
// `hash` must stand at a multiple of 64 bytes; `ctx` must be usable.
void cbc_decrypt_and_hash(const std::uint8_t* in, std::uint8_t* out, std::uint32_t units,
                          std::uint8_t iv[16], const AesDecryptContext& ctx, Sha256Context& hash);
