// The reference for the candidate search: the same work per candidate through libcrypto's EVP
// interface, one thread, the list already in memory. For each line: SHA-256 of it (EVP_Digest),
// an AES-256-CBC decryption context keyed with it and chained to the second-to-last ciphertext
// block, the last block decrypted with padding off; when that block's padding is well-formed, the
// whole text and its check hash. Prints one line per run,
//   evp_loop CANDIDATES_PER_SECOND
//
//   candidates_evp [--count N] [--runs R] [--absent]      (as candidates_bench)
#include <openssl/evp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/candidate_list.h"
#include "platform/check.h"
#include "platform/little_endian.h"

namespace {

bool padding_well_formed(const unsigned char* last, std::uint32_t n) {
    if (n == 0 || n > 16) {
        return false;
    }
    const unsigned char* p = last + 16 - n;
    return std::all_of(p, p + n, [&](unsigned char b) { return b == n; }) ||
           (n <= 15 && std::all_of(p, p + n, [](unsigned char b) { return b == 0; }));
}

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t count = 2000000;
    int runs = 5;
    bool absent = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--count" && i + 1 < argc) {
            count = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--runs" && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
        } else if (arg == "--absent") {
            absent = true;
        } else {
            std::fprintf(stderr, "usage: candidates_evp [--count N] [--runs R] [--absent]\n");
            return 2;
        }
    }
    const std::string list = benchlist::make_list(count, !absent);
    const std::string document = benchlist::make_note();
    const auto* raw = reinterpret_cast<const unsigned char*>(document.data());
    const unsigned char* iv = raw + header_v2::iv;
    const unsigned char* wanted = raw + header_v2::wanted_hash;
    const std::uint32_t plain_len = platform::load_le32(raw + header_v2::plain_len);
    const unsigned char* cipher = raw + header_v2::payload;
    const int cipher_len = static_cast<int>(document.size() - header_v2::payload);
    const unsigned char* last_chain = cipher_len == 16 ? iv : cipher + cipher_len - 32;
    const unsigned char* last = cipher + cipher_len - 16;
    const std::uint32_t padding = static_cast<std::uint32_t>(cipher_len) - plain_len;

    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_MD_CTX* md = EVP_MD_CTX_new();
    std::vector<unsigned char> text(static_cast<std::size_t>(cipher_len) + 16);
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        std::uint64_t tried = 0;
        std::uint64_t found = 0;
        const char* at = list.data();
        const char* const end = at + list.size();
        while (at < end && found == 0) {
            const char* lf = static_cast<const char*>(std::memchr(at, '\n', end - at));
            const char* line_end = lf != nullptr ? lf : end;
            ++tried;
            unsigned char key[32];
            EVP_Digest(at, static_cast<std::size_t>(line_end - at), key, nullptr, EVP_sha256(),
                       nullptr);
            EVP_DecryptInit_ex(ctx, EVP_aes_256_cbc(), nullptr, key, last_chain);
            EVP_CIPHER_CTX_set_padding(ctx, 0);
            unsigned char block[32];
            int produced = 0;
            EVP_DecryptUpdate(ctx, block, &produced, last, 16);
            if (padding_well_formed(block, padding)) {
                EVP_DecryptInit_ex(ctx, EVP_aes_256_cbc(), nullptr, key, iv);
                EVP_CIPHER_CTX_set_padding(ctx, 0);
                EVP_DecryptUpdate(ctx, text.data(), &produced, cipher, cipher_len);
                unsigned char check[32];
                EVP_DigestInit_ex(md, EVP_sha256(), nullptr);
                EVP_DigestUpdate(md, text.data(), plain_len);
                EVP_DigestUpdate(md, iv, 16);
                EVP_DigestFinal_ex(md, check, nullptr);
                if (std::memcmp(check, wanted, 32) == 0) {
                    found = tried;
                }
            }
            at = line_end + 1;
        }
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
        NOTEDIAG_ASSERT(absent ? found == 0 : found == count);
        std::printf("evp_loop %.0f\n", static_cast<double>(tried) / seconds.count());
        std::fflush(stdout);
    }
    EVP_MD_CTX_free(md);
    EVP_CIPHER_CTX_free(ctx);
    return 0;
}
