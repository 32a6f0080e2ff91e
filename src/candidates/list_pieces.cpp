#include "candidates/list_pieces.h"

#include <cstring>

#include "file/File.h"
#include "platform/check.h"
#include "platform/secure_wipe.h"
#include "platform/stream.h"

namespace candidates {

namespace {

// Plaintext counts in 32 bits; pieces stay far below that.
constexpr std::size_t kLargestCapacity = std::size_t{1} << 30;

const std::uint8_t* last_lf(const std::uint8_t* bytes, std::size_t size) {
    for (std::size_t i = size; i > 0; --i) {
        if (bytes[i - 1] == '\n') {
            return bytes + i - 1;
        }
    }
    return nullptr;
}

}  // namespace

ListPiece::ListPiece(std::size_t capacity) : buffer(static_cast<std::uint32_t>(capacity)) {
    NOTEDIAG_ASSERT(capacity <= kLargestCapacity);
    buffer.resize(static_cast<std::uint32_t>(capacity));
}

ListPieces::ListPieces(File::NativeHandle list, std::size_t piece_bytes,
                       std::size_t longest_candidate)
    : list(list), piece_bytes(piece_bytes), longest(longest_candidate) {
    NOTEDIAG_ASSERT(longest_candidate >= 1 && piece_bytes >= 1);
    NOTEDIAG_ASSERT(piece_bytes <= kLargestCapacity - longest_candidate);
    carry.reserve(static_cast<std::uint32_t>(longest_candidate));
}

ListPieces::~ListPieces() = default;  // Plaintext wipes the carried bytes

std::size_t ListPieces::read_into(std::uint8_t* buffer, std::size_t size) {
    int error = 0;
    const std::ptrdiff_t read = platform::read_handle(list, buffer, size, error);
    if (read < 0) {
        file::raise_failure(file::Operation::read, error);
    }
    const auto got = static_cast<std::size_t>(read);
    read_total.fetch_add(got, std::memory_order_relaxed);
    if (got == 0) {
        at_end = true;
    }
    return got;
}

bool ListPieces::take(ListPiece& piece) {
    NOTEDIAG_ASSERT(piece.buffer.size() >= piece_capacity());
    std::uint8_t* const buffer = piece.buffer.data();
    piece.size = 0;
    piece.long_line_after = false;

    // The rest of a line too long to try is passed over up to its LF; what follows starts the
    // piece.
    std::size_t filled = 0;
    while (skipping) {
        if (at_end) {
            skipping = false;
            return false;
        }
        const std::size_t got = read_into(buffer, piece_bytes);
        const auto* lf = static_cast<const std::uint8_t*>(std::memchr(buffer, '\n', got));
        if (lf != nullptr) {
            filled = got - static_cast<std::size_t>(lf + 1 - buffer);
            std::memmove(buffer, lf + 1, filled);
            skipping = false;
        }
        platform::secure_wipe(buffer + filled, got - filled);
    }
    if (!carry.empty()) {
        std::memcpy(buffer, carry.data(), carry.size());
        filled = carry.size();
        carry.clear();
    }
    // A piece holds piece_bytes of the list, carried line included, and the buffer's room beyond
    // that serves one line more: a piece without any LF must show that its line is too long to
    // try, so without one the reading goes on until a LF comes or the line passes the longest.
    while (!at_end && filled < piece_bytes) {
        filled += read_into(buffer + filled, piece_bytes - filled);
    }
    while (!at_end && filled <= longest && std::memchr(buffer, '\n', filled) == nullptr) {
        filled += read_into(buffer + filled, longest + 1 - filled);
    }
    if (filled == 0) {
        return false;
    }
    piece.index = next_index++;
    if (at_end) {
        piece.size = filled;
        return true;
    }
    // The buffer is full and the list goes on: the lines end at the last LF, and the line after it
    // is carried into the next piece, or passed over when it is already too long to try.
    const std::uint8_t* lf = last_lf(buffer, filled);
    piece.size = lf == nullptr ? 0 : static_cast<std::size_t>(lf + 1 - buffer);
    const std::size_t rest = filled - piece.size;
    if (rest <= longest) {
        carry.resize(static_cast<std::uint32_t>(rest));
        std::memcpy(carry.data(), buffer + piece.size, rest);
    } else {
        piece.long_line_after = true;
        skipping = true;
    }
    platform::secure_wipe(buffer + piece.size, rest);
    return true;
}

}  // namespace candidates
