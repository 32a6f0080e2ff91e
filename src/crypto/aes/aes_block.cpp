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
    return with_rounds(ctx.rounds16,
                       [&]<int Rounds>() { decrypt_block<Rounds>(in, out, ctx.round_keys); });
}

int aes_block_encrypt(const std::uint8_t in[16], std::uint8_t out[16],
                      const AesEncryptContext& ctx) {
    return with_rounds(ctx.rounds16,
                       [&]<int Rounds>() { encrypt_block<Rounds>(in, out, ctx.round_keys); });
}
