#include "crypto/aes/aes.h"
#include "crypto/aes/aes_rounds.h"
#include "crypto/aes/aes_tables.h"

namespace {

using aes_internal::aes_tables;

constexpr int kKeyWords = 8;
constexpr int kScheduleWords = 60;  // 15 round keys of four words

std::uint32_t sub_word(std::uint32_t t) {
    const auto& s = aes_tables.fwd_last;
    return s[0][t & 0xFF] ^ s[1][(t >> 8) & 0xFF] ^ s[2][(t >> 16) & 0xFF] ^ s[3][t >> 24];
}

// SubWord(RotWord(t)): the rotation is folded into which table each byte goes through.
std::uint32_t sub_rot_word(std::uint32_t t) {
    const auto& s = aes_tables.fwd_last;
    return s[0][(t >> 8) & 0xFF] ^ s[1][(t >> 16) & 0xFF] ^ s[2][t >> 24] ^ s[3][t & 0xFF];
}

std::uint32_t inv_mix_column(std::uint32_t t) {
    const auto& m = aes_tables.inv_mix_key;
    return m[0][t & 0xFF] ^ m[1][(t >> 8) & 0xFF] ^ m[2][(t >> 16) & 0xFF] ^ m[3][t >> 24];
}

// Expands a 256-bit key word by word, handing each word w[i] to put(i, word); only the last eight
// words are kept, so either schedule can store the round keys in its own slot order.
template <class Put>
void expand_key_256(const std::uint8_t key[32], Put put) {
    std::uint32_t window[kKeyWords];  // window[i % 8] holds w[i - 8] until w[i] replaces it
    for (int i = 0; i < kKeyWords; ++i) {
        window[i] = aes_internal::load_le32(key + 4 * i);
        put(i, window[i]);
    }
    std::uint32_t t = window[kKeyWords - 1];
    for (int i = kKeyWords; i < kScheduleWords; ++i) {
        if (i % kKeyWords == 0) {
            t = sub_rot_word(t) ^ aes_tables.round_const[i / kKeyWords - 1];
        } else if (i % kKeyWords == 4) {
            t = sub_word(t);
        }
        t ^= window[i % kKeyWords];
        window[i % kKeyWords] = t;
        put(i, t);
    }
}

// The round count, and the bytes after it cleared, whatever the record held before.
template <class Context>
void set_control_word(Context& ctx) {
    ctx.reserved0 = 0;
    ctx.b_pos = 0;
    ctx.reserved1 = 0;
    ctx.rounds16 = 14 * 16;
}

}  // namespace

int aes_encrypt_schedule_256(const std::uint8_t key[32], AesEncryptContext& ctx) {
    expand_key_256(key, [&ctx](int i, std::uint32_t word) { ctx.round_keys[i] = word; });
    set_control_word(ctx);
    return 0;
}

int aes_decrypt_schedule_256(const std::uint8_t key[32], AesDecryptContext& ctx) {
    // Round key r goes to slot 14 - r: decryption then walks the slots forward.
    expand_key_256(key, [&ctx](int i, std::uint32_t word) {
        ctx.round_keys[4 * (14 - i / 4) + i % 4] = word;
    });
    // Equivalent inverse cipher: InvMixColumns moves from every middle round into its round key,
    // once per key, so a decryption round has the same shape as an encryption round.
    for (int i = 4; i < 4 * 14; ++i) {
        ctx.round_keys[i] = inv_mix_column(ctx.round_keys[i]);
    }
    set_control_word(ctx);
    return 0;
}
