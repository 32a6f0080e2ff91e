#include "secure/Plaintext.h"

#include <cstring>
#include <limits>
#include <utility>

#include "platform/check.h"
#include "platform/debug_output.h"
#include "platform/secure_wipe.h"
#include "secure/os_block.h"

// The record holds no content itself, so it is released without clearing; only the block is
// secret. Blocks come from secure/os_block.h: a large one is mapped, a small one is a heap array.
struct Plaintext::PlaintextImpl {
    std::uint8_t* data = nullptr;
    std::uint32_t size = 0;
    std::uint32_t capacity = 0;

    PlaintextImpl() = default;

    // The new block has the source's capacity; bytes past the size are not copied.
    PlaintextImpl(const PlaintextImpl& other)
        : data(secure::take_block(other.capacity)), size(other.size), capacity(other.capacity) {
        if (size != 0) {
            std::memcpy(data, other.data, size);
        }
    }

    PlaintextImpl& operator=(const PlaintextImpl&) = delete;

    ~PlaintextImpl() { release(); }

    void release() noexcept {
        if (data != nullptr) {
            platform::secure_wipe(data, capacity);
            secure::give_block(data, capacity);
        }
        data = nullptr;
        size = 0;
        capacity = 0;
    }

    // Moves the content into a fresh block of `n` bytes, followed by `tail_n` bytes from `tail`.
    // Everything is copied before the old block is wiped and released, since `tail` may lie in
    // it; the allocation comes first, so a failure leaves the record as it was.
    void grow(std::uint32_t n, const std::uint8_t* tail = nullptr, std::uint32_t tail_n = 0) {
        std::uint8_t* block = secure::take_block(n);
        if (size != 0) {
            std::memcpy(block, data, size);
        }
        if (tail_n != 0) {
            std::memcpy(block + size, tail, tail_n);
        }
        const std::uint32_t kept = size + tail_n;
        release();
        data = block;
        capacity = n;
        size = kept;
    }

    void clear_content() noexcept {
        if (data != nullptr) {
            platform::secure_wipe(data, size);
        }
        size = 0;
    }
};

Plaintext::Plaintext() : imp(new PlaintextImpl) {}

Plaintext::Plaintext(std::uint32_t room) : imp(new PlaintextImpl) {
    try {
        reserve(room);
    } catch (...) {
        delete imp;
        throw;
    }
}

// When the block cannot be allocated, the new-expression releases the half-made record again.
Plaintext::Plaintext(const Plaintext& other) : imp(new PlaintextImpl(*other.imp)) {}

Plaintext::~Plaintext() {
    imp->clear_content();
    delete imp;
}

Plaintext& Plaintext::operator=(Plaintext other) {
    platform::debug_output("Plaintext::swap");
    std::swap(imp, other.imp);
    return *this;  // `other` now holds the old record and wipes it on its way out
}

void Plaintext::swap(Plaintext& other) noexcept {
    platform::debug_output("Plaintext::swap");
    if (&other != this) {
        std::swap(imp, other.imp);
    }
}

void Plaintext::take_from(Plaintext& source) noexcept {
    if (&source != this) {
        imp->release();
        std::swap(imp, source.imp);
    }
}

void Plaintext::resize(std::uint32_t n) {
    if (n < imp->size) {
        // Everything past the new end, including bytes behind the old size, reads as zero.
        platform::secure_wipe(imp->data + n, imp->capacity - n);
    } else if (n > imp->size) {
        reserve(n);
    }
    imp->size = n;
}

void Plaintext::reserve(std::uint32_t n) {
    if (n > imp->capacity) {
        imp->grow(n);
    }
}

void Plaintext::append(const std::uint8_t* bytes, std::uint32_t n) {
    const std::uint32_t start = imp->size;
    NOTEDIAG_ASSERT(n <= std::numeric_limits<std::uint32_t>::max() - start);
    if (n == 0) {
        return;
    }
    if (start + n > imp->capacity) {
        imp->grow(start + n, bytes, n);  // `bytes` may be bytes of the old block
        return;
    }
    // `bytes` may lie in this very block, even overlap the place they go to.
    std::memmove(imp->data + start, bytes, n);
    imp->size = start + n;
}

void Plaintext::clear() noexcept {
    imp->clear_content();
}

std::uint32_t Plaintext::size() const noexcept {
    return imp->size;
}
std::uint32_t Plaintext::capacity() const noexcept {
    return imp->capacity;
}
std::uint8_t* Plaintext::data() noexcept {
    return imp->data;
}
const std::uint8_t* Plaintext::data() const noexcept {
    return imp->data;
}

bool Plaintext::equals(const Plaintext& other) const noexcept {
    return imp->size == other.imp->size &&
           (imp->size == 0 || std::memcmp(imp->data, other.imp->data, imp->size) == 0);
}

void assign_c_string(Plaintext& target, const char* text, bool wide) {
    const std::size_t length = std::strlen(text);
    NOTEDIAG_ASSERT(length <= std::numeric_limits<std::uint32_t>::max() / 2);
    if (!wide) {
        target.resize(static_cast<std::uint32_t>(length));
        if (length != 0) {
            std::memcpy(target.data(), text, length);
        }
        return;
    }
    target.resize(static_cast<std::uint32_t>(2 * length));
    for (std::size_t i = 0; i < length; ++i) {
        const auto unit = static_cast<std::uint16_t>(static_cast<signed char>(text[i]));
        target.data()[2 * i] = static_cast<std::uint8_t>(unit & 0xFF);
        target.data()[2 * i + 1] = static_cast<std::uint8_t>(unit >> 8);
    }
}
