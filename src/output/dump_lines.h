// The dump's line builders, for the dump to a stream (hex_dump.cpp) and the transcript's own, which
// formats straight into its output buffers, in slices on several threads for a large dump.
// Internal to the output room.
#pragma once

#include <cstddef>
#include <cstdint>

#include "output/dump_layout.h"

namespace dump_lines {

// Writes `lines` full lines for the 16 * `lines` bytes at `bytes`, the first with the offset
// `offset`, and returns their length, `lines` * dump_layout::full_line_length. Reentrant: slices of
// one dump may be built on several threads at once.
using FullLines = std::size_t (*)(char* to, std::uint32_t offset, const unsigned char* bytes,
                                  std::size_t lines);

// The widest builder this processor has (platform/cpu.h); all of them write the same bytes.
FullLines full_line_builder();

// The length of the line for a last group of `n` bytes (1 to 16).
constexpr std::size_t short_line_length(std::size_t n) {
    return dump_layout::char_column + n + 1;
}

// Writes the line for a last group of `n` bytes (1 to 16) and returns short_line_length(n).
std::size_t put_short_line(char* line, std::uint32_t offset, const unsigned char* bytes,
                           std::size_t n);

}  // namespace dump_lines
