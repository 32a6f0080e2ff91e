#include "output/hex_dump.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <limits>
#include <system_error>

#include "output/dump_layout.h"
#include "output/dump_lines.h"
#include "output/hex_dump_simd.h"
#include "platform/check.h"
#include "platform/cpu.h"
#include "platform/hex_digits.h"
#include "platform/little_endian.h"
#include "platform/secure_wipe.h"

namespace {

// A version-2 run dumps the ciphertext and the plaintext twice, so a large document turns into
// about fourteen times its size in dump text. Lines are therefore assembled from tables with
// fixed-position stores and handed to stdio a block at a time instead of a call per line.

using dump_layout::cell_column;
constexpr std::size_t kBytesPerLine = dump_layout::bytes_per_line;
constexpr std::size_t kCharColumnStart = dump_layout::char_column;
constexpr std::size_t kFullLineLength = dump_layout::full_line_length;  // with '\n'
constexpr std::size_t kBlockSize = 64 * 1024;

// Full lines are assembled in 64-bit registers and stored whole, least significant byte first.
using Word = std::uint64_t;

// The cell of byte b as a word holding its two hex digits and a space in its low three bytes.
constexpr std::array<std::uint32_t, 256> kCell = [] {
    constexpr const char* digits = platform::hex_digits_lower;
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t b = 0; b < 256; ++b) {
        const auto hi = static_cast<std::uint32_t>(digits[b >> 4]);
        const auto lo = static_cast<std::uint32_t>(digits[b & 0xF]);
        table[b] = hi | lo << 8 | std::uint32_t{' '} << 16;
    }
    return table;
}();

// The eight offset digits, two per table entry.
constexpr std::array<std::uint16_t, 256> kOffsetPair = [] {
    constexpr const char* digits = platform::hex_digits_upper;
    std::array<std::uint16_t, 256> table{};
    for (std::uint32_t b = 0; b < 256; ++b) {
        table[b] = static_cast<std::uint16_t>(static_cast<std::uint32_t>(digits[b >> 4]) |
                                              static_cast<std::uint32_t>(digits[b & 0xF]) << 8);
    }
    return table;
}();

constexpr std::array<char, 256> kPrintable = [] {
    std::array<char, 256> table{};
    for (std::size_t i = 0; i < 256; ++i) {
        table[i] = (i >= 0x20 && i <= 0x7E) ? static_cast<char>(i) : '.';
    }
    return table;
}();

// Between a word's bytes in memory and its value the order is the little-endian one on every
// host; on a little-endian machine this is no work at all.
void store(char* to, Word word) {
    platform::store_le64(to, word);
}

Word load(const unsigned char* from) {
    return platform::load_le64(from);
}

Word cell(Word bytes, int index) {
    return kCell[(bytes >> (8 * index)) & 0xFF];
}

// "%08X:  " for `offset`: the digits as one word, then the colon and two spaces (the fourth byte
// of that store is overwritten by the first cell).
void put_offset(char* line, std::uint32_t offset) {
    const Word digits =
        Word{kOffsetPair[offset >> 24]} | Word{kOffsetPair[(offset >> 16) & 0xFF]} << 16 |
        Word{kOffsetPair[(offset >> 8) & 0xFF]} << 32 | Word{kOffsetPair[offset & 0xFF]} << 48;
    store(line, digits);
    std::memcpy(line + 8, ":   ", 4);
}

// The 24 characters of eight cells, "aa bb cc dd ee ff gg hh ", as three stores.
void put_cells(char* to, Word bytes) {
    store(to, cell(bytes, 0) | cell(bytes, 1) << 24 | cell(bytes, 2) << 48);
    store(to + 8, Word{' '} | cell(bytes, 3) << 8 | cell(bytes, 4) << 32 | cell(bytes, 5) << 56);
    store(to + 16, cell(bytes, 5) >> 8 | cell(bytes, 6) << 16 | cell(bytes, 7) << 40);
}

// The character column of eight bytes: each byte in 0x20..0x7E kept, every other one '.'.
Word printable(Word bytes) {
    constexpr Word kOnes = 0x0101010101010101;
    constexpr Word kHigh = 0x8080808080808080;
    const Word low7 = bytes & ~kHigh;
    const Word at_least_space = low7 + 0x60 * kOnes;  // high bit set when low7 >= 0x20
    const Word is_delete = low7 + kOnes;              // high bit set when low7 == 0x7F
    const Word keep = at_least_space & ~is_delete & ~bytes & kHigh;
    const Word mask = (keep >> 7) * 0xFF;
    return (bytes & mask) | ('.' * kOnes & ~mask);
}

