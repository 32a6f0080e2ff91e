#include "crypto/sha256.h"

#include <stddef.h>  // ::size_t, as the assertions below spell it

#include <cstring>
#include <limits>

#include "crypto/sha256_constants.h"
#include "crypto/sha256_shani.h"
#include "platform/check.h"
#include "platform/cpu.h"
#include "platform/secure_wipe.h"

namespace {

using sha256_internal::initial_state;
using sha256_internal::round_constants;

constexpr std::uint8_t padding_block[64] = {0x80};

// The largest piece handed to the core's 32-bit length when size_t is wider. A multiple of the
// block size, so that no piece boundary leaves bytes pending in `block`.
constexpr std::uint32_t max_piece = 0xFFFFFFC0;

// Shifts and ors rather than a load and a byte swap: the result does not depend on the host's byte
// order or on alignment, and compilers turn the pattern into one load and one bswap.
inline std::uint32_t load_be32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
}

inline void store_be32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

inline std::uint32_t rotr(std::uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

// The sigmas nest their rotations: each step needs only the previous result and x, so the
// compiler keeps one temporary instead of copying x for each of the three rotations.
inline std::uint32_t big_sigma0(std::uint32_t x) {
    return rotr(rotr(rotr(x, 9) ^ x, 11) ^ x, 2);
}
inline std::uint32_t big_sigma1(std::uint32_t x) {
    return rotr(rotr(rotr(x, 14) ^ x, 5) ^ x, 6);
}
inline std::uint32_t small_sigma0(std::uint32_t x) {
    return rotr(rotr(x, 11) ^ x, 7) ^ (x >> 3);
}
inline std::uint32_t small_sigma1(std::uint32_t x) {
    return rotr(rotr(x, 2) ^ x, 17) ^ (x >> 10);
}

// Ch with one operation fewer than the textbook form.
inline std::uint32_t choose(std::uint32_t e, std::uint32_t f, std::uint32_t g) {
    return g ^ (e & (f ^ g));
}

// Compresses `blocks` whole blocks at `data` into `ctx`: on the SHA extensions where the processor
// has them, else one portable compression after another. The choice is made once per call.
void compress_blocks(Sha256Context& ctx, const std::uint8_t* data, std::uint32_t blocks) {
#if NOTEDIAG_X86_PATHS
    if (platform::cpu_has(platform::cpu_sha)) {
        sha256_internal::compress_blocks_shani(ctx.state, data, blocks);
        return;
    }
#endif
    for (; blocks > 0; --blocks, data += sha256_block_size) {
        sha256_compress(ctx, data);
    }
}

// Feeds a count of any size to the core without truncating it to 32 bits.
void add_sized(Sha256Context& ctx, const std::uint8_t* data, std::size_t size) {
    if constexpr (sizeof(std::size_t) > sizeof(std::uint32_t)) {
        while (size > max_piece) {
            sha256_add(ctx, data, max_piece);
            data += max_piece;
            size -= max_piece;
        }
    }
    sha256_add(ctx, data, static_cast<std::uint32_t>(size));
}

}  // namespace

void sha256_begin(Sha256Context& ctx) {
    ctx.count_low = 0;
    ctx.count_high = 0;
    std::memcpy(ctx.state, initial_state, sizeof ctx.state);
}

void sha256_add(Sha256Context& ctx, const std::uint8_t* data, std::uint32_t length) {
    if (length == 0) {
        return;
    }
    std::uint32_t r = ctx.count_low % 64;
    const std::uint32_t fill = 64 - r;
    ctx.count_low += length;
    if (ctx.count_low < length) {
        ++ctx.count_high;
    }
    if (r > 0 && length >= fill) {
        std::memcpy(ctx.block + r, data, fill);
        compress_blocks(ctx, ctx.block, 1);
        data += fill;
        length -= fill;
        r = 0;
    }
    if (length >= 64) {
        const std::uint32_t whole = length / 64;
        compress_blocks(ctx, data, whole);
        data += 64 * whole;
        length -= 64 * whole;
    }
    if (length > 0) {
        std::memcpy(ctx.block + r, data, length);
    }
}

