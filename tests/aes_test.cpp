#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "crypto/aes/aes.h"
#include "crypto/aes/aes_modes.h"
#include "crypto/aes/aes_tables.h"
#include "crypto/cbc_sha256.h"
#include "crypto/sha256.h"
#include "support/case_name.h"
#include "support/cpu_paths.h"
#include "support/rsp.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using testsupport::CpuPath;
using testsupport::from_hex;
using testsupport::to_hex;
auto& tables = aes_internal::aes_tables;

struct Contexts {
    AesEncryptContext enc{};
    AesDecryptContext dec{};
};

Contexts contexts(const std::string& key_hex) {
    aes_tables_init();
    const Bytes key = from_hex(key_hex);
    Contexts c;
    aes_encrypt_schedule_256(key.data(), c.enc);
    aes_decrypt_schedule_256(key.data(), c.dec);
    return c;
}

// One CBC call in place, in each direction; the chaining block must end on the last ciphertext
// block either way.
void check_cbc(const std::string& key, const std::string& iv, const std::string& plain,
               const std::string& cipher) {
    const Contexts c = contexts(key);
    for (const bool encrypt : {true, false}) {
        Bytes data = from_hex(encrypt ? plain : cipher), chain = from_hex(iv);
        const int n = int(data.size());
        EXPECT_EQ(encrypt ? aes_modes_cbc_encrypt(data.data(), data.data(), n, chain.data(), c.enc)
                          : aes_modes_cbc_decrypt(data.data(), data.data(), n, chain.data(), c.dec),
                  0);
        EXPECT_EQ(to_hex(data), encrypt ? cipher : plain) << (encrypt ? "encrypt" : "decrypt");
        EXPECT_EQ(to_hex(chain), cipher.substr(cipher.size() - 32));
    }
}

std::string slot_hex(const std::uint32_t* round_keys, int slot) {
    std::uint8_t bytes[16];
    for (int i = 0; i < 16; ++i) {
        bytes[i] = static_cast<std::uint8_t>(round_keys[4 * slot + i / 4] >> (8 * (i % 4)));
    }
    return to_hex(bytes, 16);
}

