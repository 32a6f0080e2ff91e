#include "support/seed.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace testsupport {
namespace {

std::uint32_t chosen_seed() {
    const char* text = std::getenv("NOTEDIAG_SEED");
    if (text == nullptr) {
        return static_cast<std::uint32_t>(std::random_device{}());
    }
    if (const auto seed = parse_seed(text)) {
        return *seed;
    }
    ADD_FAILURE() << "NOTEDIAG_SEED='" << text << "' is not a decimal number below 2^32";
    return 0;
}

std::string replay_line(std::uint32_t seed) {
    const std::string line = "replay with NOTEDIAG_SEED=" + std::to_string(seed);
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    testing::Test::RecordProperty("seed", std::to_string(seed));
    return line;
}

}  // namespace

std::optional<std::uint32_t> parse_seed(std::string_view text) {
    std::uint32_t seed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seed);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return seed;
}

TestSeed::TestSeed() : value_(chosen_seed()), trace_(__FILE__, __LINE__, replay_line(value_)) {}

}  // namespace testsupport
