// Trial decryption of a note under many candidate passwords at once: for each candidate the key
// is SHA-256 of its bytes, and the first and the last plaintext block of the note come back. A
// candidate whose blocks look right is then confirmed by the caller with the whole text and its
// check hash; the keys themselves never leave this module and are wiped before it returns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// The two ciphertext blocks a trial decrypts, each beside the block it is chained to.
struct KeyTrialTarget {
    std::uint8_t first_chain[16];   // the IV
    std::uint8_t first_cipher[16];  // C_0
    std::uint8_t last_chain[16];    // C_{n-2}, or the IV when the note is one block long
    std::uint8_t last_cipher[16];   // C_{n-1}
    bool one_block;                 // C_0 is C_{n-1}: one decryption serves both
};

// The target of a note with this IV and ciphertext (a non-zero multiple of 16 bytes).
KeyTrialTarget key_trial_target(const std::uint8_t iv[16],
                                std::span<const std::uint8_t> ciphertext);

struct KeyTrialCandidate {
    const std::uint8_t* bytes;  // may be null when `size` is 0
    std::size_t size;
};

// What one candidate's key makes of the target: P_0 and P_{n-1}. They are plaintext when the
// candidate is right; the caller wipes them once judged.
struct KeyTrialBlocks {
    std::uint8_t first[16];
    std::uint8_t last[16];
};

// Fills out[i] for each of the `count` candidates. The processor path (portable, or SHA and AES
// instructions on several candidates side by side) is chosen once per call. Calls
// aes_tables_init(), so the first call must finish before other threads make theirs. Any count
// and any candidate length are accepted: a candidate longer than one hash block (55 bytes) takes
// a slower general route.
void key_trial(const KeyTrialTarget& target, const KeyTrialCandidate* candidates, std::size_t count,
               KeyTrialBlocks* out);
