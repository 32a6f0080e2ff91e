// Where everything lies on a dump line, for the portable line builder and the vector ones alike:
// "%08X:  ", sixteen cells of "hh " with one extra space after the eighth, then one character per
// byte and the newline. A full line is 77 bytes with its newline.
#pragma once

#include <cstddef>

namespace dump_layout {

inline constexpr std::size_t bytes_per_line = 16;
inline constexpr std::size_t offset_digits = 8;
inline constexpr std::size_t offset_width = 11;     // "%08X:  "
inline constexpr std::size_t cell_area_width = 49;  // 16 cells of 3 and the gap
inline constexpr std::size_t char_column = offset_width + cell_area_width;
inline constexpr std::size_t newline_column = char_column + bytes_per_line;
inline constexpr std::size_t full_line_length = newline_column + 1;

// Column of the cell for position `i`; the extra space after position 7 shifts the upper half.
constexpr std::size_t cell_column(std::size_t i) {
    return offset_width + 3 * i + (i >= 8 ? 1 : 0);
}

static_assert(cell_column(15) + 3 == char_column);

}  // namespace dump_layout
