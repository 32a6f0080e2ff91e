// AES (FIPS-197) block cipher: run-time tables, 256-bit key schedules and single-block transforms.
// Every operation returns 0 for success and 1 for failure; none throws or allocates.
#pragma once

#include <cstdint>

// Expanded key for decryption, slots in the order the decryption uses them.
struct AesDecryptContext {
    std::uint32_t round_keys[60];
    std::uint8_t rounds16;  // rounds times 16: 160, 192 or 224; anything else marks it unusable
    std::uint8_t reserved0;
    std::uint8_t b_pos;  // position inside a block for the byte-granular stream modes
    std::uint8_t reserved1;
};

// Expanded key for encryption, slots in forward order.
struct AesEncryptContext {
    std::uint32_t round_keys[60];
    std::uint8_t rounds16;
    std::uint8_t reserved0;
    std::uint8_t b_pos;
    std::uint8_t reserved1;
};

// Generates the process-wide tables once; later calls return at once. Must run before any
// schedule or block operation. Returns 0.
int aes_tables_init();

// Fills `ctx` from a 32-byte key. Returns 0.
int aes_decrypt_schedule_256(const std::uint8_t key[32], AesDecryptContext& ctx);
int aes_encrypt_schedule_256(const std::uint8_t key[32], AesEncryptContext& ctx);

// Transforms one 16-byte block; `in` and `out` may be the same block. Returns 1 and leaves `out`
// untouched when `ctx` is unusable.
int aes_block_decrypt(const std::uint8_t in[16], std::uint8_t out[16],
                      const AesDecryptContext& ctx);
int aes_block_encrypt(const std::uint8_t in[16], std::uint8_t out[16],
                      const AesEncryptContext& ctx);
