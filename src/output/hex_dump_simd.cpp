#include "output/hex_dump_simd.h"

#if NOTEDIAG_X86_PATHS

#include <immintrin.h>

#include "output/dump_layout.h"
#include "platform/hex_digits.h"

// Only the functions below are built for SSSE3 or AVX2; the rest of the program runs on any x86-64.
#define NOTEDIAG_SSSE3 [[gnu::target("ssse3")]]
#define NOTEDIAG_SSSE3_INLINE [[gnu::target("ssse3"), gnu::always_inline]] inline
#define NOTEDIAG_AVX2 [[gnu::target("avx2")]]
#define NOTEDIAG_AVX2_INLINE [[gnu::target("avx2"), gnu::always_inline]] inline

namespace hex_dump_internal {

namespace {

// The line's layout, from which every shuffle pattern below is derived.
using dump_layout::cell_column;
using dump_layout::full_line_length;
constexpr std::size_t kOffsetDigits = dump_layout::offset_digits;
constexpr std::size_t kOffsetWidth = dump_layout::offset_width;
constexpr std::size_t kCharColumn = dump_layout::char_column;
constexpr std::size_t kNewline = dump_layout::newline_column;

// A line leaves the registers as five 16-byte pieces. The last starts at byte 61 so that it ends
// with the newline; it rewrites three characters of the fourth with the same values, and no store
// reaches past the line.
constexpr std::size_t kPieces = 5;
constexpr std::size_t kPieceStart[kPieces] = {0, 16, 32, 48, full_line_length - 16};

// How the bytes of one piece are gathered, for vectors of W bytes (16, or 32 for AVX2, whose byte
// shuffle works lane by lane on the line's 16 bytes held in both lanes). Each pattern names, for
// each byte, the index in the 16 input bytes whose high digit, low digit or character goes there;
// 0x80 makes the shuffle write 0 instead, and the fixed text (colon, spaces, newline) is or-ed in.
// The offset digits are added to piece 0 separately.
template <std::size_t W>
struct Piece {
    alignas(W) std::uint8_t high[W];
    alignas(W) std::uint8_t low[W];
    alignas(W) std::uint8_t chars[W];
    alignas(W) std::uint8_t fixed[W];
    bool has_high;
    bool has_low;
    bool has_chars;
};

// The piece of W consecutive columns of a line from column `start`.
template <std::size_t W>
constexpr Piece<W> make_piece(std::size_t start) {
    Piece<W> piece{};
    for (std::size_t j = 0; j < W; ++j) {
        const std::size_t at = start + j;
        piece.high[j] = piece.low[j] = piece.chars[j] = 0x80;
        piece.fixed[j] = 0;
        if (at < kOffsetDigits) {
            continue;
        }
        if (at < kOffsetWidth) {
            piece.fixed[j] = at == kOffsetDigits ? ':' : ' ';
        } else if (at < kCharColumn) {
            piece.fixed[j] = ' ';
            for (std::uint8_t i = 0; i < 16; ++i) {
                if (at == cell_column(i)) {
                    piece.high[j] = i;
                    piece.fixed[j] = 0;
                    piece.has_high = true;
                } else if (at == cell_column(i) + 1) {
                    piece.low[j] = i;
                    piece.fixed[j] = 0;
                    piece.has_low = true;
                }
            }
        } else if (at < kNewline) {
            piece.chars[j] = static_cast<std::uint8_t>(at - kCharColumn);
            piece.has_chars = true;
        } else {
            piece.fixed[j] = '\n';
        }
    }
    return piece;
}

constexpr Piece<16> kLayout[kPieces] = {
    make_piece<16>(kPieceStart[0]), make_piece<16>(kPieceStart[1]), make_piece<16>(kPieceStart[2]),
    make_piece<16>(kPieceStart[3]), make_piece<16>(kPieceStart[4])};

// For AVX2 a line is built in one register, the line's 16 bytes in both 128-bit lanes, so that a
// 32-byte piece holds 32 consecutive characters of one line: three stores a line (bytes 0 to 31,
// 32 to 63, and the SSSE3 line's last piece, 61 to 76, rewriting three characters of the second
// with the same values) instead of five of 16 bytes. The stores bound the dump: a 77-byte line puts
// them across cache lines at every alignment, and each store costs the same whatever its width.
constexpr std::size_t kWideStart[2] = {0, 32};

constexpr Piece<32> kWide0 = make_piece<32>(kWideStart[0]);
constexpr Piece<32> kWide1 = make_piece<32>(kWideStart[1]);

static_assert(kWideStart[1] + 32 > kPieceStart[kPieces - 1]);

// For the offset, which sits in the lowest 32-bit lane of each 128-bit lane with all ones above it:
// both bytes of 16-bit lane k take byte 3 - k of the offset, most significant first, and a 16-bit
// shift by 4 then brings each lane's high nibble into its even byte. Past the digits the bytes are
// all ones, so that the digit shuffle writes 0 there.
struct OffsetPatterns {
    alignas(16) std::uint8_t spread[16];  // offset bytes 3 3 2 2 1 1 0 0, then the all-ones byte 4
    alignas(16) std::uint8_t even[16];    // 0x0F at the digits that take the high nibble
    alignas(16) std::uint8_t odd[16];     // 0x0F at those that take the low nibble, 0xFF past them
};

constexpr OffsetPatterns make_offset_patterns() {
    OffsetPatterns p{};
    for (std::size_t at = 0; at < 16; ++at) {
        const bool digit = at < kOffsetDigits;
        p.spread[at] = static_cast<std::uint8_t>(digit ? 3 - at / 2 : 4);
        p.even[at] = digit && at % 2 == 0 ? 0x0F : 0;
        p.odd[at] = digit ? (at % 2 == 1 ? 0x0F : 0) : 0xFF;
    }
    return p;
}

constexpr OffsetPatterns kOffset = make_offset_patterns();

// Digits, lower case for the cells and upper case for the offset, repeated in each 128-bit lane.
struct alignas(32) DigitLanes {
    char bytes[32];
};

constexpr DigitLanes in_both_lanes(const char* digits) {
    DigitLanes lanes{};
    for (std::size_t i = 0; i < sizeof lanes.bytes; ++i) {
        lanes.bytes[i] = digits[i % 16];
    }
    return lanes;
}

constexpr DigitLanes kLowerDigits = in_both_lanes(platform::hex_digits_lower);
constexpr DigitLanes kUpperDigits = in_both_lanes(platform::hex_digits_upper);

// --- SSSE3: one line at a time ---

NOTEDIAG_SSSE3_INLINE __m128i load16(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

template <std::size_t P>
NOTEDIAG_SSSE3_INLINE __m128i piece16(__m128i high, __m128i low, __m128i chars) {
    constexpr const Piece<16>& layout = kLayout[P];
    __m128i v = load16(layout.fixed);
    if constexpr (layout.has_high) {
        v = _mm_or_si128(v, _mm_shuffle_epi8(high, load16(layout.high)));
    }
    if constexpr (layout.has_low) {
        v = _mm_or_si128(v, _mm_shuffle_epi8(low, load16(layout.low)));
    }
    if constexpr (layout.has_chars) {
        v = _mm_or_si128(v, _mm_shuffle_epi8(chars, load16(layout.chars)));
    }
    return v;
}

// The eight offset digits of the line whose offset is in the low lane of `offset`, the other three
// lanes all ones; zero past the digits.
NOTEDIAG_SSSE3_INLINE __m128i offset_digits16(__m128i offset) {
    const __m128i spread = _mm_shuffle_epi8(offset, load16(kOffset.spread));
    const __m128i nibbles =
        _mm_or_si128(_mm_and_si128(_mm_srli_epi16(spread, 4), load16(kOffset.even)),
                     _mm_and_si128(spread, load16(kOffset.odd)));
    return _mm_shuffle_epi8(load16(kUpperDigits.bytes), nibbles);
}

template <std::size_t P>
NOTEDIAG_SSSE3_INLINE void store16(char* to, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + kPieceStart[P]), v);
}

NOTEDIAG_SSSE3_INLINE void put_line16(char* to, __m128i offset, const unsigned char* bytes) {
    const __m128i b = load16(bytes);
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i digits = load16(kLowerDigits.bytes);
    const __m128i high = _mm_shuffle_epi8(digits, _mm_and_si128(_mm_srli_epi16(b, 4), nibble));
    const __m128i low = _mm_shuffle_epi8(digits, _mm_and_si128(b, nibble));
    // 0x20..0x7E as signed bytes: above 0x1F and below 0x7F; 0x80..0xFF are negative.
    const __m128i keep = _mm_and_si128(_mm_cmpgt_epi8(b, _mm_set1_epi8(0x1F)),
                                       _mm_cmpgt_epi8(_mm_set1_epi8(0x7F), b));
    const __m128i chars =
        _mm_or_si128(_mm_and_si128(keep, b), _mm_andnot_si128(keep, _mm_set1_epi8('.')));

    store16<0>(to, _mm_or_si128(piece16<0>(high, low, chars), offset_digits16(offset)));
    store16<1>(to, piece16<1>(high, low, chars));
    store16<2>(to, piece16<2>(high, low, chars));
    store16<3>(to, piece16<3>(high, low, chars));
    store16<4>(to, piece16<4>(high, low, chars));
}

// --- AVX2: one line a register, in three stores ---

NOTEDIAG_AVX2_INLINE __m256i load32(const void* p) {
    return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}

template <const Piece<32>& layout>
NOTEDIAG_AVX2_INLINE __m256i wide_piece(__m256i high, __m256i low, __m256i chars) {
    __m256i v = load32(layout.fixed);
    if constexpr (layout.has_high) {
        v = _mm256_or_si256(v, _mm256_shuffle_epi8(high, load32(layout.high)));
    }
    if constexpr (layout.has_low) {
        v = _mm256_or_si256(v, _mm256_shuffle_epi8(low, load32(layout.low)));
    }
    if constexpr (layout.has_chars) {
        v = _mm256_or_si256(v, _mm256_shuffle_epi8(chars, load32(layout.chars)));
    }
    return v;
}

// `offset` holds the line's offset in its low 32-bit lane, all ones in the other three.
NOTEDIAG_AVX2_INLINE void put_line32(char* to, __m128i offset, const unsigned char* bytes) {
    const __m256i b = _mm256_broadcastsi128_si256(load16(bytes));
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i digits = load32(kLowerDigits.bytes);
    const __m256i high =
        _mm256_shuffle_epi8(digits, _mm256_and_si256(_mm256_srli_epi16(b, 4), nibble));
    const __m256i low = _mm256_shuffle_epi8(digits, _mm256_and_si256(b, nibble));
    const __m256i keep = _mm256_and_si256(_mm256_cmpgt_epi8(b, _mm256_set1_epi8(0x1F)),
                                          _mm256_cmpgt_epi8(_mm256_set1_epi8(0x7F), b));
    const __m256i chars = _mm256_blendv_epi8(_mm256_set1_epi8('.'), b, keep);
    // The offset's digits in the low lane only: the upper lane of the first piece is cells.
    const __m256i offset_digits = _mm256_set_m128i(_mm_setzero_si128(), offset_digits16(offset));

    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + kWideStart[0]),
                        _mm256_or_si256(wide_piece<kWide0>(high, low, chars), offset_digits));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + kWideStart[1]),
                        wide_piece<kWide1>(high, low, chars));
    store16<kPieces - 1>(
        to, piece16<kPieces - 1>(_mm256_castsi256_si128(high), _mm256_castsi256_si128(low),
                                 _mm256_castsi256_si128(chars)));
}

}  // namespace

