#include "crypto/aes/aes.h"
#include "crypto/aes/aes_rounds.h"

namespace {

using namespace aes_internal;

template <int Rounds>
void decrypt_block(const std::uint8_t in[16], std::uint8_t out[16], const std::uint32_t* rk) {
    Columns s = load_columns(in);
    decrypt_columns<Rounds>(rk, s);
    store_columns(out, s);
}

template <int Rounds>
void encrypt_block(const std::uint8_t in[16], std::uint8_t out[16], const std::uint32_t* rk) {
    Columns s = load_columns(in);
    encrypt_columns<Rounds>(rk, s);
    store_columns(out, s);
}

}  // namespace

int aes_block_decrypt(const std::uint8_t in[16], std::uint8_t out[16],
                      const AesDecryptContext& ctx) {
    switch (ctx.rounds16) {
        case 160:
            decrypt_block<10>(in, out, ctx.round_keys);
            return 0;
        case 192:
            decrypt_block<12>(in, out, ctx.round_keys);
            return 0;
        case 224:
            decrypt_block<14>(in, out, ctx.round_keys);
            return 0;
        default:
            return 1;
    }
}

int aes_block_encrypt(const std::uint8_t in[16], std::uint8_t out[16],
                      const AesEncryptContext& ctx) {
    switch (ctx.rounds16) {
        case 160:
            encrypt_block<10>(in, out, ctx.round_keys);
            return 0;
        case 192:
            encrypt_block<12>(in, out, ctx.round_keys);
            return 0;
        case 224:
            encrypt_block<14>(in, out, ctx.round_keys);
            return 0;
        default:
            return 1;
    }
}
