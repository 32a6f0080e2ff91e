// A plain, obviously-correct formatter of the dump lines, written independently of the tool's
// table-driven one, to predict transcripts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// The dump lines of `count` bytes; `base` is the offset printed for the first byte.
std::string reference_dump(const std::uint8_t* data, std::size_t count, std::uint32_t base = 0);
inline std::string reference_dump(const std::string& bytes) {
    return reference_dump(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}
inline std::string reference_dump(const std::vector<std::uint8_t>& bytes, std::uint32_t base = 0) {
    return reference_dump(bytes.data(), bytes.size(), base);
}

}  // namespace testsupport
