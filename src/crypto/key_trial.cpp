#include "crypto/key_trial.h"

#include <cstring>

#include "crypto/aes/aes.h"
#include "crypto/key_trial_x86.h"
#include "crypto/sha256.h"
#include "platform/check.h"
#include "platform/cpu.h"
#include "platform/secure_wipe.h"

namespace {

void xor_block(std::uint8_t* out, const std::uint8_t* chain) {
    for (int i = 0; i < 16; ++i) {
        out[i] = static_cast<std::uint8_t>(out[i] ^ chain[i]);
    }
}

// One candidate after another with the module's own hash and cipher.
void key_trial_portable(const KeyTrialTarget& target, const KeyTrialCandidate* candidates,
                        std::size_t count, KeyTrialBlocks* out) {
    struct {
        std::uint8_t key[sha256_digest_size];
        AesDecryptContext context;
    } secrets;
    for (std::size_t i = 0; i < count; ++i) {
        sha256_digest(secrets.key, candidates[i].bytes, candidates[i].size);
        aes_decrypt_schedule_256(secrets.key, secrets.context);
        aes_block_decrypt(target.first_cipher, out[i].first, secrets.context);
        xor_block(out[i].first, target.first_chain);
        if (target.one_block) {
            std::memcpy(out[i].last, out[i].first, 16);
        } else {
            aes_block_decrypt(target.last_cipher, out[i].last, secrets.context);
            xor_block(out[i].last, target.last_chain);
        }
    }
    platform::secure_wipe(&secrets, sizeof secrets);
}

}  // namespace

KeyTrialTarget key_trial_target(const std::uint8_t iv[16],
                                std::span<const std::uint8_t> ciphertext) {
    NOTEDIAG_ASSERT(!ciphertext.empty() && ciphertext.size() % 16 == 0);
    const std::size_t n = ciphertext.size();
    KeyTrialTarget target{};
    std::memcpy(target.first_chain, iv, 16);
    std::memcpy(target.first_cipher, ciphertext.data(), 16);
    std::memcpy(target.last_chain, n == 16 ? iv : ciphertext.data() + n - 32, 16);
    std::memcpy(target.last_cipher, ciphertext.data() + n - 16, 16);
    target.one_block = n == 16;
    return target;
}

void key_trial(const KeyTrialTarget& target, const KeyTrialCandidate* candidates, std::size_t count,
               KeyTrialBlocks* out) {
    if (count == 0) {
        return;
    }
    aes_tables_init();
#if NOTEDIAG_X86_PATHS
    if (platform::cpu_has(platform::cpu_sha | platform::cpu_aesni)) {
        key_trial_internal::key_trial_x86(target, candidates, count, out);
        return;
    }
#endif
    key_trial_portable(target, candidates, count, out);
}
