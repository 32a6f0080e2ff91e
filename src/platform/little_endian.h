// Integers in the tool's file formats are unsigned 32-bit little-endian, whatever the host.
#pragma once

#include <cstdint>

namespace platform {

inline std::uint32_t load_le32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

}  // namespace platform
