#include "output/hex_dump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "output/hex_dump_simd.h"
#include "platform/check.h"
#include "support/case_name.h"
#include "support/cpu_paths.h"
#include "support/seed.h"
#include "testkit/reference_dump.h"

namespace {

using testsupport::CpuPath;
using testsupport::reference_dump;
using Bytes = std::vector<std::uint8_t>;

// Runs `write` against a scratch stream and returns everything it wrote.
template <typename Write>
std::string capture(Write write) {
    std::FILE* file = std::tmpfile();
    EXPECT_NE(file, nullptr);
    write(file);
    std::string text;
    std::rewind(file);
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
        text.append(chunk, n);
    }
    std::fclose(file);
    return text;
}

std::string dump(const Bytes& data) {
    return capture(
        [&](std::FILE* f) { hex_dump(f, data.data(), static_cast<std::uint32_t>(data.size())); });
}

Bytes ascending(std::size_t n, unsigned first = 0) {
    Bytes data(n);
    for (std::size_t i = 0; i < n; ++i) {
        data[i] = static_cast<std::uint8_t>(first + i);
    }
    return data;
}

// The project's assertions hold in optimised builds too (this suite's default build is Release,
// where the standard assert would vanish): a stream that is no stream stops the dump with the
// assertion's report, in the library and in code compiled here.
TEST(HexDumpDeathTest, AssertionsFireInEveryBuildType) {
    EXPECT_DEATH(hex_dump(nullptr, "x", 1), "Assertion failed: out != nullptr, file .*hex_dump");
    int answer = 41;
    EXPECT_DEATH(NOTEDIAG_ASSERT(answer == 42), "Assertion failed: answer == 42, file ");
}

// Every dump case runs on each line builder: 64-bit words, SSSE3 and AVX2.
class HexDump : public testsupport::OnCpuPath<> {};

TEST_P(HexDump, KnownLines) {
    struct Case {
        Bytes data;
        std::string expected;
    };
    const Case cases[] = {
        {{}, ""},
        {{'a', 'b', 'c'}, "00000000:  61 62 63                                         abc\n"},
        {ascending(18, 0x41),
         "00000000:  41 42 43 44 45 46 47 48  49 4a 4b 4c 4d 4e 4f 50 ABCDEFGHIJKLMNOP\n"
         "00000010:  51 52                                            QR\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dump(c.data), c.expected) << "size " << c.data.size();
    }
}

// Every length of a last group, alone and after a full line, so that padding, the gap after
// position 7, the unpadded character column and the second line's offset are all crossed.
class ShortGroup : public testsupport::OnCpuPath<std::size_t> {};

TEST_P(ShortGroup, MatchesReference) {
    const std::size_t n = std::get<1>(GetParam());
    for (const std::size_t lead : {std::size_t{0}, std::size_t{16}}) {
        const Bytes data = ascending(lead + n, 0x2A);
        const std::string text = dump(data);
        EXPECT_EQ(text, reference_dump(data)) << "lead " << lead;
        const std::size_t last = text.rfind('\n', text.size() - 2) + 1;  // npos + 1 == 0
        EXPECT_EQ(text.size() - last, 11 + 49 + n + 1) << "lead " << lead;
        EXPECT_EQ(text.compare(last, 11, lead == 0 ? "00000000:  " : "00000010:  "), 0);
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), lead == 0 ? 1 : 2);
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths1To16, ShortGroup,
                         ::testing::Combine(::testing::ValuesIn(testsupport::hex_dump_paths()),
                                            ::testing::Range<std::size_t>(1, 17)),
                         testsupport::CaseName{});

TEST_P(HexDump, CharacterColumnOfEveryByteValue) {
    const Bytes data = ascending(256);
    const std::string text = dump(data);
    ASSERT_EQ(text.size(), 16u * 77u);
    for (unsigned b = 0; b < 256; ++b) {
        const char expected = (b >= 0x20 && b <= 0x7E) ? static_cast<char>(b) : '.';
        EXPECT_EQ(text[(b / 16) * 77 + 60 + b % 16], expected) << "byte " << b;
    }
    EXPECT_EQ(text, reference_dump(data));
}

