#include "support/note_builder.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "support/note_crypto.h"
#include "support/reference_dump.h"

namespace testsupport {
namespace {

std::uint32_t field(const std::string& document, std::size_t offset) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = value << 8 |
                static_cast<std::uint8_t>(document.at(offset + static_cast<std::size_t>(i)));
    }
    return value;
}

std::string dumped(const char* label, const std::string& bytes) {
    return std::string(label) + "\n" + reference_dump(bytes);
}

}  // namespace

std::string le32(std::uint32_t value) {
    return {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
            static_cast<char>(value >> 24)};
}

std::string trailer(std::uint32_t length) {
    return le32(0xDEADBEEF) + le32(length);
}

void patch_le32(std::string& document, std::size_t offset, std::uint32_t value) {
    document.replace(offset, 4, le32(value));
}

void damage(std::string& document, std::size_t offset) {
    document.at(offset) = static_cast<char>(~document.at(offset));
}

std::string build_note(const Note& note) {
    const std::string iv(note.iv.begin(), note.iv.end());
    std::string padded = note.text;
    const std::size_t fill = 16 - note.text.size() % 16;
    if (note.pad == Pad::pkcs7) {
        padded.append(fill, static_cast<char>(fill));
    } else if (note.pad == Pad::zeros) {
        padded.append(fill % 16, '\0');
    } else if (padded.size() % 16 != 0) {
        throw std::invalid_argument("an unpadded text must fill whole blocks");
    }
    const std::string ciphertext = note_cbc(padded, note_sha256(note.password), iv, true);
    return "SEKRiT*2" + note_sha256(note.text + iv) + iv +
           le32(static_cast<std::uint32_t>(ciphertext.size())) +
           le32(static_cast<std::uint32_t>(note.text.size())) + le32(note.flags) +
           le32(note.width) + le32(note.height) + ciphertext;
}

std::string key_line(const std::string& password) {
    return "key <" + password + ">, " + std::to_string(password.size()) + "/" +
           std::to_string(password.size()) + "\n";
}

std::string header_lines(const std::string& document) {
    char sizes[96];
    std::snprintf(sizes, sizeof sizes, "%d/%d bytes, %dx%d window size\n",
                  static_cast<int>(field(document, 56)), static_cast<int>(field(document, 60)),
                  static_cast<int>(field(document, 68)), static_cast<int>(field(document, 72)));
    return sizes + dumped("iv:", document.substr(40, 16)) +
           dumped("wanted hash:", document.substr(8, 32));
}

std::string expected_transcript(const std::string& document, const std::string& password) {
    const std::uint32_t cipher_len = field(document, 56);
    const std::uint32_t plain_len = field(document, 60);
    const std::string iv = document.substr(40, 16);
    const std::string ciphertext = document.substr(76, cipher_len);
    const std::string decrypted = note_cbc(ciphertext, note_sha256(password), iv, false);
    const std::string plaintext = decrypted.substr(0, plain_len);
    return key_line(password) + header_lines(document) + dumped("ciphertext:", ciphertext) +
           dumped("plaintext (before shrink):", decrypted) +
           dumped("decrypted hash:", note_sha256(plaintext + iv)) +
           dumped("plaintext:", plaintext) + plaintext.substr(0, plaintext.find('\0')) + "\n";
}

}  // namespace testsupport