TEST(AesBlock, Fips197AppendixC3BothDirectionsDecryptInPlace) {
    const Contexts c = contexts("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
    const Bytes plain = from_hex("00112233445566778899aabbccddeeff");
    Bytes block(16);
    EXPECT_EQ(aes_block_encrypt(plain.data(), block.data(), c.enc), 0);
    EXPECT_EQ(to_hex(block), "8ea2b7ca516745bfeafc49904b496089");
    EXPECT_EQ(aes_block_decrypt(block.data(), block.data(), c.dec), 0);
    EXPECT_EQ(block, plain);
}

TEST(AesSchedule, Fips197AppendixA3RoundKeySlots) {
    const std::string key = "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4";
    const std::string w0_3 = key.substr(0, 32), w56_59 = "fe4890d1e6188d0b046df344706c631e";
    const Contexts c = contexts(key);
    EXPECT_EQ(slot_hex(c.dec.round_keys, 0), w56_59);
    EXPECT_EQ(slot_hex(c.dec.round_keys, 14), w0_3);
    EXPECT_EQ(slot_hex(c.enc.round_keys, 0), w0_3);
    EXPECT_EQ(slot_hex(c.enc.round_keys, 14), w56_59);
}

TEST(AesSchedule, ClearsControlWordWhateverTheRecordHeld) {
    Contexts c;
    std::memset(&c.enc, 0xFF, sizeof c.enc);
    std::memset(&c.dec, 0xFF, sizeof c.dec);
    const Bytes key(32, 0x77);
    aes_encrypt_schedule_256(key.data(), c.enc);
    aes_decrypt_schedule_256(key.data(), c.dec);
    EXPECT_EQ((Bytes{c.enc.rounds16, c.enc.reserved0, c.enc.b_pos, c.enc.reserved1}),
              (Bytes{224, 0, 0, 0}));
    EXPECT_EQ((Bytes{c.dec.rounds16, c.dec.reserved0, c.dec.b_pos, c.dec.reserved1}),
              (Bytes{224, 0, 0, 0}));
}

// The CBC cases run on every decryption path: portable tables and the processor's instructions.
class AesCbc : public testsupport::OnCpuPath<> {};

TEST_P(AesCbc, Sp80038aF25F26) {
    check_cbc("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
              "000102030405060708090a0b0c0d0e0f",
              "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
              "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710",
              "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
              "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b");
}

class AesCbcVectors : public testsupport::OnCpuPath<std::string> {};

// Every record runs both ways, whichever section it is in.
TEST_P(AesCbcVectors, EveryRecordBothDirections) {
    const std::string& file = std::get<1>(GetParam());
    const auto records = testsupport::read_rsp(testsupport::test_data(file));
    ASSERT_FALSE(records.empty());
    for (const auto& r : records) {
        SCOPED_TRACE(file + ":" + std::to_string(r.line));
        check_cbc(r.at("KEY"), r.at("IV"), r.at("PLAINTEXT"), r.at("CIPHERTEXT"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Nist, AesCbcVectors,
    ::testing::Combine(::testing::ValuesIn(testsupport::aes_cbc_paths()),
                       ::testing::Values("CBCGFSbox256.rsp", "CBCKeySbox256.rsp",
                                         "CBCVarKey256.rsp", "CBCVarTxt256.rsp", "CBCMMT256.rsp")),
    testsupport::CaseName{});

// Contexts of 10 and 12 rounds (the first slots of a 14-round schedule, as no 128- or 192-bit
// schedule exists here) are not those of a standard key, so each path is held to the portable
// loops: in place and not, over enough blocks for every group size.
TEST_P(AesCbc, ShorterRoundCountsMatchThePortableLoops) {
    const Contexts c = contexts("8d2e60365f17c7df1040d7501b4a7b5a59e4e00e0d54d6c4b1ca1c0b1e2d3c4f");
    Bytes in(16 * 29);
    for (std::size_t i = 0; i < in.size(); ++i) {
        in[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    for (const int rounds16 : {160, 192, 224}) {
        SCOPED_TRACE("rounds16 " + std::to_string(rounds16));
        AesDecryptContext dec = c.dec;
        dec.rounds16 = static_cast<std::uint8_t>(rounds16);
        Bytes expected(in.size()), expected_iv(16, 0x5A);
        {
            testsupport::ForcedCpuPath portable(testsupport::aes_cbc_paths().front());
            ASSERT_EQ(aes_modes_cbc_decrypt(in.data(), expected.data(), int(in.size()),
                                            expected_iv.data(), dec),
                      0);
        }
        Bytes out(in.size()), iv(16, 0x5A), inplace = in, inplace_iv(16, 0x5A);
        EXPECT_EQ(aes_modes_cbc_decrypt(in.data(), out.data(), int(in.size()), iv.data(), dec), 0);
        EXPECT_EQ(aes_modes_cbc_decrypt(inplace.data(), inplace.data(), int(in.size()),
                                        inplace_iv.data(), dec),
                  0);
        EXPECT_EQ(out, expected);
        EXPECT_EQ(inplace, expected);
        EXPECT_EQ(iv, expected_iv);
        EXPECT_EQ(inplace_iv, expected_iv);
    }
}

TEST_P(AesCbc, UnusableContextOrLengthWritesNothing) {
    Contexts c = contexts(std::string(64, '5'));
    const Bytes in(48, 0x3C), before(48, 0xEE), iv_before(16, 0x11);
    auto check = [&](std::uint8_t rounds16, int length, int expected) {
        SCOPED_TRACE("rounds16 " + std::to_string(rounds16) + ", length " + std::to_string(length));
        c.dec.rounds16 = c.enc.rounds16 = rounds16;
        Bytes out = before, iv = iv_before;
        EXPECT_EQ(aes_modes_cbc_decrypt(in.data(), out.data(), length, iv.data(), c.dec), expected);
        EXPECT_EQ(aes_modes_cbc_encrypt(in.data(), out.data(), length, iv.data(), c.enc), expected);
        if (length == 16) {
            EXPECT_EQ(aes_block_decrypt(in.data(), out.data(), c.dec), expected);
            EXPECT_EQ(aes_block_encrypt(in.data(), out.data(), c.enc), expected);
        }
        EXPECT_EQ(out, before);
        EXPECT_EQ(iv, iv_before);
    };
    for (const int rounds16 : {0, 16, 144, 176, 208, 225, 240, 255}) {
        check(static_cast<std::uint8_t>(rounds16), 16, 1);
    }
    for (const int length : {15, 17, 40, -16}) {
        check(224, length, 1);
    }
    check(224, 0, 0);
    c = Contexts{};  // zero-filled records as a whole
    check(0, 16, 1);
}

INSTANTIATE_TEST_SUITE_P(Paths, AesCbc,
                         ::testing::Combine(::testing::ValuesIn(testsupport::aes_cbc_paths())),
                         testsupport::CaseName{});

TEST(AesTables, SBoxAnchorsAndInverses) {
    aes_tables_init();
    EXPECT_EQ(tables.fwd_last[0][0], 0x63u);
    EXPECT_EQ(tables.inv_last[0][0x63], 0u);
    for (std::uint32_t i = 0; i < 256; ++i) {
        ASSERT_EQ(tables.inv_last[0][tables.fwd_last[0][i]], i);
    }
}

// Every table is built from this inverse; checked here with the test's own field multiply, so a
// wrong inverse shows as itself rather than as a wrong S-box entry.
TEST(AesTables, GfInverseIsTheFieldInverse) {
    const auto multiply = [](std::uint32_t a, std::uint32_t b) {
        std::uint32_t product = 0;
        for (; b != 0; b >>= 1, a = (a << 1) ^ ((a & 0x80) ? 0x11B : 0)) {
            product ^= (b & 1) ? a : 0;
        }
        return product;
    };
    EXPECT_EQ(aes_internal::aes_gf_inverse(0), 0);
    for (std::uint32_t x = 1; x < 256; ++x) {
        ASSERT_EQ(multiply(x, aes_internal::aes_gf_inverse(static_cast<std::uint8_t>(x))), 1u) << x;
    }
}

// A second call must leave the tables alone; generating afresh over garbage must reproduce them,
// which catches entries never written and entries that depend on what was there before.
TEST(AesTables, InitIsIdempotentAndDeterministic) {
    constexpr std::size_t size = offsetof(aes_internal::AesTables, tables_ready) + 4;  // no padding
    aes_tables_init();
    const auto snapshot = tables;
    EXPECT_EQ(aes_tables_init(), 0);
    EXPECT_EQ(std::memcmp(&snapshot, &tables, size), 0);
    std::memset(&tables, 0xA5, sizeof tables);
    tables.tables_ready = 0;
    EXPECT_EQ(aes_tables_init(), 0);
    EXPECT_EQ(std::memcmp(&snapshot, &tables, size), 0);
}

}  // namespace

namespace {

// The decryption that hashes what it decrypts gives the bytes, the chaining block and the hash of
// the two calls it stands for, on each path, in place or not, from any 64-byte hash position.
class DecryptAndHash : public testsupport::OnCpuPath<> {};

TEST_P(DecryptAndHash, IsTheDecryptionThenTheHash) {
    aes_tables_init();
    std::uint8_t key[32];
    for (int i = 0; i < 32; ++i) {
        key[i] = static_cast<std::uint8_t>(7 * i + 1);
    }
    AesDecryptContext ctx;
    aes_decrypt_schedule_256(key, ctx);
    std::vector<std::uint8_t> in(64 * 9 + 64);
    for (std::size_t i = 0; i < in.size(); ++i) {
        in[i] = static_cast<std::uint8_t>(i * 131 + 17);
    }
    for (std::uint32_t units = 1; units <= 9; ++units) {
        for (const bool in_place : {false, true}) {
            std::uint8_t iv[16] = {1, 2, 3};
            std::uint8_t expected_iv[16] = {1, 2, 3};
            Sha256Context hash{};
            Sha256Context expected_hash{};
            sha256_begin(hash);
            sha256_begin(expected_hash);
            // A first block already hashed: the state stands at 64, not at the start.
            sha256_add(hash, in.data() + 64 * 9, 64);
            sha256_add(expected_hash, in.data() + 64 * 9, 64);

            std::vector<std::uint8_t> expected(64 * units);
            aes_modes_cbc_decrypt(in.data(), expected.data(), static_cast<int>(expected.size()),
                                  expected_iv, ctx);
            sha256_add(expected_hash, expected.data(), static_cast<std::uint32_t>(expected.size()));

            std::vector<std::uint8_t> out(in.begin(), in.begin() + 64 * units);
            cbc_decrypt_and_hash(in_place ? out.data() : in.data(), out.data(), units, iv, ctx,
                                 hash);
            EXPECT_EQ(out, expected) << units << (in_place ? " in place" : "");
            EXPECT_EQ(std::memcmp(iv, expected_iv, 16), 0) << units;
            std::uint8_t digest[32];
            std::uint8_t expected_digest[32];
            sha256_end(hash, digest);
            sha256_end(expected_hash, expected_digest);
            EXPECT_EQ(std::memcmp(digest, expected_digest, 32), 0) << units;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, DecryptAndHash,
                         testing::Combine(testing::ValuesIn(testsupport::aes_and_sha_paths())),
                         testsupport::CaseName{});

}  // namespace
