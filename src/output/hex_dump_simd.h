// The dump's full lines built with vector instructions, beside the 64-bit line builder of
// hex_dump.cpp. Internal to the dump; compiled only where platform/cpu.h enables the x86 paths.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/cpu.h"

#if NOTEDIAG_X86_PATHS

namespace hex_dump_internal {

// Each writes `lines` full lines for the 16 * `lines` bytes at `bytes` to `to`, the first line with
// the offset `offset` (a multiple of 16, with no line's offset past 2^32 - 16), and returns the
// length written, `lines` * dump_layout::full_line_length; nothing is written beyond it. The bytes
// are the same as those of the portable builder. The first needs cpu_ssse3, the second cpu_avx2.
std::size_t put_full_lines_ssse3(char* to, std::uint32_t offset, const unsigned char* bytes,
                                 std::size_t lines);
std::size_t put_full_lines_avx2(char* to, std::uint32_t offset, const unsigned char* bytes,
                                std::size_t lines);

}  // namespace hex_dump_internal

#endif