NOTEDIAG_SSSE3 std::size_t put_full_lines_ssse3(char* to, std::uint32_t offset,
                                                const unsigned char* bytes, std::size_t lines) {
    // The offset counts up in the low lane.
    __m128i offsets = _mm_setr_epi32(static_cast<int>(offset), -1, -1, -1);
    const __m128i step = _mm_cvtsi32_si128(16);
    for (std::size_t i = 0; i < lines; ++i) {
        put_line16(to + i * full_line_length, offsets, bytes + 16 * i);
        offsets = _mm_add_epi32(offsets, step);
    }
    return lines * full_line_length;
}

NOTEDIAG_AVX2 std::size_t put_full_lines_avx2(char* to, std::uint32_t offset,
                                              const unsigned char* bytes, std::size_t lines) {
    // The offset counts up in the low lane; two lines a round, independent of each other.
    __m128i offsets = _mm_setr_epi32(static_cast<int>(offset), -1, -1, -1);
    const __m128i step = _mm_cvtsi32_si128(16);
    std::size_t i = 0;
    for (; i + 2 <= lines; i += 2) {
        put_line32(to + i * full_line_length, offsets, bytes + 16 * i);
        offsets = _mm_add_epi32(offsets, step);
        put_line32(to + (i + 1) * full_line_length, offsets, bytes + 16 * (i + 1));
        offsets = _mm_add_epi32(offsets, step);
    }
    if (i < lines) {
        put_line32(to + i * full_line_length, offsets, bytes + 16 * i);
    }
    return lines * full_line_length;
}

}  // namespace hex_dump_internal

#endif
