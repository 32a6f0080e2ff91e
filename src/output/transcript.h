// Standard output, the tool's transcript. Every line of it goes through here, so a failed write
// is noticed where it happens: the error of the first write that failed is kept, and nothing more
// is formatted once the stream has failed.
//
// The transcript keeps its own buffer and writes it with the system's write call in pieces of at
// least 1 MiB (flush_size), all but the last: a large note's dumps are hundreds of megabytes of
// text, and a write per 64 KiB cost more system time than the formatting. A short transcript stays
// in a fixed 64 KiB buffer and costs no allocation. The buffers hold decrypted text: they are
// wiped when the transcript is finished and before they are released.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#if defined(__GNUC__)
#define NOTEDIAG_PRINTF_FORMAT(format_index, first_argument) \
    __attribute__((format(printf, format_index, first_argument)))
#else
#define NOTEDIAG_PRINTF_FORMAT(format_index, first_argument)
#endif

namespace transcript {

// Whether untrusted bytes (the password, the note's text) are shown with their control bytes
// escaped (--escape; by default when standard output is a terminal): the C0 controls but tab and
// newline, DEL, the C1 controls, and the backslash. Off by default.
void escape_untrusted(bool on) noexcept;

// `text` and a newline.
void line(std::string_view text);
void format(const char* format, ...) NOTEDIAG_PRINTF_FORMAT(1, 2);
// Bytes that came from the note or the command line, exact or escaped (see escape_untrusted).
void untrusted(const void* bytes, std::size_t count);
// The same for a text that arrives in pieces: a UTF-8 sequence cut between two pieces is judged
// whole. untrusted_end() ends the text.
void untrusted_piece(const void* bytes, std::size_t count);
void untrusted_end();

// Told, in order, of consecutive ranges of a dump's bytes as soon as the dump has formatted them
// and will not read them again, so that their owner may overwrite them (decrypt them in place) or
// work on them alongside the rest of the dump. The ranges cover the whole dump, also when nothing
// is formatted because the stream has failed; each but the last is a multiple of 16 bytes. Called
// on the thread that called dump().
class DumpFollower {
  public:
    virtual void formatted(std::uint32_t from, std::uint32_t to) = 0;

  protected:
    ~DumpFollower() = default;
};

// The dump lines of `count` bytes. A large dump is formatted on several threads
// (output/dump_pool.h) in slices of whole lines, written out in order: the bytes are those of the
// serial dump.
void dump(const void* data, std::uint32_t count, DumpFollower* follower = nullptr);
// The same at most `limit` lines long (--dump-limit): when there are more, the first and the last
// limit / 2 of them (the first getting one more for an odd limit), with a line between that says
// how many were left out. The follower is told of the whole once the lines are written.
void dump_limited(const void* data, std::uint32_t count, std::uint32_t limit,
                  DumpFollower* follower = nullptr);

// Writes what is buffered, for a reader waiting at a terminal (a batch's lines as they come).
void flush();
// Writes what is buffered and releases the buffers, wiped; true when everything written so far
// has gone out. Output after it starts afresh.
bool finish();
// The error code (errno) of the first write that failed, 0 while none has.
int first_error() noexcept;

// The least a write carries, but for the transcript's last.
inline constexpr std::size_t flush_size = 1 << 20;
// Dumps of this many bytes or more are formatted in parallel when there is more than one thread.
inline constexpr std::uint32_t parallel_dump_threshold = 256 * 1024;

// Test hook, not for the tool: writes carry at least `bytes` (flush_size when 0) from now on, so
// that tests cut slices at every kind of boundary with small dumps; returns the size it replaces.
// Call it with the transcript finished.
std::size_t flush_size_for_testing(std::size_t bytes) noexcept;

}  // namespace transcript
