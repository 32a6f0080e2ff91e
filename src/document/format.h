// Where every field of the note formats lies, in one place: the reader, the locator and everything
// that builds or checks documents (tests, fuzz targets, benchmarks) take the offsets from here.
// Every integer field is unsigned 32-bit little-endian (platform/little_endian.h).
#pragma once

#include <cstdint>

inline constexpr char header_v1_signature[8] = {'S', 'E', 'K', 'R', 'i', 'T', '*', '1'};
inline constexpr char header_v2_signature[8] = {'S', 'E', 'K', 'R', 'i', 'T', '*', '2'};

// A version-2 document: this 76-byte header, then `cipher_len` bytes of AES-256-CBC payload.
namespace header_v2 {
inline constexpr std::uint32_t signature = 0;    // 8 bytes, header_v2_signature
inline constexpr std::uint32_t wanted_hash = 8;  // 32 bytes: SHA-256 of the plaintext and the IV
inline constexpr std::uint32_t iv = 40;          // 16 bytes
inline constexpr std::uint32_t cipher_len = 56;  // payload bytes, whole blocks
inline constexpr std::uint32_t plain_len = 60;   // the text's bytes at the payload's start
inline constexpr std::uint32_t flags = 64;       // bit 0 read-only, bit 1 maximised
inline constexpr std::uint32_t width = 68;       // window size
inline constexpr std::uint32_t height = 72;
inline constexpr std::uint32_t payload = 76;  // the first byte after the header
}  // namespace header_v2
inline constexpr std::uint32_t header_v2_size = header_v2::payload;

// The last 8 bytes of a file: a magic of 0xDEADBEEF marks a document carried in front of them,
// `length` bytes long.
namespace container_trailer {
inline constexpr std::uint32_t magic = 0;
inline constexpr std::uint32_t length = 4;
inline constexpr std::uint32_t size = 8;
}  // namespace container_trailer
inline constexpr std::uint32_t container_trailer_magic = 0xDEADBEEF;
