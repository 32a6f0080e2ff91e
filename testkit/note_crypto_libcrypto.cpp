#include <openssl/evp.h>
#include <openssl/sha.h>

#include <stdexcept>

#include "testkit/note_crypto.h"

namespace testsupport {

std::string note_sha256(const std::string& bytes) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
    return {reinterpret_cast<const char*>(digest), sizeof digest};
}

std::string note_cbc(const std::string& input, const std::string& key, const std::string& iv,
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

}  // namespace testsupport