// Far larger than one output block, with a random tail length, so block boundaries fall
// mid-stream and the last block is partial; text printed around it must stay in place.
TEST_P(HexDump, LargeRandomInputMatchesReferenceInOrder) {
    const testsupport::TestSeed seed;
    std::mt19937 rng(seed.value());
    Bytes data((1u << 20) + rng() % 17);
    for (auto& b : data) {
        b = static_cast<std::uint8_t>(rng());
    }
    const std::string text = capture([&](std::FILE* f) {
        std::fprintf(f, "before\n");
        hex_dump(f, data.data(), static_cast<std::uint32_t>(data.size()));
        std::fputs("after\n", f);
    });
    EXPECT_TRUE(text == "before\n" + reference_dump(data) + "after\n") << "size " << data.size();
}

// Offsets of 16 MiB and more put a non-zero digit into the top byte of the offset. Only the
// last two lines are read back.
TEST_P(HexDump, HighOffsetDigits) {
    const Bytes data = ascending((16u << 20) + 5);
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    hex_dump(file, data.data(), static_cast<std::uint32_t>(data.size()));
    std::string tail(77 + 66, '\0');
    std::fseek(file, -static_cast<long>(tail.size()), SEEK_END);
    EXPECT_EQ(std::fread(tail.data(), 1, tail.size(), file), tail.size());
    EXPECT_EQ(std::fgetc(file), EOF);
    std::fclose(file);

    EXPECT_EQ(tail, reference_dump(Bytes(data.end() - 21, data.end()), 0x00FFFFF0));
}

INSTANTIATE_TEST_SUITE_P(Paths, HexDump,
                         ::testing::Combine(::testing::ValuesIn(testsupport::hex_dump_paths())),
                         testsupport::CaseName{});

#if NOTEDIAG_X86_PATHS

// The vector builders on their own, at offsets no test input is large enough to reach: letters in
// every digit position, and a last line at the highest offset a full line can have. Odd and even
// line counts; nothing may be written past the lines.
class HexDumpVectorLines : public testsupport::OnCpuPath<> {};

TEST_P(HexDumpVectorLines, HighOffsetsAndNothingPastTheLines) {
    const bool avx2 = std::string(std::get<0>(GetParam()).name) == "avx2";
    const auto build =
        avx2 ? hex_dump_internal::put_full_lines_avx2 : hex_dump_internal::put_full_lines_ssse3;
    const Bytes data = ascending(16 * 5, 0x7B);
    for (const std::uint32_t offset : {0xFEDCBA90u, 0x89ABCDE0u, 0xFFFFFFA0u}) {
        for (const std::size_t lines : {1u, 4u, 5u}) {
            if (offset > 0xFFFFFFE0u - 16 * (lines - 1)) {
                continue;
            }
            std::string text(lines * 77 + 32, '~');
            EXPECT_EQ(build(text.data(), offset, data.data(), lines), lines * 77);
            const Bytes used(data.begin(), data.begin() + 16 * static_cast<long>(lines));
            EXPECT_EQ(text, reference_dump(used, offset) + std::string(32, '~'))
                << "offset " << offset << ", " << lines << " lines";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, HexDumpVectorLines,
                         ::testing::Combine(::testing::Values(testsupport::hex_dump_paths()[1],
                                                              testsupport::hex_dump_paths()[2])),
                         testsupport::CaseName{});

#endif

// Once a stream has failed the dump formats nothing more: the failed stream's descriptor, pointed
// at a file afterwards, leaves it empty.
TEST(HexDump, WritesNothingToAFailedStream) {
#ifdef _WIN32
    GTEST_SKIP() << "needs /dev/full";
#else
    std::FILE* full = std::fopen("/dev/full", "w");
    std::FILE* file = std::tmpfile();
    ASSERT_TRUE(full != nullptr && file != nullptr);
    ASSERT_TRUE(std::fputc('x', full) == 'x' && std::fflush(full) != 0);
    ASSERT_GE(::dup2(::fileno(file), ::fileno(full)), 0);
    const Bytes data = ascending(1u << 20);
    hex_dump(full, data.data(), static_cast<std::uint32_t>(data.size()));
    std::fclose(full);
    EXPECT_EQ(std::fseek(file, 0, SEEK_END) == 0 ? std::ftell(file) : -1L, 0L);
    std::fclose(file);
#endif
}

TEST(IntToString, Values) {
    const std::pair<std::int32_t, const char*> cases[] = {
        {0, "0"},
        {-1, "-1"},
        {800, "800"},
        {std::numeric_limits<std::int32_t>::max(), "2147483647"},
        {std::numeric_limits<std::int32_t>::min(), "-2147483648"},
    };
    for (const auto& [value, expected] : cases) {
        EXPECT_EQ(int_to_string(value), expected);
    }
}

}  // namespace
