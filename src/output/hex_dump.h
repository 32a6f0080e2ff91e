// The diagnostic dump: classic offset / hex / character lines, and decimal text of integers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Prints `count` bytes at `data` to standard output, sixteen to a line. A count of 0 prints
// nothing.
// Kept: part of the interface the tool itself does not call (its tests do); not dead code.
void hex_dump(const void* data, std::uint32_t count);
// The same lines to `out`; the tool's own output goes through `stdout`, so order with other
// lines is kept.
void hex_dump(std::FILE* out, const void* data, std::uint32_t count);

// Base-10 text of `value`, with a leading '-' when negative.
std::string int_to_string(std::int32_t value);
