// A replacement of the global allocator that counts, and lets a test look at, every block taken and
// released while it is armed: the heap's, and the blocks the secure buffer maps from the operating
// system (secure/os_block.h), which reach the same watch as Form::mapped.
//
// Include this header in exactly one source file of a test binary: it defines the replaceable
// global operators new and delete, and a replacement must be part of the binary itself (one kept
// in a static library is linked only when something else pulls its object file in).
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

#include "secure/os_block.h"

namespace testsupport::allocator {

// new / delete, new[] / delete[], or a block mapped for the secure buffer
enum class Form { single, array, mapped };

// Called for each block while armed; they must not allocate (the allocator is disarmed while they
// run, so a stray allocation is not seen, not an endless recursion). A block just taken holds
// nothing yet, so `taken` gets its address only, not bytes to read.
struct Watch {
    void (*taken)(void* at, std::size_t size, Form form) = nullptr;
    void (*released)(const unsigned char* at, std::size_t size, Form form) = nullptr;
};

struct Counts {
    std::size_t bytes_taken = 0;
    std::size_t blocks_taken = 0;
    std::size_t blocks_released = 0;
};

inline Watch watch;
inline Counts counts;
inline bool armed = false;

namespace detail {

inline void mapped_taken(void* block, std::size_t size);
inline void mapped_released(const unsigned char* block, std::size_t size);

}  // namespace detail

// Starts counting afresh, and watching with `w`.
inline void arm(Watch w = {}) {
    watch = w;
    counts = {};
    secure::watch_os_blocks_for_testing({detail::mapped_taken, detail::mapped_released});
    armed = true;
}
inline void disarm() {
    armed = false;
}

namespace detail {

struct alignas(std::max_align_t) BlockHeader {
    std::size_t size;
};

inline void* take(std::size_t size, Form form) {
    auto* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + size));
    if (header == nullptr) {
        throw std::bad_alloc();
    }
    header->size = size;
    auto* block = reinterpret_cast<unsigned char*>(header + 1);
    if (armed) {
        armed = false;
        counts.bytes_taken += size;
        ++counts.blocks_taken;
        if (watch.taken != nullptr) {
            watch.taken(block, size, form);
        }
        armed = true;
    }
    return block;
}

inline void release(void* block, Form form) noexcept {
    if (block == nullptr) {
        return;
    }
    BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
    if (armed) {
        armed = false;
        ++counts.blocks_released;
        if (watch.released != nullptr) {
            watch.released(static_cast<const unsigned char*>(block), header->size, form);
        }
        armed = true;
    }
    std::free(header);
}

inline void mapped_taken(void* block, std::size_t size) {
    if (armed) {
        armed = false;
        counts.bytes_taken += size;
        ++counts.blocks_taken;
        if (watch.taken != nullptr) {
            watch.taken(block, size, Form::mapped);
        }
        armed = true;
    }
}

inline void mapped_released(const unsigned char* block, std::size_t size) {
    if (armed) {
        armed = false;
        ++counts.blocks_released;
        if (watch.released != nullptr) {
            watch.released(block, size, Form::mapped);
        }
        armed = true;
    }
}

}  // namespace detail
}  // namespace testsupport::allocator

void* operator new(std::size_t size) {
    return testsupport::allocator::detail::take(size, testsupport::allocator::Form::single);
}
void* operator new[](std::size_t size) {
    return testsupport::allocator::detail::take(size, testsupport::allocator::Form::array);
}
void operator delete(void* block) noexcept {
    testsupport::allocator::detail::release(block, testsupport::allocator::Form::single);
}
void operator delete[](void* block) noexcept {
    testsupport::allocator::detail::release(block, testsupport::allocator::Form::array);
}
void operator delete(void* block, std::size_t) noexcept {
    testsupport::allocator::detail::release(block, testsupport::allocator::Form::single);
}
void operator delete[](void* block, std::size_t) noexcept {
    testsupport::allocator::detail::release(block, testsupport::allocator::Form::array);
}
