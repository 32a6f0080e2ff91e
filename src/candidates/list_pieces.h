// Cuts a candidate list into pieces of whole lines, read in large transfers from a file or a pipe,
// so that threads can each take a piece and split it on their own. Internal to the candidates
// library.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "file/File.h"
#include "secure/Plaintext.h"

namespace candidates {

// One piece: whole lines, in the order of the list. The buffer is the taker's and is reused for
// every piece it takes; its bytes are candidates, so the taker wipes them once tried.
struct ListPiece {
    explicit ListPiece(std::size_t capacity);

    Plaintext buffer;      // capacity: piece_bytes + longest_candidate
    std::size_t size = 0;  // bytes of lines at the buffer's start; only the list's last line
                           // may lack its LF
    bool long_line_after = false;  // one more line follows them, too long to be held or tried
    std::uint64_t index = 0;       // 0 for the list's first piece, then 1, 2, ...
};

// Not synchronised: one taker at a time, under the caller's lock. The work done under that lock is
// the transfer into the taker's buffer and a look back for the last LF; splitting the piece into
// lines is left to the taker, so takers do not wait on each other for it.
class ListPieces {
  public:
    // piece_bytes and longest_candidate at least 1; the handle stays the caller's.
    ListPieces(File::NativeHandle list, std::size_t piece_bytes, std::size_t longest_candidate);
    ~ListPieces();  // wipes what it still holds of a line
    ListPieces(const ListPieces&) = delete;
    ListPieces& operator=(const ListPieces&) = delete;

    // The capacity a ListPiece needs.
    std::size_t piece_capacity() const { return piece_bytes + longest; }

    // Fills `piece` with the next lines; false once the list is done. Each piece but the last
    // covers piece_bytes of the list. Throws file::FileError when reading fails.
    bool take(ListPiece& piece);

    // Bytes read from the list so far; may be read from any thread.
    std::uint64_t bytes_read() const { return read_total.load(std::memory_order_relaxed); }

  private:
    std::size_t read_into(std::uint8_t* buffer, std::size_t size);

    File::NativeHandle list;
    std::size_t piece_bytes;
    std::size_t longest;
    Plaintext carry;        // the start of a line the last piece could not end
    bool skipping = false;  // inside a line too long to hold, already counted by its piece
    bool at_end = false;
    std::uint64_t next_index = 0;
    std::atomic<std::uint64_t> read_total{0};
};

}  // namespace candidates
