// Integers in the tool's file formats, and the words of the cipher and of the dump, are stored
// least significant byte first whatever the host. memcpy keeps unaligned access defined; on a
// little-endian host each function is a single load or store, on a big-endian one a load or store
// and a byte reversal (which compilers emit as one instruction where the processor has it). They
// sit in the cipher's innermost loop, so they are forced inline.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__GNUC__)
#define NOTEDIAG_LE_INLINE [[gnu::always_inline]] inline
#else
#define NOTEDIAG_LE_INLINE inline
#endif

namespace platform {

NOTEDIAG_LE_INLINE std::uint32_t reverse_bytes32(std::uint32_t v) {
    return v << 24 | (v & 0xFF00) << 8 | (v >> 8 & 0xFF00) | v >> 24;
}

NOTEDIAG_LE_INLINE std::uint64_t reverse_bytes64(std::uint64_t v) {
    return std::uint64_t{reverse_bytes32(static_cast<std::uint32_t>(v))} << 32 |
           reverse_bytes32(static_cast<std::uint32_t>(v >> 32));
}

NOTEDIAG_LE_INLINE std::uint32_t load_le32(const void* bytes) {
    std::uint32_t word;
    std::memcpy(&word, bytes, sizeof word);
    if constexpr (std::endian::native == std::endian::big) {
        word = reverse_bytes32(word);
    }
    return word;
}

NOTEDIAG_LE_INLINE void store_le32(void* bytes, std::uint32_t word) {
    if constexpr (std::endian::native == std::endian::big) {
        word = reverse_bytes32(word);
    }
    std::memcpy(bytes, &word, sizeof word);
}

// The dump assembles whole lines in 64-bit words.
NOTEDIAG_LE_INLINE std::uint64_t load_le64(const void* bytes) {
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    if constexpr (std::endian::native == std::endian::big) {
        word = reverse_bytes64(word);
    }
    return word;
}

NOTEDIAG_LE_INLINE void store_le64(void* bytes, std::uint64_t word) {
    if constexpr (std::endian::native == std::endian::big) {
        word = reverse_bytes64(word);
    }
    std::memcpy(bytes, &word, sizeof word);
}

}  // namespace platform
