// Seals version-2 note documents with a chosen password, IV and padding, and predicts the tool's
// transcript for them. The cipher and hash behind both are libcrypto's for the tests where it is at
// hand, the project's own elsewhere (note_crypto.h).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "document/format.h"

namespace testsupport {

// How a text is filled up to whole blocks: 1 to 16 bytes each equal to their count, 0 to 15 zero
// bytes, or not at all (the text must then fill whole blocks itself).
enum class Pad { pkcs7, zeros, none };

struct Note {
    std::string password = "secret";
    std::string text = "hello, world";
    std::uint32_t flags = 0;
    std::uint32_t width = 640;
    std::uint32_t height = 480;
    Pad pad = Pad::pkcs7;
    std::array<std::uint8_t, 16> iv = {0x10, 0x32, 0x54, 0x76, 0x98, 0xba, 0xdc, 0xfe,
                                       0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};
};

// Header and ciphertext of `note`.
std::string build_note(const Note& note);

// Overwrites the little-endian 32-bit field at `offset` of a document.
void patch_le32(std::string& document, std::size_t offset, std::uint32_t value);
// Flips every bit of the byte at `offset`: a damaged stored hash, or a damaged ciphertext block.
void damage(std::string& document, std::size_t offset);

std::string le32(std::uint32_t value);
// The 8-byte trailer that carries a document of `length` bytes at the end of a host file.
std::string trailer(std::uint32_t length);

std::string key_line(const std::string& password);
// The sizes line and the "iv:" and "wanted hash:" dumps of the document's header.
std::string header_lines(const std::string& document);
// Everything the tool prints for a sound document read with `password`, key line included,
// ending with the text line.
std::string expected_transcript(const std::string& document, const std::string& password);

}  // namespace testsupport