void sha256_end(Sha256Context& ctx, std::uint8_t digest[sha256_digest_size]) {
    std::uint8_t length_bytes[8];
    store_be32(length_bytes, ctx.count_high << 3 | ctx.count_low >> 29);
    store_be32(length_bytes + 4, ctx.count_low << 3);

    const std::uint32_t r = ctx.count_low % 64;
    sha256_add(ctx, padding_block, r < 56 ? 56 - r : 120 - r);
    sha256_add(ctx, length_bytes, sizeof length_bytes);

    for (int i = 0; i < 8; ++i) {
        store_be32(digest + 4 * i, ctx.state[i]);
    }
    std::memset(ctx.block, 0, sizeof ctx.block);
}

// One round with the working variables named by position; the next round passes the same eight
// variables rotated by one, so no value is ever moved between registers. Maj(a, b, c) is computed
// as b ^ ((a ^ b) & (b ^ c)): this round's a ^ b is the next round's b ^ c, kept in `bc`.
#define SHA256_ROUND(a, b, c, d, e, f, g, h, i)                                                   \
    do {                                                                                          \
        const std::uint32_t t1 = h + round_constants[i] + w[i] + big_sigma1(e) + choose(e, f, g); \
        d += t1;                                                                                  \
        const std::uint32_t ab = a ^ b;                                                           \
        h = t1 + big_sigma0(a) + (b ^ (ab & bc));                                                 \
        bc = ab;                                                                                  \
    } while (0)

// Rounds 0-15 take their word from the block, rounds 16-63 extend the schedule as they go.
#define SHA256_LOAD(i) w[i] = load_be32(block + 4 * (i))
#define SHA256_EXTEND(i) \
    w[i] = small_sigma1(w[(i)-2]) + w[(i)-7] + small_sigma0(w[(i)-15]) + w[(i)-16]

#define R0(a, b, c, d, e, f, g, h, i) \
    SHA256_LOAD(i);                   \
    SHA256_ROUND(a, b, c, d, e, f, g, h, i)
#define R1(a, b, c, d, e, f, g, h, i) \
    SHA256_EXTEND(i);                 \
    SHA256_ROUND(a, b, c, d, e, f, g, h, i)

