// Differential test against libcrypto's AES-256-CBC over random keys, IVs and lengths, in the
// calling patterns vectors cannot reach: chained calls, aliasing, misaligned buffers. The seed is
// printed; NOTEDIAG_SEED=<seed> replays a run.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "crypto/aes/aes.h"
#include "crypto/aes/aes_modes.h"
#include "support/case_name.h"
#include "support/cpu_paths.h"
#include "support/seed.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes oracle_cbc(bool encrypt, const Bytes& key, const Bytes& iv, const Bytes& in) {
    Bytes out(in.size() + 16);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int produced = 0;
    EVP_CipherInit_ex(ctx, EVP_aes_256_cbc(), nullptr, key.data(), iv.data(), encrypt);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EVP_CipherUpdate(ctx, out.data(), &produced, in.data(), int(in.size()));
    EVP_CIPHER_CTX_free(ctx);
    out.resize(std::size_t(produced));
    return out;
}

// The data lives `out_offset` and the chaining block `iv_offset` bytes past a word boundary; each
// entry of `pieces` is one call's block count, the chaining block passed along.
Bytes project_cbc(bool encrypt, bool in_place, int out_offset, int iv_offset,
                  const std::vector<int>& pieces, const Bytes& key, const Bytes& iv,
                  const Bytes& in, Bytes& iv_after) {
    AesEncryptContext enc;
    AesDecryptContext dec;
    aes_encrypt_schedule_256(key.data(), enc);
    aes_decrypt_schedule_256(key.data(), dec);
    std::vector<std::uint32_t> out_words(in.size() / 4 + 1), iv_words(5);
    std::uint8_t* out = reinterpret_cast<std::uint8_t*>(out_words.data()) + out_offset;
    std::uint8_t* chain = reinterpret_cast<std::uint8_t*>(iv_words.data()) + iv_offset;
    std::copy(iv.begin(), iv.end(), chain);
    if (in_place) {
        std::copy(in.begin(), in.end(), out);
    }
    for (int done = 0; const int blocks : pieces) {
        const std::uint8_t* src = (in_place ? out : in.data()) + done;
        EXPECT_EQ(encrypt ? aes_modes_cbc_encrypt(src, out + done, 16 * blocks, chain, enc)
                          : aes_modes_cbc_decrypt(src, out + done, 16 * blocks, chain, dec),
                  0);
        done += 16 * blocks;
    }
    iv_after.assign(chain, chain + 16);
    return Bytes(out, out + in.size());
}

// Decryption runs on each path; encryption has only the portable one.
class AesOracle : public testsupport::OnCpuPath<> {};

TEST_P(AesOracle, RandomCbcAgreesWithLibcrypto) {
    const testsupport::TestSeed seed;
    std::mt19937_64 rng(seed.value());
    auto random_bytes = [&rng](std::size_t n) {
        Bytes b(n);
        for (auto& x : b) {
            x = static_cast<std::uint8_t>(rng());
        }
        return b;
    };
    aes_tables_init();
    for (int i = 0; i < 4000; ++i) {
        // The low bits of i walk every combination of direction, aliasing and offsets.
        const bool encrypt = i % 2 == 0, in_place = i / 2 % 2 == 1;
        const int out_offset = i / 4 % 4, iv_offset = i / 16 % 4, blocks = int(rng() % 40);
        const Bytes key = random_bytes(32), iv = random_bytes(16), in = random_bytes(16 * blocks);
        std::vector<int> pieces;
        for (int left = blocks; left > 0; left -= pieces.back()) {
            pieces.push_back(1 + int(rng() % left));
        }
        SCOPED_TRACE(testing::Message() << "iteration " << i << (encrypt ? " encrypt" : " decrypt")
                                        << " in_place " << in_place << " out+" << out_offset
                                        << " iv+" << iv_offset << " calls " << pieces.size());
        const Bytes expected = oracle_cbc(encrypt, key, iv, in);
        const Bytes& cipher = encrypt ? expected : in;
        const Bytes expected_iv = blocks == 0 ? iv : Bytes(cipher.end() - 16, cipher.end());
        Bytes iv_after;
        ASSERT_EQ(
            project_cbc(encrypt, in_place, out_offset, iv_offset, pieces, key, iv, in, iv_after),
            expected);
        ASSERT_EQ(iv_after, expected_iv);
        ASSERT_EQ(
            project_cbc(encrypt, in_place, out_offset, iv_offset, {blocks}, key, iv, in, iv_after),
            expected)
            << "one call";
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, AesOracle,
                         testing::Combine(testing::ValuesIn(testsupport::aes_cbc_paths())),
                         testsupport::CaseName{});

}  // namespace
