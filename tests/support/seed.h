// The seed of a randomised test, so that any failure it finds can be replayed.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string_view>

namespace testsupport {

// Takes NOTEDIAG_SEED when it is set and draws a fresh seed otherwise. The seed is printed on
// standard output and recorded as the test's "seed" property, and while the object lives every
// failure message carries "replay with NOTEDIAG_SEED=<seed>". A malformed NOTEDIAG_SEED fails the
// test rather than quietly running another sequence.
class TestSeed {
  public:
    TestSeed();
    TestSeed(const TestSeed&) = delete;
    TestSeed& operator=(const TestSeed&) = delete;

    std::uint32_t value() const { return value_; }

  private:
    std::uint32_t value_;
    testing::ScopedTrace trace_;
};

// A seed written in decimal, 0 to 2^32 - 1, nothing else around it.
std::optional<std::uint32_t> parse_seed(std::string_view text);

}  // namespace testsupport
