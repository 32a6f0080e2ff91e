// Where the secure buffer's blocks come from: small ones from the heap, large ones straight from
// the operating system.
//
// A large block is mapped for itself alone (mmap, VirtualAlloc), kept out of core dumps and, where
// the system offers transparent huge pages, advised for them: reading a note of tens of mebibytes
// into a heap block cost one page fault per 4 KiB page, each expensive under virtualisation, where
// huge pages take one per 2 MiB. Mapped memory is handed out zeroed; a block goes back to the
// system when its owner releases it, so nothing of it lingers in a free list either. Wiping stays
// the owner's duty, before every release, exactly as for heap blocks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace secure {

// Blocks of at least this many bytes are mapped; smaller ones come from the heap, where a mapping
// (a system call, a whole page at least) would cost more than it saves.
inline constexpr std::size_t os_block_threshold = 256 * 1024;

// A block of `size` bytes, from the heap or mapped by the rule above; throws std::bad_alloc when
// none can be had. A size of 0 gives a valid heap block.
std::uint8_t* take_block(std::size_t size);
// Gives back a block from take_block with the same `size`. The caller has wiped it.
void give_block(std::uint8_t* block, std::size_t size) noexcept;

// Test hook, not for the tool: `taken` sees every mapped block just after it is mapped, `released`
// every one right before it is unmapped (its bytes still readable); either may be null. Returns
// the watch it replaces. Not synchronised: set it while no block is taken or given back.
struct OsBlockWatch {
    void (*taken)(void* block, std::size_t size) = nullptr;
    void (*released)(const unsigned char* block, std::size_t size) = nullptr;
};
OsBlockWatch watch_os_blocks_for_testing(OsBlockWatch watch) noexcept;

}  // namespace secure
