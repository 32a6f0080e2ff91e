#include "support/note_builder.h"

#include <openssl/evp.h>
#include <openssl/sha.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

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

std::string sha256(const std::string& bytes) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
    return {reinterpret_cast<const char*>(digest), sizeof digest};
}

std::string cbc(const std::string& input, const std::string& key, const std::string& iv,
                bool encrypt) {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    std::string output(input.size() + 16, '\0');
    int written = 0;
    int final_written = 0;
    const auto* k = reinterpret_cast<const unsigned char*>(key.data());
    const auto* v = reinterpret_cast<const unsigned char*>(iv.data());
    auto* out = reinterpret_cast<unsigned char*>(output.data());
    const bool ok =
        EVP_CipherInit_ex(ctx, EVP_aes_256_cbc(), nullptr, k, v, encrypt ? 1 : 0) == 1 &&
        EVP_CIPHER_CTX_set_padding(ctx, 0) == 1 &&
        EVP_CipherUpdate(ctx, out, &written, reinterpret_cast<const unsigned char*>(input.data()),
                         static_cast<int>(input.size())) == 1 &&
        EVP_CipherFinal_ex(ctx, out + written, &final_written) == 1;
    EVP_CIPHER_CTX_free(ctx);
    if (!ok)
        throw std::runtime_error("libcrypto CBC failed");
    output.resize(static_cast<std::size_t>(written + final_written));
    return output;
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

std::string build_note(const Note& note) {
    const std::string iv(note.iv.begin(), note.iv.end());
    std::string padded = note.text;
    if (note.pad) {
        const std::size_t fill = 16 - note.text.size() % 16;
        padded.append(fill, static_cast<char>(fill));
    } else if (padded.size() % 16 != 0) {
        throw std::invalid_argument("an unpadded text must fill whole blocks");
    }
    const std::string ciphertext = cbc(padded, sha256(note.password), iv, true);
    return "SEKRiT*2" + sha256(note.text + iv) + iv +
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
    const std::string decrypted = cbc(ciphertext, sha256(password), iv, false);
    const std::string plaintext = decrypted.substr(0, plain_len);
    return key_line(password) + header_lines(document) + dumped("ciphertext:", ciphertext) +
           dumped("plaintext (before shrink):", decrypted) +
           dumped("decrypted hash:", sha256(plaintext + iv)) + dumped("plaintext:", plaintext) +
           plaintext.substr(0, plaintext.find('\0')) + "\n";
}

}  // namespace testsupport
