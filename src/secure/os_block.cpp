#include "secure/os_block.h"

#include <new>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace secure {
namespace {

OsBlockWatch watch;

#ifdef _WIN32

// Large pages on Windows need a privilege that an ordinary user lacks; plain committed pages.
void* map(std::size_t size) {
    void* block = VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

void unmap(void* block, std::size_t) noexcept {
    VirtualFree(block, 0, MEM_RELEASE);
}

#else

std::size_t page_size() {
    static const auto size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return size;
}

// The size of a huge page where transparent huge pages exist (x86-64 and aarch64 with 4 KiB base
// pages); a mapping is aligned to it so that every whole 2 MiB of the block can be one.
constexpr std::size_t huge_page = 2 * 1024 * 1024;

std::size_t mapped_length(std::size_t size) {
    const std::size_t page = page_size();
    return (size + page - 1) / page * page;
}

void* map(std::size_t size) {
    const std::size_t length = mapped_length(size);
    // Over-mapped by one huge page and trimmed to an aligned start, when the block spans one.
    const bool align = length >= huge_page && length <= SIZE_MAX - huge_page;
    const std::size_t asked = align ? length + huge_page : length;
    void* mapping =
        mmap(nullptr, asked, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) {
        throw std::bad_alloc();
    }
    auto* start = static_cast<unsigned char*>(mapping);
    if (align) {
        const auto address = reinterpret_cast<std::uintptr_t>(start);
        const std::size_t head = (huge_page - address % huge_page) % huge_page;
        if (head != 0) {
            munmap(start, head);
        }
        const std::size_t tail = huge_page - head;
        if (tail != 0) {
            munmap(start + head + length, tail);
        }
        start += head;
    }
    // Advice only: a kernel without the feature (or an emulator) refuses it, and the block works
    // the same without it.
#ifdef MADV_HUGEPAGE
    if (align) {
        madvise(start, length, MADV_HUGEPAGE);
    }
#endif
#ifdef MADV_DONTDUMP
    madvise(start, length, MADV_DONTDUMP);
#endif
    return start;
}

void unmap(void* block, std::size_t size) noexcept {
    munmap(block, mapped_length(size));
}

#endif

}  // namespace

std::uint8_t* take_block(std::size_t size) {
    if (size < os_block_threshold) {
        return new std::uint8_t[size];
    }
    void* block = map(size);
    if (watch.taken != nullptr) {
        watch.taken(block, size);
    }
    return static_cast<std::uint8_t*>(block);
}

void give_block(std::uint8_t* block, std::size_t size) noexcept {
    if (size < os_block_threshold) {
        delete[] block;
        return;
    }
    if (watch.released != nullptr) {
        watch.released(block, size);
    }
    unmap(block, size);
}

OsBlockWatch watch_os_blocks_for_testing(OsBlockWatch replacement) noexcept {
    const OsBlockWatch previous = watch;
    watch = replacement;
    return previous;
}

}  // namespace secure
