#include "secure/Plaintext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/debug_output.h"
#include "support/case_name.h"

namespace {

// Collects what reaches the debug channel while a test runs.
std::vector<std::string> debug_texts;

class PlaintextTest : public ::testing::Test {
  protected:
    void SetUp() override {
        debug_texts.clear();
        previous =
            platform::set_debug_sink([](const char* text) { debug_texts.emplace_back(text); });
    }
    void TearDown() override { platform::set_debug_sink(previous); }

    platform::DebugSink previous = nullptr;
};

Plaintext filled(std::uint32_t size, std::uint8_t value) {
    Plaintext text;
    text.resize(size);
    std::memset(text.data(), value, size);
    return text;
}

std::vector<std::uint8_t> block_of(const Plaintext& text) {
    return {text.data(), text.data() + text.capacity()};
}

TEST_F(PlaintextTest, NewBufferHasNoBlockAndResizeToZeroAllocatesNone) {
    Plaintext text;
    text.resize(0);
    EXPECT_EQ(text.size(), 0u);
    EXPECT_EQ(text.capacity(), 0u);
    EXPECT_EQ(text.data(), nullptr);
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(Plaintext(0).data(), nullptr);
    EXPECT_EQ(Plaintext(12).capacity(), 12u);
    EXPECT_EQ(Plaintext(12).size(), 0u);
}

TEST_F(PlaintextTest, ShrinkZeroesToTheEndOfTheBlockAndRegrowthReusesIt) {
    Plaintext text = filled(10, 0xA5);
    EXPECT_EQ(text.capacity(), 10u);
    const std::uint8_t* block = text.data();
    text.resize(4);
    EXPECT_EQ(text.capacity(), 10u);
    text.resize(10);
    EXPECT_EQ(text.data(), block);
    EXPECT_EQ(block_of(text),
              std::vector<std::uint8_t>({0xA5, 0xA5, 0xA5, 0xA5, 0, 0, 0, 0, 0, 0}));
}

TEST_F(PlaintextTest, ShrinkAlsoClearsBytesBehindTheOldSize) {
    Plaintext text(32);
    text.resize(32);
    std::memset(text.data(), 0x5A, 32);
    text.resize(20);
    text.resize(10);
    const auto block = block_of(text);
    EXPECT_EQ(std::count(block.begin(), block.end(), 0), 22);
    EXPECT_EQ(std::count(block.begin(), block.begin() + 10, 0x5A), 10);
}

TEST_F(PlaintextTest, GrowthIsExactAndKeepsContent) {
    Plaintext text = filled(5, 7);
    text.resize(9);
    EXPECT_EQ(text.capacity(), 9u);
    EXPECT_EQ(std::vector<std::uint8_t>(text.data(), text.data() + 5),
              std::vector<std::uint8_t>(5, 7));
    text.reserve(4);
    EXPECT_EQ(text.capacity(), 9u);
    const std::uint8_t more[] = {1, 2, 3};
    text.append(more, 3);
    EXPECT_EQ(text.size(), 12u);
    EXPECT_EQ(text.capacity(), 12u);
    EXPECT_EQ(text.data()[11], 3);
}

// Appending bytes of the buffer itself: from its content, with room to spare and past its
// capacity, where the bytes must be taken before the old block is wiped and released.
TEST_F(PlaintextTest, AppendsItsOwnBytes) {
    struct Case {
        std::uint32_t room, from, count;
        const char* result;
    };
    for (const auto& c :
         {Case{8, 0, 4, "abcdabcd"}, Case{8, 1, 2, "abcdbc"}, Case{4, 0, 4, "abcdabcd"},
          Case{4, 2, 2, "abcdcd"}, Case{5, 1, 3, "abcdbcd"}}) {
        Plaintext text(c.room);
        text.resize(4);
        std::memcpy(text.data(), "abcd", 4);
        text.append(text.data() + c.from, c.count);
        EXPECT_EQ(std::string(text.data(), text.data() + text.size()), c.result)
            << "room " << c.room << ", from " << c.from;
        EXPECT_EQ(text.capacity(), std::max<std::uint32_t>(c.room, text.size()));
    }
}

TEST_F(PlaintextTest, CopyIsDeepWithTheSourcesSizeAndCapacity) {
    Plaintext source(16);
    source.resize(5);
    std::memcpy(source.data(), "hello", 5);
    Plaintext copy(source);
    EXPECT_EQ(copy.size(), 5u);
    EXPECT_EQ(copy.capacity(), 16u);
    EXPECT_NE(copy.data(), source.data());
    EXPECT_EQ(copy, source);
    source.data()[0] = 'j';
    EXPECT_EQ(copy.data()[0], 'h');
    EXPECT_TRUE(debug_texts.empty()) << "copying must not reach the debug channel";
}

TEST_F(PlaintextTest, AssignmentTakesAFreshCopyAndReportsOnce) {
    Plaintext target = filled(3, 1);
    const Plaintext source = filled(6, 2);
    const std::uint8_t* old_block = target.data();
    target = source;
    EXPECT_EQ(debug_texts, std::vector<std::string>{"Plaintext::swap"});
    EXPECT_EQ(target, source);
    EXPECT_NE(target.data(), source.data());
    EXPECT_NE(target.data(), old_block);

    const std::uint8_t* before = target.data();
    Plaintext& self = target;
    target = self;
    EXPECT_EQ(target, source);
    EXPECT_NE(target.data(), before) << "self-assignment leaves a fresh copy";
}

TEST_F(PlaintextTest, SwapExchangesBlocksAndSelfSwapOnlyReports) {
    Plaintext a = filled(2, 1);
    Plaintext b = filled(7, 2);
    const std::uint8_t* block_a = a.data();
    const std::uint8_t* block_b = b.data();
    a.swap(b);
    EXPECT_EQ(a.data(), block_b);
    EXPECT_EQ(b.data(), block_a);
    a.swap(a);
    EXPECT_EQ(a.data(), block_b);
    EXPECT_EQ(a.size(), 7u);
    EXPECT_EQ(debug_texts.size(), 2u);
}

TEST_F(PlaintextTest, ClearZeroesContentButKeepsTheBlock) {
    Plaintext text = filled(8, 0xFF);
    const std::uint8_t* block = text.data();
    text.clear();
    EXPECT_EQ(text.size(), 0u);
    EXPECT_EQ(text.capacity(), 8u);
    EXPECT_EQ(text.data(), block);
    EXPECT_EQ(block_of(text), std::vector<std::uint8_t>(8, 0));
}

TEST_F(PlaintextTest, EqualityIgnoresCapacityButNotLength) {
    Plaintext small = filled(4, 9);
    Plaintext roomy(64);
    roomy.resize(4);
    std::memset(roomy.data(), 9, 4);
    EXPECT_EQ(small, roomy);
    EXPECT_NE(small, filled(5, 9)) << "a content that begins with the other is not equal";
    EXPECT_NE(small, filled(4, 8));
    EXPECT_EQ(Plaintext(), Plaintext(10));
}

struct CStringCase {
    const char* text;
    bool wide;
    std::vector<std::uint8_t> bytes;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const CStringCase& c, std::ostream* os) {
    *os << (c.wide ? "wide " : "narrow ") << testing::PrintToString(std::string(c.text));
}

class AssignCString : public ::testing::TestWithParam<CStringCase> {};

TEST_P(AssignCString, StoresTheTextWithoutTerminator) {
    Plaintext target;
    assign_c_string(target, GetParam().text, GetParam().wide);
    EXPECT_EQ(std::vector<std::uint8_t>(target.data(), target.data() + target.size()),
              GetParam().bytes);
    if (GetParam().bytes.empty()) {
        EXPECT_EQ(target.data(), nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, AssignCString,
                         ::testing::Values(CStringCase{"", false, {}}, CStringCase{"", true, {}},
                                           CStringCase{"pw\xE9", false, {'p', 'w', 0xE9}},
                                           CStringCase{"A\xE9", true, {0x41, 0x00, 0xE9, 0xFF}},
                                           CStringCase{"\x7F\x80", true, {0x7F, 0x00, 0x80, 0xFF}}),
                         testsupport::CaseName{});

}  // namespace
