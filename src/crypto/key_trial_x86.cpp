#include "crypto/key_trial_x86.h"

#if NOTEDIAG_X86_PATHS

#include <immintrin.h>

#include <algorithm>
#include <cstring>

#include "crypto/sha256.h"
#include "crypto/sha256_constants.h"
#include "crypto/sha256_shani.h"
#include "crypto/sha256_shani_rounds.h"
#include "platform/secure_wipe.h"

// Only the functions below are built for the SHA and AES instructions (and the SSSE3 shuffle and
// SSE4.1 blend around them); the rest of the program runs on any x86-64.
#define NOTEDIAG_KEY_TRIAL [[gnu::target("sha,aes,sse4.1")]]
#define NOTEDIAG_KEY_TRIAL_INLINE [[gnu::target("sha,aes,sse4.1"), gnu::always_inline]] inline

namespace key_trial_internal {

namespace {

// Candidates share one pass through the hash and the cipher in groups of this many. Each hash or
// cipher step waits several cycles for the one before it in the same candidate, while the units
// accept a new instruction every cycle or two: steps of different candidates fill those cycles.
constexpr int kGroup = 8;
// Candidates hashed side by side. Each holds six registers (two of state, four of schedule), so
// two fit the sixteen XMM registers with room for temporaries, and already keep SHA256RNDS2 busy.
constexpr int kShaLanes = 2;
// Candidates whose blocks go through the cipher rounds side by side: two blocks each.
constexpr int kAesLanes = 4;
// Bytes of a candidate that still leave room in one block for the 0x80 byte and the length.
constexpr std::size_t kOneBlock = 55;

// What a group works on. It holds candidates, keys and round keys, so it is wiped once the call
// is done with it.
struct alignas(16) Scratch {
    std::uint8_t message[kGroup][64];  // each candidate as its one padded hash block
    std::uint8_t key[kGroup][32];
    __m128i round_keys[kGroup][15];  // the equivalent inverse cipher's, in the order used
};

NOTEDIAG_KEY_TRIAL_INLINE __m128i load(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

NOTEDIAG_KEY_TRIAL_INLINE void store(void* p, __m128i v) {
    _mm_storeu_si128(static_cast<__m128i*>(p), v);
}

using sha256_internal::all_rounds;
using sha256_internal::from_register_pair;
using sha256_internal::initial_state;
using sha256_internal::load_message_words;
using sha256_internal::to_register_pair;

// Reverses the bytes of each 32-bit lane: the hash's words are big-endian.
NOTEDIAG_KEY_TRIAL_INLINE __m128i swap_words(__m128i v) {
    return _mm_shuffle_epi8(v, _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3));
}

// key[l] = SHA-256 digest of the one-block padded message[l], for L lanes.
template <int L>
NOTEDIAG_KEY_TRIAL_INLINE void sha_one_block(const std::uint8_t (*message)[64],
                                             std::uint8_t (*key)[32]) {
    __m128i abef0;
    __m128i cdgh0;
    to_register_pair(initial_state, abef0, cdgh0);
    __m128i abef[L];
    __m128i cdgh[L];
    __m128i m[L][4];
    for (int l = 0; l < L; ++l) {
        abef[l] = abef0;
        cdgh[l] = cdgh0;
        for (int q = 0; q < 4; ++q) {
            m[l][q] = load_message_words(message[l] + 16 * q);
        }
    }
    all_rounds<L, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15>(abef, cdgh, m);
    for (int l = 0; l < L; ++l) {
        __m128i abcd;
        __m128i efgh;
        from_register_pair(_mm_add_epi32(abef[l], abef0), _mm_add_epi32(cdgh[l], cdgh0), abcd,
                           efgh);
        // H0..H7, each word stored most significant byte first.
        store(key[l], swap_words(abcd));
        store(key[l] + 16, swap_words(efgh));
    }
}

// The padded single block of a candidate of at most kOneBlock bytes.
void one_block_message(std::uint8_t (&message)[64], const KeyTrialCandidate& candidate) {
    std::memset(message, 0, sizeof message);
    if (candidate.size > 0) {
        std::memcpy(message, candidate.bytes, candidate.size);
    }
    message[candidate.size] = 0x80;
    const std::size_t bits = candidate.size * 8;
    message[62] = static_cast<std::uint8_t>(bits >> 8);
    message[63] = static_cast<std::uint8_t>(bits);
}

// ---- AES-256 key schedules and decryptions, a group at a time ------------------------------

// x ^ (x << 32) ^ (x << 64) ^ (x << 96): each word of a round key is the xor of the words of the
// key eight words back up to its own position.
NOTEDIAG_KEY_TRIAL_INLINE __m128i prefix_xor(__m128i x) {
    x = _mm_xor_si128(x, _mm_slli_si128(x, 4));
    return _mm_xor_si128(x, _mm_slli_si128(x, 8));
}

// Round keys 2I and 2I + 1 of every lane from keys 2I - 2 and 2I - 1. AESKEYGENASSIST gives
// SubWord(RotWord(w)) ^ Rcon in its fourth word and SubWord(w) in its third, of the last word w of
// the key before.
template <int I, int Rcon>
NOTEDIAG_KEY_TRIAL_INLINE void schedule_step(__m128i (&even)[kGroup], __m128i (&odd)[kGroup],
                                             Scratch& s) {
    for (int l = 0; l < kGroup; ++l) {
        const __m128i t = _mm_shuffle_epi32(_mm_aeskeygenassist_si128(odd[l], Rcon), 0xFF);
        even[l] = _mm_xor_si128(prefix_xor(even[l]), t);
        // Slot 14 - r holds round key r; the middle ones take InvMixColumns for AESDEC.
        if constexpr (I == 7) {
            s.round_keys[l][0] = even[l];
        } else {
            s.round_keys[l][14 - 2 * I] = _mm_aesimc_si128(even[l]);
        }
    }
    if constexpr (I < 7) {
        for (int l = 0; l < kGroup; ++l) {
            const __m128i t = _mm_shuffle_epi32(_mm_aeskeygenassist_si128(even[l], 0), 0xAA);
            odd[l] = _mm_xor_si128(prefix_xor(odd[l]), t);
            s.round_keys[l][13 - 2 * I] = _mm_aesimc_si128(odd[l]);
        }
    }
}

NOTEDIAG_KEY_TRIAL_INLINE void schedules(Scratch& s) {
    __m128i even[kGroup];
    __m128i odd[kGroup];
    for (int l = 0; l < kGroup; ++l) {
        even[l] = load(s.key[l]);
        odd[l] = load(s.key[l] + 16);
        s.round_keys[l][14] = even[l];
        s.round_keys[l][13] = _mm_aesimc_si128(odd[l]);
    }
    schedule_step<1, 0x01>(even, odd, s);
    schedule_step<2, 0x02>(even, odd, s);
    schedule_step<3, 0x04>(even, odd, s);
    schedule_step<4, 0x08>(even, odd, s);
    schedule_step<5, 0x10>(even, odd, s);
    schedule_step<6, 0x20>(even, odd, s);
    schedule_step<7, 0x40>(even, odd, s);
}

// Decrypts the target's blocks for lanes `first` to `first + L - 1` of the group. `Blocks` is 1
// when one decryption serves both.
template <int L, int Blocks>
NOTEDIAG_KEY_TRIAL_INLINE void decrypt_lanes(const Scratch& s, int first,
                                             const KeyTrialTarget& target, __m128i (&p0)[L],
                                             __m128i (&p1)[L]) {
    const __m128i c0 = load(target.first_cipher);
    const __m128i c1 = load(target.last_cipher);
    for (int l = 0; l < L; ++l) {
        const __m128i k = s.round_keys[first + l][0];
        p0[l] = _mm_xor_si128(c0, k);
        if constexpr (Blocks == 2) {
            p1[l] = _mm_xor_si128(c1, k);
        }
    }
    for (int r = 1; r < 14; ++r) {
        for (int l = 0; l < L; ++l) {
            const __m128i k = s.round_keys[first + l][r];
            p0[l] = _mm_aesdec_si128(p0[l], k);
            if constexpr (Blocks == 2) {
                p1[l] = _mm_aesdec_si128(p1[l], k);
            }
        }
    }
    const __m128i chain0 = load(target.first_chain);
    const __m128i chain1 = load(target.last_chain);
    for (int l = 0; l < L; ++l) {
        const __m128i k = s.round_keys[first + l][14];
        p0[l] = _mm_xor_si128(_mm_aesdeclast_si128(p0[l], k), chain0);
        if constexpr (Blocks == 2) {
            p1[l] = _mm_xor_si128(_mm_aesdeclast_si128(p1[l], k), chain1);
        } else {
            p1[l] = p0[l];
        }
    }
}

template <int Blocks>
NOTEDIAG_KEY_TRIAL_INLINE void decrypt_group(const Scratch& s, const KeyTrialTarget& target,
                                             int lanes, KeyTrialBlocks* out) {
    for (int first = 0; first < kGroup; first += kAesLanes) {
        __m128i p0[kAesLanes];
        __m128i p1[kAesLanes];
        decrypt_lanes<kAesLanes, Blocks>(s, first, target, p0, p1);
        for (int l = 0; l < kAesLanes && first + l < lanes; ++l) {
            store(out[first + l].first, p0[l]);
            store(out[first + l].last, p1[l]);
        }
    }
}

NOTEDIAG_KEY_TRIAL void trial_group(Scratch& s, const KeyTrialTarget& target,
                                    const KeyTrialCandidate* candidates, int lanes,
                                    KeyTrialBlocks* out) {
    // A short group is filled up with its first candidate; only its real lanes are stored.
    for (int l = 0; l < kGroup; ++l) {
        const KeyTrialCandidate& c = candidates[l < lanes ? l : 0];
        if (c.size <= kOneBlock) {
            one_block_message(s.message[l], c);
        }
    }
    for (int l = 0; l < kGroup; l += kShaLanes) {
        sha_one_block<kShaLanes>(s.message + l, s.key + l);
    }
    // A candidate of more than one block is rare (a line of a list); the library's digest, which
    // takes the same extensions and wipes its own state, does it. Lanes past `lanes` are never
    // handed out.
    for (int l = 0; l < lanes; ++l) {
        if (candidates[l].size > kOneBlock) {
            sha256_digest(s.key[l], candidates[l].bytes, candidates[l].size);
        }
    }
    schedules(s);
    if (target.one_block) {
        decrypt_group<1>(s, target, lanes, out);
    } else {
        decrypt_group<2>(s, target, lanes, out);
    }
}

}  // namespace

void key_trial_x86(const KeyTrialTarget& target, const KeyTrialCandidate* candidates,
                   std::size_t count, KeyTrialBlocks* out) {
    Scratch scratch{};
    for (std::size_t done = 0; done < count; done += kGroup) {
        const int lanes = static_cast<int>(std::min<std::size_t>(kGroup, count - done));
        trial_group(scratch, target, candidates + done, lanes, out + done);
    }
    platform::secure_wipe(&scratch, sizeof scratch);
}

}  // namespace key_trial_internal

#endif