[[gnu::hot]] void sha256_compress(Sha256Context& ctx, const std::uint8_t block[sha256_block_size]) {
    std::uint32_t w[64];
    std::uint32_t a = ctx.state[0], b = ctx.state[1], c = ctx.state[2], d = ctx.state[3];
    std::uint32_t e = ctx.state[4], f = ctx.state[5], g = ctx.state[6], h = ctx.state[7];
    std::uint32_t bc = b ^ c;

    // clang-format off
    R0(a, b, c, d, e, f, g, h, 0);  R0(h, a, b, c, d, e, f, g, 1);
    R0(g, h, a, b, c, d, e, f, 2);  R0(f, g, h, a, b, c, d, e, 3);
    R0(e, f, g, h, a, b, c, d, 4);  R0(d, e, f, g, h, a, b, c, 5);
    R0(c, d, e, f, g, h, a, b, 6);  R0(b, c, d, e, f, g, h, a, 7);
    R0(a, b, c, d, e, f, g, h, 8);  R0(h, a, b, c, d, e, f, g, 9);
    R0(g, h, a, b, c, d, e, f, 10); R0(f, g, h, a, b, c, d, e, 11);
    R0(e, f, g, h, a, b, c, d, 12); R0(d, e, f, g, h, a, b, c, 13);
    R0(c, d, e, f, g, h, a, b, 14); R0(b, c, d, e, f, g, h, a, 15);
    R1(a, b, c, d, e, f, g, h, 16); R1(h, a, b, c, d, e, f, g, 17);
    R1(g, h, a, b, c, d, e, f, 18); R1(f, g, h, a, b, c, d, e, 19);
    R1(e, f, g, h, a, b, c, d, 20); R1(d, e, f, g, h, a, b, c, 21);
    R1(c, d, e, f, g, h, a, b, 22); R1(b, c, d, e, f, g, h, a, 23);
    R1(a, b, c, d, e, f, g, h, 24); R1(h, a, b, c, d, e, f, g, 25);
    R1(g, h, a, b, c, d, e, f, 26); R1(f, g, h, a, b, c, d, e, 27);
    R1(e, f, g, h, a, b, c, d, 28); R1(d, e, f, g, h, a, b, c, 29);
    R1(c, d, e, f, g, h, a, b, 30); R1(b, c, d, e, f, g, h, a, 31);
    R1(a, b, c, d, e, f, g, h, 32); R1(h, a, b, c, d, e, f, g, 33);
    R1(g, h, a, b, c, d, e, f, 34); R1(f, g, h, a, b, c, d, e, 35);
    R1(e, f, g, h, a, b, c, d, 36); R1(d, e, f, g, h, a, b, c, 37);
    R1(c, d, e, f, g, h, a, b, 38); R1(b, c, d, e, f, g, h, a, 39);
    R1(a, b, c, d, e, f, g, h, 40); R1(h, a, b, c, d, e, f, g, 41);
    R1(g, h, a, b, c, d, e, f, 42); R1(f, g, h, a, b, c, d, e, 43);
    R1(e, f, g, h, a, b, c, d, 44); R1(d, e, f, g, h, a, b, c, 45);
    R1(c, d, e, f, g, h, a, b, 46); R1(b, c, d, e, f, g, h, a, 47);
    R1(a, b, c, d, e, f, g, h, 48); R1(h, a, b, c, d, e, f, g, 49);
    R1(g, h, a, b, c, d, e, f, 50); R1(f, g, h, a, b, c, d, e, 51);
    R1(e, f, g, h, a, b, c, d, 52); R1(d, e, f, g, h, a, b, c, 53);
    R1(c, d, e, f, g, h, a, b, 54); R1(b, c, d, e, f, g, h, a, 55);
    R1(a, b, c, d, e, f, g, h, 56); R1(h, a, b, c, d, e, f, g, 57);
    R1(g, h, a, b, c, d, e, f, 58); R1(f, g, h, a, b, c, d, e, 59);
    R1(e, f, g, h, a, b, c, d, 60); R1(d, e, f, g, h, a, b, c, 61);
    R1(c, d, e, f, g, h, a, b, 62); R1(b, c, d, e, f, g, h, a, 63);
    // clang-format on

    ctx.state[0] += a;
    ctx.state[1] += b;
    ctx.state[2] += c;
    ctx.state[3] += d;
    ctx.state[4] += e;
    ctx.state[5] += f;
    ctx.state[6] += g;
    ctx.state[7] += h;
}

#undef R0
#undef R1
#undef SHA256_LOAD
#undef SHA256_EXTEND
#undef SHA256_ROUND

void sha256_digest(std::uint8_t digest[sha256_digest_size], const void* data, std::size_t size) {
    NOTEDIAG_ASSERT(size <= std::numeric_limits<size_t>::max());
    Sha256Context ctx;
    sha256_begin(ctx);
    add_sized(ctx, static_cast<const std::uint8_t*>(data), size);
    sha256_end(ctx, digest);
    // `state` now equals the digest, which is the derived key when the input is a password.
    platform::secure_wipe(&ctx, sizeof ctx);
}

Sha256Hasher::Sha256Hasher() : context(new Sha256Context) {}

Sha256Hasher::~Sha256Hasher() {
    // The pending block and the state derive from the input, which may be secret plaintext.
    platform::secure_wipe(context, sizeof *context);
    delete context;
}

void Sha256Hasher::init() {
    sha256_begin(*context);
}

void Sha256Hasher::update(const void* data, std::size_t length) {
    NOTEDIAG_ASSERT(length <= std::numeric_limits<size_t>::max());
    add_sized(*context, static_cast<const std::uint8_t*>(data), length);
}

void Sha256Hasher::finish(std::uint8_t digest[sha256_digest_size]) {
    sha256_end(*context, digest);
}