// Writes the full line for 16 bytes at `bytes` and returns its length.
std::size_t put_full_line(char* line, std::uint32_t offset, const unsigned char* bytes) {
    const Word low = load(bytes);
    const Word high = load(bytes + 8);
    put_offset(line, offset);
    put_cells(line + cell_column(0), low);
    line[cell_column(8) - 1] = ' ';
    put_cells(line + cell_column(8), high);
    store(line + kCharColumnStart, printable(low));
    store(line + kCharColumnStart + 8, printable(high));
    line[kFullLineLength - 1] = '\n';
    return kFullLineLength;
}

std::size_t put_full_lines(char* to, std::uint32_t offset, const unsigned char* bytes,
                           std::size_t lines) {
    std::size_t length = 0;
    for (std::size_t i = 0; i < lines; ++i) {
        length += put_full_line(to + length, offset + static_cast<std::uint32_t>(i * kBytesPerLine),
                                bytes + i * kBytesPerLine);
    }
    return length;
}

}  // namespace

namespace dump_lines {

FullLines full_line_builder() {
#if NOTEDIAG_X86_PATHS
    if (platform::cpu_has(platform::cpu_avx2)) {
        return hex_dump_internal::put_full_lines_avx2;
    }
    if (platform::cpu_has(platform::cpu_ssse3)) {
        return hex_dump_internal::put_full_lines_ssse3;
    }
#endif
    return put_full_lines;
}

// Runs once per dump, so it goes byte by byte.
std::size_t put_short_line(char* line, std::uint32_t offset, const unsigned char* bytes,
                           std::size_t n) {
    std::memset(line, ' ', kCharColumnStart);
    put_offset(line, offset);
    for (std::size_t i = 0; i < n; ++i) {
        line[cell_column(i)] = static_cast<char>(kCell[bytes[i]] & 0xFF);
        line[cell_column(i) + 1] = static_cast<char>(kCell[bytes[i]] >> 8 & 0xFF);
        line[kCharColumnStart + i] = kPrintable[bytes[i]];
    }
    line[kCharColumnStart + n] = '\n';
    return short_line_length(n);
}

}  // namespace dump_lines

namespace {

using dump_lines::FullLines;
using dump_lines::put_short_line;

}  // namespace

void hex_dump(const void* data, std::uint32_t count) {
    hex_dump(stdout, data, count);
}

void hex_dump(std::FILE* out, const void* data, std::uint32_t count) {
    NOTEDIAG_ASSERT(out != nullptr);
    NOTEDIAG_ASSERT(count == 0 || data != nullptr);
    // A stream that has failed takes nothing more; formatting a large dump for it would be waste.
    if (std::ferror(out) != 0) {
        return;
    }

    const auto* bytes = static_cast<const unsigned char*>(data);
    // Group indices stay below 2^28, so offsets are computed rather than stepped: stepping past
    // the last group of a 4 GiB count would wrap.
    const std::uint32_t full_groups = count / kBytesPerLine;
    const std::size_t tail = count % kBytesPerLine;

    char block[kBlockSize];
    std::size_t used = 0;
    std::size_t high_water = 0;
    bool write_failed = false;
    auto flush = [&] {
        // After a failed write the stream is in error; the rest of the dump has nowhere to go.
        if (!write_failed && used > 0) {
            write_failed = std::fwrite(block, 1, used, out) != used;
        }
        high_water = used > high_water ? used : high_water;
        used = 0;
    };

    // As many lines at a time as the block has room for.
    const FullLines put_lines = dump_lines::full_line_builder();
    for (std::uint32_t group = 0; group < full_groups && !write_failed;) {
        if (kBlockSize - used < kFullLineLength) {
            flush();
        }
        const auto lines = static_cast<std::uint32_t>(
            std::min<std::size_t>(full_groups - group, (kBlockSize - used) / kFullLineLength));
        used += put_lines(block + used, group * std::uint32_t{kBytesPerLine},
                          bytes + std::size_t{group} * kBytesPerLine, lines);
        group += lines;
    }
    if (tail > 0 && !write_failed) {
        if (kBlockSize - used < kFullLineLength) {
            flush();
        }
        used += put_short_line(block + used, full_groups * std::uint32_t{kBytesPerLine},
                               bytes + std::size_t{full_groups} * kBytesPerLine, tail);
    }
    flush();
    // The dumped bytes include decrypted plaintext; the copy here must not outlive the call.
    platform::secure_wipe(block, high_water);
}

std::string int_to_string(std::int32_t value) {
    char text[std::numeric_limits<std::int32_t>::digits10 + 2];  // digits and a sign
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    NOTEDIAG_ASSERT(error == std::errc{});
    return std::string(text, end);
}
