// Plaintext: the byte buffer for secrets (the password, decrypted texts).
//
// Value semantics with deep copies. Memory that held content is overwritten with zeros as soon as
// it stops holding it: the tail a shrink leaves behind, the old block when content moves to a
// larger one, the content on clear(), the whole block on destruction. Content is raw bytes with
// no terminator; users bound it by size(). A block of secure::os_block_threshold bytes or more is
// mapped from the operating system, out of core dumps and on huge pages where there are any
// (secure/os_block.h); a smaller one comes from the heap.
#pragma once

#include <cstdint>

class Plaintext {
  public:
    Plaintext();                             // size 0, capacity 0, no block
    explicit Plaintext(std::uint32_t room);  // size 0, capacity `room`
    Plaintext(const Plaintext& other);       // deep copy: same size and capacity
    ~Plaintext();                            // wipes the block, then releases it

    // The target takes a fresh copy of `other`; its former content is wiped and released.
    Plaintext& operator=(Plaintext other);
    // Exchanges the contents; no byte is copied or cleared.
    void swap(Plaintext& other) noexcept;
    // Takes over the block and content of `source`, which is left empty; this buffer's own block is
    // wiped and released first. A hand-over rather than an exchange, so unlike swap it leaves no
    // trace on the debugger output.
    void take_from(Plaintext& source) noexcept;

    // Shrinking zeroes the block from `n` to its end; growth beyond the capacity moves the content
    // into a block of exactly `n` bytes and wipes the old one. Bytes gained by growth are
    // unspecified.
    void resize(std::uint32_t n);
    // Makes the capacity at least `n` (exactly `n` when it grows); content and size stay.
    void reserve(std::uint32_t n);
    // Adds `n` bytes after the content; `bytes` may lie in this very block.
    // Kept: part of the interface the tool itself does not call (its tests do); not dead code.
    void append(const std::uint8_t* bytes, std::uint32_t n);
    // Zeroes the content and sets the size to 0; block and capacity stay.
    void clear() noexcept;

    std::uint32_t size() const noexcept;
    std::uint32_t capacity() const noexcept;
    bool empty() const noexcept { return size() == 0; }
    // The first byte of the block; null while there is none. Stale after growth beyond the
    // capacity, swap, assignment and destruction.
    std::uint8_t* data() noexcept;
    const std::uint8_t* data() const noexcept;

    // Kept: part of the interface the tool itself does not call (its tests do); not dead code.
    bool equals(const Plaintext& other) const noexcept;

  private:
    struct PlaintextImpl;
    PlaintextImpl* imp;
};

inline bool operator==(const Plaintext& a, const Plaintext& b) noexcept {
    return a.equals(b);
}
inline bool operator!=(const Plaintext& a, const Plaintext& b) noexcept {
    return !a.equals(b);
}

// Makes the zero-terminated `text` (without its terminator) the target's content: as bytes, or
// with `wide` set as little-endian 16-bit units, each byte sign-extended (0xE9 -> 0xFFE9). The
// wide form is kept though the tool passes bytes only (its tests cover it); not dead code.
void assign_c_string(Plaintext& target, const char* text, bool wide);
