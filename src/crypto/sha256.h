// SHA-256 (FIPS 180-2): a core of free functions over a plain context, a one-shot digest and an
// incremental hasher.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t sha256_digest_size = 32;
inline constexpr std::size_t sha256_block_size = 64;

struct Sha256Context {
    std::uint32_t count_low;   // message bytes since begin, modulo 2^32
    std::uint32_t count_high;  // how often count_low wrapped: the high half of the byte count
    std::uint32_t state[8];    // chaining value H0..H7
    std::uint8_t block[64];    // the first (count_low % 64) bytes are pending input
};

// Counts to 0, state to the initial hash value; `block` is left alone.
void sha256_begin(Sha256Context& ctx);
// Adds `length` bytes; whole blocks are compressed where they lie.
void sha256_add(Sha256Context& ctx, const std::uint8_t* data, std::uint32_t length);
// Pads, writes the digest and zeroes `block`. The padding and the length go through the context
// like any input, so the counts advance by them and `state` ends as the digest: begin afresh
// before hashing anything else with the same context.
void sha256_end(Sha256Context& ctx, std::uint8_t digest[sha256_digest_size]);
// One FIPS 180-2 compression of a 64-byte block into `state`.
void sha256_compress(Sha256Context& ctx, const std::uint8_t block[sha256_block_size]);

// Digest of `size` bytes at `data`; counts wider than 32 bits reach the core in pieces.
void sha256_digest(std::uint8_t digest[sha256_digest_size], const void* data, std::size_t size);

// Incremental hasher owning its context on the heap: construct, init, update..., finish.
class Sha256Hasher {
  public:
    Sha256Hasher();   // allocates the context; does not begin it
    ~Sha256Hasher();  // wipes the context (it may hold secret input) and releases it
    Sha256Hasher(const Sha256Hasher&) = delete;
    Sha256Hasher& operator=(const Sha256Hasher&) = delete;

    void init();
    void update(const void* data, std::size_t length);
    void finish(std::uint8_t digest[sha256_digest_size]);

  private:
    Sha256Context* context;
};
