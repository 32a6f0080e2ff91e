// Proves from outside the class that secret blocks are zero when they are released: this binary
// replaces the global allocator, and while a check is armed every released array block, and every
// block the buffer maps from the operating system, is inspected. Only secret buffers allocate
// arrays of bytes in the code under test.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "document/Document.h"
#include "secure/Plaintext.h"
#include "secure/os_block.h"
#include "support/counting_allocator.h"

namespace {

namespace allocator = testsupport::allocator;

int released_arrays = 0;
int dirty_blocks = 0;
int mapped_taken = 0;
int mapped_released = 0;

void count_mapping(void*, std::size_t, allocator::Form form) {
    mapped_taken += form == allocator::Form::mapped ? 1 : 0;
}

// Only array and mapped blocks are counted and looked at.
void look_at_release(const unsigned char* at, std::size_t size, allocator::Form form) {
    if (form == allocator::Form::single) {
        return;
    }
    mapped_released += form == allocator::Form::mapped ? 1 : 0;
    ++released_arrays;
    for (std::size_t i = 0; i < size; ++i) {
        if (at[i] != 0) {
            ++dirty_blocks;
            return;
        }
    }
}

void arm() {
    released_arrays = 0;
    dirty_blocks = 0;
    mapped_taken = 0;
    mapped_released = 0;
    allocator::arm({count_mapping, look_at_release});
}

Plaintext secret(std::uint32_t size) {
    Plaintext text(size);
    text.resize(size);
    std::memset(text.data(), 0xA5, size);
    return text;
}

// Runs `scenario` with the check armed and returns how many blocks it released, failing the test
// when any of them still held a non-zero byte.
int released_by(const std::function<void()>& scenario) {
    arm();
    scenario();
    allocator::disarm();
    EXPECT_EQ(dirty_blocks, 0) << "a released block still held secret bytes";
    return released_arrays;
}

TEST(PlaintextWipe, TheCheckSeesADirtyBlock) {
    arm();
    // Called as functions, not through new-expressions, so the optimiser cannot drop the pair.
    void* raw = ::operator new[](8);
    std::memset(raw, 1, 8);
    ::operator delete[](raw);
    allocator::disarm();
    EXPECT_EQ(dirty_blocks, 1) << "the harness must be able to fail";
}

// Every case on heap blocks and on mapped ones: below, at and above the size from which blocks are
// mapped, and large enough for huge pages. Each mapping taken is released again, wiped.
constexpr std::uint32_t mapped_from = secure::os_block_threshold;
const std::uint32_t sizes[] = {33, mapped_from - 1, mapped_from, 3 << 20};

class PlaintextWipeOfSize : public ::testing::TestWithParam<std::uint32_t> {
  protected:
    std::uint32_t size() const { return GetParam(); }
    // How many of `blocks` blocks of about this size are expected to be mapped.
    int mapped(int blocks) const { return size() >= mapped_from ? blocks : 0; }
};

TEST_P(PlaintextWipeOfSize, DestructionWipesTheWholeBlock) {
    const std::uint32_t n = size();
    EXPECT_EQ(released_by([n] { Plaintext text = secret(n); }), 1);
    EXPECT_EQ(mapped_taken, mapped(1));
    EXPECT_EQ(mapped_released, mapped(1)) << "a mapped block was never given back";
    EXPECT_EQ(released_by([n] {
                  Plaintext text = secret(n + 7);
                  text.resize(3);  // the tail is wiped here, the rest at destruction
              }),
              1);
}

TEST_P(PlaintextWipeOfSize, GrowthWipesTheOldBlock) {
    Plaintext text = secret(size());
    EXPECT_EQ(released_by([&] { text.resize(size() + 1); }), 1);
    EXPECT_EQ(mapped_released, mapped(1));
    EXPECT_EQ(text.data()[size() - 1], 0xA5) << "the content moved with the growth";
    EXPECT_EQ(released_by([&] {
                  const std::uint8_t more[64] = {1};
                  text.append(more, sizeof more);
              }),
              1);
}

TEST_P(PlaintextWipeOfSize, AssignmentWipesTheTargetsFormerBlock) {
    Plaintext target = secret(size());
    const Plaintext source = secret(5);
    EXPECT_EQ(released_by([&] { target = source; }), 1);
    EXPECT_EQ(mapped_released, mapped(1));
}

TEST_P(PlaintextWipeOfSize, CopiesAreWipedToo) {
    const Plaintext source = secret(size());
    EXPECT_EQ(released_by([&] {
                  Plaintext copy(source);
                  EXPECT_TRUE(copy == source);
              }),
              1);
    EXPECT_EQ(mapped_taken, mapped(1));
}

INSTANTIATE_TEST_SUITE_P(Sizes, PlaintextWipeOfSize, ::testing::ValuesIn(sizes));

TEST(PlaintextWipe, NarrowStringsAreWiped) {
    EXPECT_EQ(released_by([] {
                  Plaintext key;
                  assign_c_string(key, "correct horse", false);
              }),
              1);
}

TEST(PlaintextWipe, DocumentTextsSurviveRelocationAndAreWipedOnRelease) {
    // Ten additions move the list several times; every released block must be zero.
    const int released = released_by([] {
        auto document = std::make_unique<Document>();
        for (int i = 0; i < 10; ++i) {
            document->add_text(secret(static_cast<std::uint32_t>(48 + i)));
        }
        document->replace_text(3, secret(7));
    });
    EXPECT_GE(released, 20);
}

}  // namespace
