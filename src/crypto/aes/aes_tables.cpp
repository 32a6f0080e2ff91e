#include "crypto/aes/aes_tables.h"

#include <bit>

#include "crypto/aes/aes.h"
#include "platform/little_endian.h"

namespace aes_internal {

AesTables aes_tables;

namespace {

// Degree of a non-zero polynomial over GF(2) held as a bit mask.
int degree(std::uint32_t poly) {
    return std::bit_width(poly) - 1;
}

}  // namespace

std::uint8_t aes_gf_inverse(std::uint8_t x) {
    if (x < 2) {
        return x;
    }
    // Extended Euclid on polynomials over GF(2). c2 tracks the multiple of x in r1, c1 the one in
    // r2 (modulo 0x11B), so whichever remainder reaches 1 first carries the inverse.
    std::uint32_t r1 = 0x11B;
    std::uint32_t r2 = x;
    std::uint32_t c1 = 1;
    std::uint32_t c2 = 0;
    for (;;) {
        while (degree(r1) >= degree(r2)) {
            const int shift = degree(r1) - degree(r2);
            r1 ^= r2 << shift;
            c2 ^= c1 << shift;
        }
        if (degree(r1) == 0) {
            return static_cast<std::uint8_t>(c2);
        }
        while (degree(r2) >= degree(r1)) {
            const int shift = degree(r2) - degree(r1);
            r2 ^= r1 << shift;
            c1 ^= c2 << shift;
        }
        if (degree(r2) == 0) {
            return static_cast<std::uint8_t>(c1);
        }
    }
}

}  // namespace aes_internal

namespace {

std::uint8_t xtime(std::uint8_t b) {
    return static_cast<std::uint8_t>((b << 1) ^ ((b & 0x80) != 0 ? 0x1B : 0));
}

std::uint8_t gf_mul(std::uint8_t a, std::uint8_t b) {
    std::uint8_t product = 0;
    for (; b != 0; b >>= 1, a = xtime(a)) {
        if ((b & 1) != 0) {
            product ^= a;
        }
    }
    return product;
}

std::uint8_t rotl8(std::uint8_t b, int n) {
    return static_cast<std::uint8_t>((b << n) | (b >> (8 - n)));
}

std::uint32_t bytes_to_word(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
    const std::uint8_t bytes[4] = {b0, b1, b2, b3};
    return platform::load_le32(bytes);
}

}  // namespace

int aes_tables_init() {
    auto& t = aes_internal::aes_tables;
    if (t.tables_ready != 0) {
        return 0;
    }
    std::uint8_t rc = 1;
    for (auto& entry : t.round_const) {
        entry = rc;
        rc = xtime(rc);
    }
    for (int i = 0; i < 256; ++i) {
        const auto in = static_cast<std::uint8_t>(i);
        const std::uint8_t inv = aes_internal::aes_gf_inverse(in);
        const auto s = static_cast<std::uint8_t>(inv ^ rotl8(inv, 1) ^ rotl8(inv, 2) ^
                                                 rotl8(inv, 3) ^ rotl8(inv, 4) ^ 0x63);
        const std::uint32_t fwd = bytes_to_word(gf_mul(s, 2), s, s, gf_mul(s, 3));
        const std::uint8_t v = aes_internal::aes_gf_inverse(
            static_cast<std::uint8_t>(rotl8(in, 1) ^ rotl8(in, 3) ^ rotl8(in, 6) ^ 0x05));
        const std::uint32_t inv_mix =
            bytes_to_word(gf_mul(v, 0x0E), gf_mul(v, 0x09), gf_mul(v, 0x0D), gf_mul(v, 0x0B));
        for (int k = 0; k < 4; ++k) {
            t.fwd_round[k][i] = std::rotl(fwd, 8 * k);
            t.fwd_last[k][i] = std::uint32_t{s} << (8 * k);
            t.inv_round[k][i] = std::rotl(inv_mix, 8 * k);
            t.inv_last[k][i] = std::uint32_t{v} << (8 * k);
            // Indexed by v: the key schedule mixes raw round-key bytes, with no S-box in front.
            t.inv_mix_key[k][v] = std::rotl(inv_mix, 8 * k);
        }
    }
    t.tables_ready = 1;
    return 0;
}
