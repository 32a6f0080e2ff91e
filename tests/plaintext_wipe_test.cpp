// Proves from outside the class that secret blocks are zero when they are released: this binary
// replaces the global allocator, and while a check is armed every released array block is
// inspected. Only secret buffers allocate arrays of bytes in the code under test.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "document/Document.h"
#include "secure/Plaintext.h"
#include "support/counting_allocator.h"

namespace {

namespace allocator = testsupport::allocator;

int released_arrays = 0;
int dirty_blocks = 0;

// Only array blocks are counted and looked at.
void look_at_release(const unsigned char* at, std::size_t size, allocator::Form form) {
    if (form != allocator::Form::array) {
        return;
    }
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
    allocator::arm({nullptr, look_at_release});
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

TEST(PlaintextWipe, DestructionWipesTheWholeBlock) {
    EXPECT_EQ(released_by([] { Plaintext text = secret(33); }), 1);
    EXPECT_EQ(released_by([] {
                  Plaintext text = secret(40);
                  text.resize(3);  // the tail is wiped here, the rest at destruction
              }),
              1);
}

TEST(PlaintextWipe, GrowthWipesTheOldBlock) {
    Plaintext text = secret(16);
    EXPECT_EQ(released_by([&] { text.resize(17); }), 1);
    EXPECT_EQ(released_by([&] {
                  const std::uint8_t more[64] = {1};
                  text.append(more, sizeof more);
              }),
              1);
}

TEST(PlaintextWipe, AssignmentWipesTheTargetsFormerBlock) {
    Plaintext target = secret(24);
    const Plaintext source = secret(5);
    EXPECT_EQ(released_by([&] { target = source; }), 1);
}

TEST(PlaintextWipe, CopiesAndNarrowStringsAreWipedToo) {
    const Plaintext source = secret(19);
    EXPECT_EQ(released_by([&] { Plaintext copy(source); }), 1);
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
