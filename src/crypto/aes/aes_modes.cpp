#include "crypto/aes/aes_modes.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "crypto/aes/aes_modes_aesni.h"
#include "crypto/aes/aes_rounds.h"
#include "platform/check.h"
#include "platform/cpu.h"

namespace {

using namespace aes_internal;

constexpr int kBlock = 16;

bool is_word_aligned(const void* p) {
    return reinterpret_cast<std::uintptr_t>(p) % 4 == 0;
}

// The checks every CBC call makes before it writes anything: a whole, non-negative number of
// blocks and a context the block transform accepts. The context is checked once here so the block
// loops need not look at it again.
bool refuse(int length, std::uint8_t rounds16) {
    return length < 0 || length % kBlock != 0 || !rounds_supported(rounds16);
}

// Every ciphertext block is loaded before its plaintext is stored, so `out` may be `in`; the loaded
// words then serve as the next chaining value.
//
// Word path, for word-aligned `out` and `iv`: a block's decryption depends only on ciphertext, not
// on the block before it, so blocks go through the rounds in pairs to overlap their look-ups.
template <int Rounds>
void cbc_decrypt_words(const std::uint8_t* in, std::uint8_t* out, int blocks, std::uint8_t iv[16],
                       const std::uint32_t* rk) {
    Columns chain = load_columns(iv);
    for (; blocks >= 2; blocks -= 2, in += 2 * kBlock, out += 2 * kBlock) {
        const Columns c0 = load_columns(in);
        const Columns c1 = load_columns(in + kBlock);
        Columns p0 = c0;
        Columns p1 = c1;
        decrypt_columns<Rounds>(rk, p0, p1);
        store_columns(out, p0 ^ chain);
        store_columns(out + kBlock, p1 ^ c0);
        chain = c1;
    }
    if (blocks == 1) {
        const Columns c = load_columns(in);
        Columns p = c;
        decrypt_columns<Rounds>(rk, p);
        store_columns(out, p ^ chain);
        chain = c;
    }
    store_columns(iv, chain);
}

// Byte path, for an `out` or `iv` off word alignment: one block at a time, the same bytes.
template <int Rounds>
void cbc_decrypt_bytes(const std::uint8_t* in, std::uint8_t* out, int blocks, std::uint8_t iv[16],
                       const std::uint32_t* rk) {
    std::uint8_t chain[kBlock];
    std::memcpy(chain, iv, kBlock);
    for (; blocks > 0; --blocks, in += kBlock, out += kBlock) {
        std::uint8_t saved[kBlock];
        std::memcpy(saved, in, kBlock);
        Columns p = load_columns(saved);
        decrypt_columns<Rounds>(rk, p);
        std::uint8_t decrypted[kBlock];
        store_columns(decrypted, p);
        for (int j = 0; j < kBlock; ++j) {
            out[j] = static_cast<std::uint8_t>(decrypted[j] ^ chain[j]);
        }
        std::memcpy(chain, saved, kBlock);
    }
    std::memcpy(iv, chain, kBlock);
}

template <int Rounds>
void cbc_decrypt_dispatch(const std::uint8_t* in, std::uint8_t* out, int blocks,
                          std::uint8_t iv[16], const std::uint32_t* rk) {
    // `out` moves in steps of 16, so one check covers every block.
    if (is_word_aligned(out) && is_word_aligned(iv)) {
        cbc_decrypt_words<Rounds>(in, out, blocks, iv, rk);
    } else {
        cbc_decrypt_bytes<Rounds>(in, out, blocks, iv, rk);
    }
}

template <int Rounds>
void cbc_encrypt_blocks(const std::uint8_t* in, std::uint8_t* out, int blocks, std::uint8_t iv[16],
                        const std::uint32_t* rk) {
    Columns chain = load_columns(iv);
    for (; blocks > 0; --blocks, in += kBlock, out += kBlock) {
        chain = load_columns(in) ^ chain;
        encrypt_columns<Rounds>(rk, chain);
        store_columns(out, chain);
    }
    store_columns(iv, chain);
}

}  // namespace

int aes_modes_cbc_decrypt(const std::uint8_t* in, std::uint8_t* out, int length,
                          std::uint8_t iv[16], const AesDecryptContext& ctx) {
    if (refuse(length, ctx.rounds16)) {
        return 1;
    }
    const int blocks = length / kBlock;
    if (blocks == 0) {
        return 0;
    }
    // The processor's AES instructions where it has them, the table-driven loops everywhere else;
    // both give the same bytes and leave the same chaining block.
#if NOTEDIAG_X86_PATHS
    if (platform::cpu_has(platform::cpu_aesni)) {
        cbc_decrypt_aesni(in, out, blocks, iv, ctx);
        return 0;
    }
#endif
    return with_rounds(ctx.rounds16, [&]<int Rounds>() {
        cbc_decrypt_dispatch<Rounds>(in, out, blocks, iv, ctx.round_keys);
    });
}

void aes_modes_cbc_decrypt_long(const std::uint8_t* in, std::uint8_t* out, std::size_t length,
                                std::uint8_t iv[16], const AesDecryptContext& ctx) {
    constexpr std::size_t largest_piece = 0x7FFFFFF0;
    for (std::size_t done = 0; done < length;) {
        const std::size_t piece = std::min(length - done, largest_piece);
        const int refused =
            aes_modes_cbc_decrypt(in + done, out + done, static_cast<int>(piece), iv, ctx);
        NOTEDIAG_ASSERT(refused == 0);
        done += piece;
    }
}

int aes_modes_cbc_encrypt(const std::uint8_t* in, std::uint8_t* out, int length,
                          std::uint8_t iv[16], const AesEncryptContext& ctx) {
    if (refuse(length, ctx.rounds16)) {
        return 1;
    }
    const int blocks = length / kBlock;
    return blocks == 0 ? 0 : with_rounds(ctx.rounds16, [&]<int Rounds>() {
        cbc_encrypt_blocks<Rounds>(in, out, blocks, iv, ctx.round_keys);
    });
}
