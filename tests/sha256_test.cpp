#include "crypto/sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>

#include "support/case_name.h"
#include "support/cpu_paths.h"
#include "support/rsp.h"
#include "support/seed.h"

using namespace testsupport;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes digest_of(const Bytes& message) {
    Bytes digest(sha256_digest_size);
    sha256_digest(digest.data(), message.data(), message.size());
    return digest;
}

// Every case runs on each compression path: the portable rounds and the SHA extensions.
class Sha256 : public OnCpuPath<> {};

// Known answers: every record of the published message files.
class Sha256Vectors : public OnCpuPath<std::string> {};

TEST_P(Sha256Vectors, MatchPublishedDigests) {
    const std::string& file = std::get<1>(GetParam());
    for (const auto& record : read_rsp(test_data(file))) {
        Bytes message = from_hex(record.at("Msg"));
        message.resize(std::stoul(record.at("Len")) / 8);  // "Len = 0" still carries "Msg = 00"
        EXPECT_EQ(to_hex(digest_of(message)), record.at("MD"))
            << file << ", record at line " << record.line;
    }
}

INSTANTIATE_TEST_SUITE_P(Nist, Sha256Vectors,
                         testing::Combine(testing::ValuesIn(sha256_paths()),
                                          testing::Values("SHA256ShortMsg.rsp",
                                                          "SHA256LongMsg.rsp")),
                         CaseName{});

// Each checkpoint is the last of 1000 digests, each over the three digests before it.
TEST_P(Sha256, MonteMatchesPublishedCheckpoints) {
    const auto records = read_rsp(test_data("SHA256Monte.rsp"));
    ASSERT_EQ(records.size(), 101u);
    Bytes md = from_hex(records.front().at("Seed"));
    for (std::size_t r = 1; r < records.size(); ++r) {
        Bytes window;
        for (int i = 0; i < 3; ++i) {
            window.insert(window.end(), md.begin(), md.end());
        }
        for (int i = 0; i < 1000; ++i) {
            md = digest_of(window);
            window.erase(window.begin(), window.begin() + sha256_digest_size);
            window.insert(window.end(), md.begin(), md.end());
        }
        ASSERT_EQ(to_hex(md), records[r].at("MD"))
            << "SHA256Monte.rsp, COUNT = " << records[r].at("COUNT") << " at line "
            << records[r].line;
    }
}

// Buffering: wherever a message is cut, and into however many pieces, the digest is the same.
TEST_P(Sha256, AnyCutGivesTheOneShotDigest) {
    const TestSeed seed;
    std::mt19937 random(seed.value());
    Bytes message(300);
    std::generate(message.begin(), message.end(), std::ref(random));
    const Bytes expected = digest_of(message);
    for (std::size_t trial = 0; trial < 2 * message.size(); ++trial) {
        Sha256Hasher hasher;
        hasher.init();
        // Trials up to the message size cut it once, at that offset; later ones cut it at random.
        std::size_t at = trial <= message.size() ? trial : 0;
        hasher.update(message.data(), at);
        while (trial > message.size() && at < message.size()) {
            const std::size_t piece = std::min<std::size_t>(random() % 140, message.size() - at);
            hasher.update(message.data() + at, piece);
            at += piece;
        }
        hasher.update(message.data() + at, message.size() - at);
        Bytes digest(sha256_digest_size);
        hasher.finish(digest.data());
        ASSERT_EQ(digest, expected) << "trial " << trial;
    }
}

TEST_P(Sha256, AddingNothingChangesNothingAndTheCountCarries) {
    Sha256Context ctx{};
    sha256_begin(ctx);
    ctx.count_low = 0xFFFFFFF0;
    const Sha256Context before = ctx;
    sha256_add(ctx, nullptr, 0);
    EXPECT_EQ(std::memcmp(&before, &ctx, sizeof ctx), 0) << "adding 0 bytes changed the context";
    const std::uint8_t data[32] = {};
    sha256_add(ctx, data, sizeof data);
    EXPECT_EQ(ctx.count_low, 0x10u);
    EXPECT_EQ(ctx.count_high, 1u);
}

// From 2^29 bytes on, the top bits of count_low belong in the high word of the bit length.
TEST_P(Sha256, BitLengthTakesBitsFromBothCountWords) {
    Sha256Context big{}, expected{};
    sha256_begin(big);
    big.count_high = 1;
    big.count_low = 0x20000000;  // 2^32 + 2^29 bytes are 0x0000000900000000 bits
    std::uint8_t digest[sha256_digest_size];
    sha256_end(big, digest);
    std::uint8_t last_block[64] = {0x80};
    last_block[59] = 0x09;
    sha256_begin(expected);
    sha256_compress(expected, last_block);
    EXPECT_EQ(std::memcmp(big.state, expected.state, sizeof big.state), 0);
}

// A finished context: counts include padding and length, the block is cleared, state is the digest.
TEST_P(Sha256, FinishedContextHoldsTheDigest) {
    for (std::uint32_t length : {0u, 55u, 56u, 63u, 64u, 65u, 200u}) {
        Sha256Context ctx;
        std::memset(&ctx, 0xA5, sizeof ctx);
        sha256_begin(ctx);
        const Bytes message(length, 'a');
        sha256_add(ctx, message.data(), length);
        std::uint8_t digest[sha256_digest_size];
        sha256_end(ctx, digest);
        EXPECT_EQ(ctx.count_low, (length + 8) / 64 * 64 + 64) << length << " bytes";
        EXPECT_EQ(Bytes(ctx.block, ctx.block + 64), Bytes(64, 0)) << length << " bytes";
        for (int i = 0; i < 8; ++i) {
            const std::uint8_t* w = digest + 4 * i;
            EXPECT_EQ(ctx.state[i], std::uint32_t{w[0]} << 24 | w[1] << 16 | w[2] << 8 | w[3]);
        }
    }
}

TEST_P(Sha256, HasherInitAndFinishAloneGiveTheEmptyDigestEachTime) {
    Sha256Hasher hasher;
    for (int use = 0; use < 2; ++use) {
        std::uint8_t digest[sha256_digest_size];
        hasher.init();
        hasher.finish(digest);
        EXPECT_EQ(to_hex(digest, sizeof digest),
                  "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, Sha256, testing::Combine(testing::ValuesIn(sha256_paths())),
                         CaseName{});

}  // namespace
