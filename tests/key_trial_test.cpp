// The trial kernel on every processor path: its blocks against the one-candidate-at-a-time
// reference for every candidate length and every batch size around its interleaved groups, and
// against notes sealed by the testkit (libcrypto, where it is packaged).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "crypto/aes/aes.h"
#include "crypto/key_trial.h"
#include "crypto/sha256.h"
#include "support/case_name.h"
#include "support/cpu_paths.h"
#include "support/rsp.h"
#include "support/seed.h"
#include "testkit/note_builder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using testsupport::PrintTo;

KeyTrialBlocks reference(const KeyTrialTarget& t, const Bytes& candidate) {
    std::uint8_t key[32];
    sha256_digest(key, candidate.data(), candidate.size());
    aes_tables_init();
    AesDecryptContext context;
    aes_decrypt_schedule_256(key, context);
    KeyTrialBlocks b;
    aes_block_decrypt(t.first_cipher, b.first, context);
    aes_block_decrypt(t.last_cipher, b.last, context);
    for (int i = 0; i < 16; ++i) {
        b.first[i] ^= t.first_chain[i];
        b.last[i] ^= t.last_chain[i];
    }
    return b;
}

std::string hex(const std::uint8_t* bytes) {
    return testsupport::to_hex(bytes, 16);
}

struct Shape {
    const char* name;
    std::size_t blocks;  // of the note's ciphertext
};

class KeyTrialReference : public testsupport::OnCpuPath<Shape> {};

// Lengths 0 to 200 cover the one-block route, its edge at 55 and 56 bytes, and two- and
// three-block candidates; each batch size from 1 to 17 cuts the list into groups with every tail,
// and the shuffled order puts long and short candidates side by side in one group.
TEST_P(KeyTrialReference, EveryLengthAndBatchSizeMatchesOneAtATime) {
    const testsupport::TestSeed seed;
    std::mt19937 random(seed.value());
    const auto bytes = [&](std::size_t n) {
        Bytes b(n);
        for (auto& x : b) {
            x = static_cast<std::uint8_t>(random());
        }
        return b;
    };
    const Bytes iv = bytes(16);
    const Bytes ciphertext = bytes(16 * std::get<1>(GetParam()).blocks);
    const KeyTrialTarget target = key_trial_target(iv.data(), ciphertext);

    std::vector<Bytes> list;
    for (std::size_t length = 0; length <= 200; ++length) {
        list.push_back(bytes(length));
    }
    std::vector<Bytes> shuffled = list;
    std::shuffle(shuffled.begin(), shuffled.end(), random);
    list.insert(list.end(), shuffled.begin(), shuffled.end());

    std::vector<KeyTrialCandidate> candidates;
    std::vector<KeyTrialBlocks> expected;
    for (const Bytes& c : list) {
        candidates.push_back({c.data(), c.size()});
        expected.push_back(reference(target, c));
    }
    for (std::size_t batch = 1; batch <= 17; ++batch) {
        std::vector<KeyTrialBlocks> got(list.size());
        for (std::size_t at = 0; at < list.size(); at += batch) {
            key_trial(target, candidates.data() + at, std::min(batch, list.size() - at),
                      got.data() + at);
        }
        for (std::size_t i = 0; i < list.size(); ++i) {
            SCOPED_TRACE("batch " + std::to_string(batch) + ", candidate " + std::to_string(i) +
                         " of " + std::to_string(list[i].size()) + " bytes");
            ASSERT_EQ(hex(got[i].first), hex(expected[i].first));
            ASSERT_EQ(hex(got[i].last), hex(expected[i].last));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, KeyTrialReference,
                         testing::Combine(testing::ValuesIn(testsupport::aes_and_sha_paths()),
                                          testing::Values(Shape{"one_block", 1},
                                                          Shape{"two_blocks", 2},
                                                          Shape{"five_blocks", 5})),
                         testsupport::CaseName{});

// Known answers: notes sealed by the testkit, whose cipher and hash are libcrypto's in the Linux
// builds. The right password, in the middle of a batch of wrong ones, must give the padded text's
// first and last blocks.
struct Sealed {
    const char* name;
    testsupport::Note note;
};

testsupport::Note note(std::string password, std::string text, testsupport::Pad pad) {
    testsupport::Note n;
    n.password = std::move(password);
    n.text = std::move(text);
    n.pad = pad;
    return n;
}

std::string padded(const testsupport::Note& n) {
    const std::size_t fill = 16 - n.text.size() % 16;
    switch (n.pad) {
        case testsupport::Pad::pkcs7:
            return n.text + std::string(fill, static_cast<char>(fill));
        case testsupport::Pad::zeros:
            return n.text + std::string(fill % 16, '\0');
        case testsupport::Pad::none:
            break;
    }
    return n.text;
}

class KeyTrialSealed : public testsupport::OnCpuPath<Sealed> {};

TEST_P(KeyTrialSealed, RightPasswordGivesTheTextsFirstAndLastBlocks) {
    const testsupport::Note& n = std::get<1>(GetParam()).note;
    const std::string document = testsupport::build_note(n);
    const auto* raw = reinterpret_cast<const std::uint8_t*>(document.data());
    const KeyTrialTarget target = key_trial_target(
        raw + header_v2::iv, {raw + header_v2::payload, document.size() - header_v2::payload});

    const std::string wrong = "not it";
    std::vector<KeyTrialCandidate> batch(
        11, {reinterpret_cast<const std::uint8_t*>(wrong.data()), wrong.size()});
    batch[9] = {reinterpret_cast<const std::uint8_t*>(n.password.data()), n.password.size()};
    std::vector<KeyTrialBlocks> got(batch.size());
    key_trial(target, batch.data(), batch.size(), got.data());

    const std::string text = padded(n);
    const auto* plain = reinterpret_cast<const std::uint8_t*>(text.data());
    EXPECT_EQ(hex(got[9].first), hex(plain));
    EXPECT_EQ(hex(got[9].last), hex(plain + text.size() - 16));
    EXPECT_NE(hex(got[8].first), hex(plain));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, KeyTrialSealed,
    testing::Combine(
        testing::ValuesIn(testsupport::aes_and_sha_paths()),
        testing::Values(
            Sealed{"short_text", note("correct horse", "hello", testsupport::Pad::pkcs7)},
            Sealed{"empty_password",
                   note("", "a text of some length, three blocks", testsupport::Pad::pkcs7)},
            Sealed{"password_of_55", note(std::string(55, 'p'), "x", testsupport::Pad::zeros)},
            Sealed{"password_of_56", note(std::string(56, 'q'), "y", testsupport::Pad::pkcs7)},
            Sealed{"password_of_130",
                   note(std::string(130, 'r'), std::string(48, 't'), testsupport::Pad::none)})),
    testsupport::CaseName{});

}  // namespace
