#include "output/transcript.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "output/dump_layout.h"
#include "output/dump_lines.h"
#include "output/dump_pool.h"
#include "platform/check.h"
#include "platform/escape.h"
#include "platform/secure_wipe.h"
#include "secure/Plaintext.h"

namespace transcript {
namespace {

constexpr std::size_t line_length = dump_layout::full_line_length;
constexpr std::size_t bytes_per_line = dump_layout::bytes_per_line;

bool escaping = false;
platform::Escaper escaper({.keep_layout = true, .c1 = true, .backslash = true});
int failure = 0;

// Only the first failure counts: later writes to a failed stream can only fail again, and errno
// by then may tell of something else.
bool failed() noexcept {
    return failure != 0;
}

// Writes all `count` bytes at `bytes` to standard output, or keeps the error of the write that
// failed.
void write_out(const char* bytes, std::size_t count) noexcept {
    while (count > 0 && !failed()) {
#ifdef _WIN32
        const unsigned piece = static_cast<unsigned>(std::min<std::size_t>(count, 1u << 30));
        const int written = _write(1, bytes, piece);
#else
        const ssize_t written = ::write(STDOUT_FILENO, bytes, count);
        if (written < 0 && errno == EINTR) {
            continue;
        }
#endif
        if (written <= 0) {
            failure = written < 0 && errno != 0 ? errno : EIO;
            return;
        }
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
}

std::size_t flush_bytes = flush_size;

// The output buffers. A transcript starts in `first`, fixed storage that costs no allocation; one
// that outgrows it moves to a ring of chunks, one more than there are dump threads, each written
// out whole once it holds flush_bytes or more. While the serial code writes, one chunk is enough;
// a parallel dump formats slices into the chunks ahead of the one being written.
constexpr std::size_t first_capacity = 64 * 1024;
// A chunk's room past flush_bytes: a dump line or a short one always fits behind less than
// flush_bytes of text.
constexpr std::size_t chunk_slack = 4096;

struct Buffers {
    alignas(64) char first[first_capacity];
    std::size_t first_used = 0;  // how much of `first` has held text since it was last wiped

    std::unique_ptr<Plaintext> ring;
    std::size_t chunks = 0;
    std::size_t chunk_capacity = 0;

    // The open buffer: `first`, or chunk `current` of the ring.
    char* open = first;
    std::size_t capacity = first_capacity;
    std::size_t fill = 0;
    std::size_t current = 0;

    Buffers() = default;
    Buffers(const Buffers&) = delete;
    Buffers& operator=(const Buffers&) = delete;
    ~Buffers() { release(); }

    bool in_ring() const { return ring != nullptr; }
    char* chunk(std::size_t index) {
        return reinterpret_cast<char*>(ring->data()) + index * chunk_capacity;
    }

    // Leaves `first` for the ring, the text so far carried over; the ring's chunks are made for
    // the dump threads of this moment.
    void enter_ring() {
        // Only when a test has made the writes smaller than `first` can its text fill a chunk.
        if (fill >= flush_bytes) {
            write_open();
        }
        const unsigned threads = dump_pool::threads();
        const std::size_t count = threads > 1 ? threads + 1 : 1;
        const std::size_t capacity_each = flush_bytes + chunk_slack;
        ring = std::make_unique<Plaintext>(static_cast<std::uint32_t>(count * capacity_each));
        chunks = count;
        chunk_capacity = capacity_each;
        current = 0;
        std::memcpy(chunk(0), first, fill);
        first_used = std::max(first_used, fill);
        platform::secure_wipe(first, first_used);
        first_used = 0;
        open = chunk(0);
        capacity = chunk_capacity;
    }

    // Writes the open buffer out and empties it.
    void write_open() {
        write_out(open, fill);
        if (!in_ring()) {
            first_used = std::max(first_used, fill);
        }
        fill = 0;
    }

    // After text went into the open buffer: a full chunk goes out.
    void settle() {
        if (in_ring() && fill >= flush_bytes) {
            write_open();
        }
    }

    // Room for at least `n` bytes (at most a line) in the open buffer.
    void make_room(std::size_t n) {
        if (capacity - fill >= n) {
            return;
        }
        if (!in_ring()) {
            enter_ring();
        } else {
            write_open();
        }
    }

    void release() noexcept {
        first_used = std::max(first_used, in_ring() ? 0 : fill);
        platform::secure_wipe(first, first_used);
        first_used = 0;
        ring.reset();  // wiped by the buffer itself
        chunks = 0;
        open = first;
        capacity = first_capacity;
        fill = 0;
        current = 0;
    }
};

Buffers buffers;

void append(const char* bytes, std::size_t count) {
    while (count > 0 && !failed()) {
        if (buffers.fill == buffers.capacity) {
            buffers.make_room(1);
        }
        const std::size_t take = std::min(count, buffers.capacity - buffers.fill);
        std::memcpy(buffers.open + buffers.fill, bytes, take);
        buffers.fill += take;
        bytes += take;
        count -= take;
        buffers.settle();
    }
}

// Tells `follower` of the dump's bytes up to `to`, from where it was last told.
struct Progress {
    DumpFollower* follower;
    std::uint32_t told = 0;

    void up_to(std::uint32_t to) {
        if (follower != nullptr && to > told) {
            follower->formatted(told, to);
        }
        told = to;
    }
};

// The lines of `count` bytes, the first with the offset `first_offset` (a multiple of 16).
void serial_dump(const unsigned char* bytes, std::uint32_t count, Progress& progress,
                 std::uint32_t first_offset = 0) {
    const dump_lines::FullLines put_lines = dump_lines::full_line_builder();
    // Group indices stay below 2^28, so offsets are computed rather than stepped: stepping past
    // the last group of a 4 GiB count would wrap.
    const std::uint32_t groups = count / bytes_per_line;
    const std::uint32_t tail = count % bytes_per_line;
    for (std::uint32_t group = 0; group < groups && !failed();) {
        buffers.make_room(line_length);
        const auto lines = static_cast<std::uint32_t>(
            std::min<std::size_t>(groups - group, (buffers.capacity - buffers.fill) / line_length));
        buffers.fill += put_lines(buffers.open + buffers.fill,
                                  first_offset + group * std::uint32_t{bytes_per_line},
                                  bytes + std::size_t{group} * bytes_per_line, lines);
        group += lines;
        progress.up_to(group * std::uint32_t{bytes_per_line});
        buffers.settle();
    }
    if (tail > 0 && !failed()) {
        buffers.make_room(line_length);
        buffers.fill += dump_lines::put_short_line(
            buffers.open + buffers.fill, first_offset + groups * std::uint32_t{bytes_per_line},
            bytes + std::size_t{groups} * bytes_per_line, tail);
        buffers.settle();
    }
}

// One slice of a parallel dump: whole lines (and the short last line, in the last slice) formatted
// into one chunk at `at`. A chunk's text is cut into a few slices, so that a thread the system
// holds up keeps back little of it: the others take the rest.
struct Slice {
    std::size_t chunk;
    std::size_t at;  // where the slice starts in its chunk
    std::uint32_t first_group;
    std::uint32_t lines;
    std::uint32_t tail;  // bytes of a short last line, or 0
    std::size_t end;     // where the slice ends in its chunk
    bool last;           // the last slice of its chunk's text
};

constexpr std::uint32_t slices_per_chunk = 4;

class SliceJobs : public dump_pool::Jobs {
  public:
    SliceJobs(const unsigned char* bytes, const std::vector<Slice>& slices)
        : bytes_(bytes), slices_(slices), put_lines_(dump_lines::full_line_builder()) {}

    void run(std::size_t index) override {
        const Slice& s = slices_[index];
        char* to = buffers.chunk(s.chunk) + s.at;
        const unsigned char* from = bytes_ + std::size_t{s.first_group} * bytes_per_line;
        to += put_lines_(to, s.first_group * std::uint32_t{bytes_per_line}, from, s.lines);
        if (s.tail != 0) {
            const std::uint32_t group = s.first_group + s.lines;
            dump_lines::put_short_line(to, group * std::uint32_t{bytes_per_line},
                                       bytes_ + std::size_t{group} * bytes_per_line, s.tail);
        }
    }

  private:
    const unsigned char* bytes_;
    const std::vector<Slice>& slices_;
    dump_lines::FullLines put_lines_;
};

// Cuts the dump into the text of whole chunks: each fills its chunk to flush_bytes or more (the
// first behind the text already in the open chunk), the last may leave its chunk open. Each
// chunk's text is then cut into slices_per_chunk slices of whole lines. `chunk_starts` gets the
// index of each chunk's first slice, and the number of slices at its end.
std::vector<Slice> plan_slices(std::uint32_t count, std::vector<std::size_t>& chunk_starts) {
    const std::uint32_t groups = count / bytes_per_line;
    const std::uint32_t tail = count % bytes_per_line;
    std::vector<Slice> slices;
    slices.reserve(slices_per_chunk * (count / (flush_bytes / line_length * bytes_per_line) + 2));
    std::size_t chunk = buffers.current;
    std::size_t at = buffers.fill;
    std::uint32_t group = 0;
    bool tail_placed = tail == 0;
    while (group < groups || !tail_placed) {
        const std::size_t room = (flush_bytes - at + line_length - 1) / line_length;
        const auto lines = static_cast<std::uint32_t>(std::min<std::size_t>(groups - group, room));
        std::size_t end = at + lines * line_length;
        std::uint32_t chunk_tail = 0;
        if (group + lines == groups && !tail_placed && end < flush_bytes) {
            chunk_tail = tail;
            end += dump_lines::short_line_length(tail);
            tail_placed = true;
        }
        chunk_starts.push_back(slices.size());
        const std::uint32_t parts = std::clamp(lines, 1u, slices_per_chunk);
        const std::uint32_t per_part = (lines + parts - 1) / parts;
        for (std::uint32_t done = 0; done < lines || slices.size() == chunk_starts.back();) {
            const std::uint32_t part = std::min(per_part, lines - done);
            const bool last = done + part == lines;
            const std::size_t part_at = at + std::size_t{done} * line_length;
            slices.push_back({chunk, part_at, group + done, part, last ? chunk_tail : 0,
                              last ? end : part_at + std::size_t{part} * line_length, last});
            done += part;
        }
        group += lines;
        if (end >= flush_bytes) {
            chunk = (chunk + 1) % buffers.chunks;
            at = 0;
        } else {
            at = end;
        }
    }
    chunk_starts.push_back(slices.size());
    return slices;
}

void parallel_dump(const unsigned char* bytes, std::uint32_t count, Progress& progress) {
    if (!buffers.in_ring()) {
        buffers.enter_ring();
    }
    std::vector<std::size_t> chunk_starts;
    const std::vector<Slice> slices = plan_slices(count, chunk_starts);
    SliceJobs jobs(bytes, slices);
    // The slices of a chunk's text may start once the chunk is free: after the text `ahead`
    // chunks earlier is written from it.
    const std::size_t ahead = buffers.chunks;
    const std::size_t chunk_texts = chunk_starts.size() - 1;
    dump_pool::Batch batch(jobs, slices.size(), chunk_starts[std::min(ahead, chunk_texts)]);
    std::size_t written = 0;  // chunk texts written out
    for (std::size_t i = 0; i < slices.size(); ++i) {
        batch.wait(i);
        const Slice& s = slices[i];
        progress.up_to(
            std::min(count, (s.first_group + s.lines) * std::uint32_t{bytes_per_line} + s.tail));
        if (!s.last) {
            continue;  // more of this chunk's text is to come
        }
        buffers.current = s.chunk;
        buffers.open = buffers.chunk(s.chunk);
        buffers.fill = s.end;
        if (s.end >= flush_bytes) {  // the chunk is full: out it goes
            buffers.write_open();
            if (failed()) {
                break;
            }
            buffers.current = (s.chunk + 1) % buffers.chunks;
            buffers.open = buffers.chunk(buffers.current);
            ++written;
            batch.release(chunk_starts[std::min(written + ahead, chunk_texts)]);
        }
    }
    batch.stop();
}

}  // namespace

void escape_untrusted(bool on) noexcept {
    escaping = on;
}

void line(std::string_view text) {
    if (failed()) {
        return;
    }
    append(text.data(), text.size());
    append("\n", 1);
}

void format(const char* format, ...) {
    if (failed()) {
        return;
    }
    char text[256];
    std::va_list arguments;
    va_start(arguments, format);
    std::va_list again;
    va_copy(again, arguments);
    const int length = std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    NOTEDIAG_ASSERT(length >= 0);
    if (static_cast<std::size_t>(length) < sizeof text) {
        append(text, static_cast<std::size_t>(length));
    } else {
        std::string longer(static_cast<std::size_t>(length) + 1, '\0');
        std::vsnprintf(longer.data(), longer.size(), format, again);
        append(longer.data(), static_cast<std::size_t>(length));
    }
    va_end(again);
}

void untrusted_piece(const void* bytes, std::size_t count) {
    if (failed() || count == 0) {
        return;
    }
    if (!escaping) {
        append(static_cast<const char*>(bytes), count);
        return;
    }
    escaper.feed(static_cast<const std::uint8_t*>(bytes), count,
                 [](const char* run, std::size_t n) { append(run, n); });
}

void untrusted_end() {
    if (!failed()) {
        escaper.finish([](const char* run, std::size_t n) { append(run, n); });
    }
}

void untrusted(const void* bytes, std::size_t count) {
    untrusted_piece(bytes, count);
    untrusted_end();
}

void dump(const void* data, std::uint32_t count, DumpFollower* follower) {
    NOTEDIAG_ASSERT(count == 0 || data != nullptr);
    Progress progress{follower};
    if (!failed()) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        // A short note's dumps ask nothing of the processors: forced() reads the environment only.
        const bool parallel =
            count >= bytes_per_line &&
            (count >= parallel_dump_threshold ? dump_pool::threads() > 1 : dump_pool::forced());
        if (parallel) {
            parallel_dump(bytes, count, progress);
        } else {
            serial_dump(bytes, count, progress);
        }
    }
    // After a failed write the rest is not formatted, but its owner still gets it.
    progress.up_to(count);
}

void dump_limited(const void* data, std::uint32_t count, std::uint32_t limit,
                  DumpFollower* follower) {
    const std::uint32_t lines = count / bytes_per_line + (count % bytes_per_line != 0 ? 1 : 0);
    if (lines <= limit) {
        dump(data, count, follower);
        return;
    }
    const std::uint32_t head = limit - limit / 2;
    const std::uint32_t tail = limit / 2;
    const auto* bytes = static_cast<const unsigned char*>(data);
    Progress none{nullptr};
    if (!failed()) {
        serial_dump(bytes, head * std::uint32_t{bytes_per_line}, none);
        format("... %u lines left out ...\n", lines - limit);
        // With no tail the last, possibly short, line must not be measured from past the end.
        if (tail != 0) {
            const std::uint32_t tail_from = (lines - tail) * std::uint32_t{bytes_per_line};
            serial_dump(bytes + tail_from, count - tail_from, none, tail_from);
        }
    }
    Progress progress{follower};
    progress.up_to(count);
}

void flush() {
    if (!failed()) {
        buffers.write_open();
    }
}

bool finish() {
    if (!failed()) {
        buffers.write_open();
    }
    buffers.release();
    return !failed();
}

int first_error() noexcept {
    return failure;
}

std::size_t flush_size_for_testing(std::size_t bytes) noexcept {
    const std::size_t previous = flush_bytes;
    flush_bytes = bytes != 0 ? bytes : flush_size;
    return previous;
}

}  // namespace transcript
