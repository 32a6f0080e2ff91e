#include "testkit/note_builder.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "platform/little_endian.h"
#include "testkit/note_crypto.h"
#include "testkit/reference_dump.h"

namespace testsupport {
namespace {

std::uint32_t field(const std::string& document, std::size_t offset) {
    static_cast<void>(document.at(offset + 3));  // throws for a field past the end
    return platform::load_le32(document.data() + offset);
}

std::string header_bytes(const std::string& document, std::uint32_t offset, std::uint32_t count) {
    return document.substr(offset, count);
}

std::string dumped(const char* label, const std::string& bytes) {
    return std::string(label) + "\n" + reference_dump(bytes);
}

}  // namespace

std::string le32(std::uint32_t value) {
    std::string bytes(4, '\0');
    platform::store_le32(bytes.data(), value);
    return bytes;
}

std::string trailer(std::uint32_t length) {
    std::string bytes(container_trailer::size, '\0');
    platform::store_le32(bytes.data() + container_trailer::magic, container_trailer_magic);
    platform::store_le32(bytes.data() + container_trailer::length, length);
    return bytes;
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
    std::string document(header_v2_size, '\0');
    document.replace(header_v2::signature, sizeof header_v2_signature, header_v2_signature,
                     sizeof header_v2_signature);
    document.replace(header_v2::wanted_hash, 32, note_sha256(note.text + iv));
    document.replace(header_v2::iv, 16, iv);
    patch_le32(document, header_v2::cipher_len, static_cast<std::uint32_t>(ciphertext.size()));
    patch_le32(document, header_v2::plain_len, static_cast<std::uint32_t>(note.text.size()));
    patch_le32(document, header_v2::flags, note.flags);
    patch_le32(document, header_v2::width, note.width);
    patch_le32(document, header_v2::height, note.height);
    return document + ciphertext;
}

std::string key_line(const std::string& password) {
    return "key <" + password + ">, " + std::to_string(password.size()) + "/" +
           std::to_string(password.size()) + "\n";
}

std::string header_lines(const std::string& document) {
    char sizes[96];
    std::snprintf(sizes, sizeof sizes, "%d/%d bytes, %dx%d window size\n",
                  static_cast<int>(field(document, header_v2::cipher_len)),
                  static_cast<int>(field(document, header_v2::plain_len)),
                  static_cast<int>(field(document, header_v2::width)),
                  static_cast<int>(field(document, header_v2::height)));
    return sizes + dumped("iv:", header_bytes(document, header_v2::iv, 16)) +
           dumped("wanted hash:", header_bytes(document, header_v2::wanted_hash, 32));
}

std::string expected_transcript(const std::string& document, const std::string& password) {
    const std::uint32_t cipher_len = field(document, header_v2::cipher_len);
    const std::uint32_t plain_len = field(document, header_v2::plain_len);
    const std::string iv = header_bytes(document, header_v2::iv, 16);
    const std::string ciphertext = document.substr(header_v2::payload, cipher_len);
    const std::string decrypted = note_cbc(ciphertext, note_sha256(password), iv, false);
    const std::string plaintext = decrypted.substr(0, plain_len);
    return key_line(password) + header_lines(document) + dumped("ciphertext:", ciphertext) +
           dumped("plaintext (before shrink):", decrypted) +
           dumped("decrypted hash:", note_sha256(plaintext + iv)) +
           dumped("plaintext:", plaintext) + plaintext.substr(0, plaintext.find('\0')) + "\n";
}

}  // namespace testsupport
