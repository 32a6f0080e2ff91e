#include <cstdint>
#include <limits>
#include <stdexcept>

#include "crypto/aes/aes.h"
#include "crypto/aes/aes_modes.h"
#include "crypto/sha256.h"
#include "testkit/note_crypto.h"

namespace testsupport {
namespace {

const std::uint8_t* bytes_of(const std::string& text) {
    return reinterpret_cast<const std::uint8_t*>(text.data());
}

}  // namespace

std::string note_sha256(const std::string& bytes) {
    std::uint8_t digest[sha256_digest_size];
    sha256_digest(digest, bytes.data(), bytes.size());
    return {reinterpret_cast<const char*>(digest), sizeof digest};
}

std::string note_cbc(const std::string& input, const std::string& key, const std::string& iv,
                     bool encrypt) {
    if (key.size() != 32 || iv.size() != 16 || input.size() % 16 != 0 ||
        input.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        throw std::invalid_argument("CBC wants a 32-byte key, a 16-byte IV and whole blocks");
    aes_tables_init();
    std::string output(input.size(), '\0');
    std::uint8_t chain[16];
    iv.copy(reinterpret_cast<char*>(chain), sizeof chain);
    auto* out = reinterpret_cast<std::uint8_t*>(output.data());
    const int length = static_cast<int>(input.size());
    int status = 0;
    if (encrypt) {
        AesEncryptContext ctx{};
        aes_encrypt_schedule_256(bytes_of(key), ctx);
        status = aes_modes_cbc_encrypt(bytes_of(input), out, length, chain, ctx);
    } else {
        AesDecryptContext ctx{};
        aes_decrypt_schedule_256(bytes_of(key), ctx);
        status = aes_modes_cbc_decrypt(bytes_of(input), out, length, chain, ctx);
    }
    if (status != 0)
        throw std::runtime_error("CBC failed");
    return output;
}

}  // namespace testsupport
