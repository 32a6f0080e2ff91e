#include "candidates/find_password.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include "candidates/list_pieces.h"
#include "candidates/padding_test.h"
#include "crypto/aes/aes.h"
#include "crypto/aes/aes_modes.h"
#include "crypto/key_trial.h"
#include "crypto/sha256.h"
#include "platform/check.h"
#include "platform/secure_wipe.h"
#include "secure/Plaintext.h"

namespace candidates {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint64_t kNoPiece = std::numeric_limits<std::uint64_t>::max();
// Candidates per call of the kernel: enough to fill its interleaved groups many times over, few
// enough that a thread looks at the others' progress often.
constexpr std::size_t kBatch = 64;
constexpr unsigned kMostJobs = 256;
constexpr auto kProgressEvery = std::chrono::milliseconds(250);
// Room for the variants of the lines in one batch, beyond the longest variant tried.
constexpr std::size_t kVariantRoom = 64 << 10;

// The whole text under one candidate's key, and its check hash against the stored one: the
// project's own CBC and hash, as the reader uses them. The text lives in a Plaintext and is wiped
// whatever the answer.
class Confirmer {
  public:
    explicit Confirmer(const NoteForTrial& note)
        : note(note), text(static_cast<std::uint32_t>(note.ciphertext.size())) {
        text.resize(static_cast<std::uint32_t>(note.ciphertext.size()));
    }

    bool confirm(const std::uint8_t* candidate, std::size_t size) {
        struct Secrets {
            std::uint8_t key[sha256_digest_size];
            AesDecryptContext context;
            std::uint8_t chain[16];
            std::uint8_t check[sha256_digest_size];
            ~Secrets() { platform::secure_wipe(this, sizeof *this); }
        } s;
        sha256_digest(s.key, candidate, size);
        aes_decrypt_schedule_256(s.key, s.context);
        std::memcpy(s.chain, note.iv, sizeof s.chain);
        const std::size_t length = note.ciphertext.size();
        aes_modes_cbc_decrypt_long(note.ciphertext.data(), text.data(), length, s.chain, s.context);
        hasher.init();
        hasher.update(text.data(), note.plain_len);
        hasher.update(note.iv, sizeof note.iv);
        hasher.finish(s.check);
        platform::secure_wipe(text.data(), length);
        return std::memcmp(s.check, note.wanted_hash, sizeof s.check) == 0;
    }

  private:
    const NoteForTrial& note;
    Plaintext text;
    Sha256Hasher hasher;
};

// What a thread found in one piece.
struct PieceOutcome {
    std::uint64_t lines = 0;  // all of the piece's lines, unless `aborted`
    bool hit = false;
    std::uint64_t hit_line = 0;  // within the piece, from 1
    const char* variant = nullptr;
    bool aborted = false;  // given up because an earlier piece holds a hit, or the search failed
};

// The state the threads share.
class Search {
  public:
    Search(File::NativeHandle list, const NoteForTrial& note, const TrialOptions& options)
        : note(note),
          options(options),
          target(key_trial_target(note.iv, note.ciphertext)),
          padding(static_cast<std::uint32_t>(note.ciphertext.size()) - note.plain_len),
          plausible(options.first_block_plausible != nullptr ? options.first_block_plausible
                                                             : printable_first_block),
          pieces(list, options.piece_bytes, options.longest_candidate) {}

    void work();
    TrialResult result() const;
    TrialProgress progress(Clock::time_point start) const {
        return {tried.load(std::memory_order_relaxed), pieces.bytes_read(), Clock::now() - start};
    }
    // Rethrows what stopped a thread, if anything did.
    void rethrow() const {
        if (error) {
            std::rethrow_exception(error);
        }
    }

    const NoteForTrial& note;
    const TrialOptions& options;
    const KeyTrialTarget target;
    const PaddingTest padding;
    bool (*const plausible)(const std::uint8_t block[16]);

    // A piece beyond the lowest one known to hold a hit need not be tried any further.
    std::atomic<std::uint64_t> first_hit_piece{kNoPiece};
    std::atomic<bool> failed{false};
    std::atomic<std::uint64_t> tried{0};
    std::atomic<std::uint64_t> trials{0};
    std::atomic<std::uint64_t> skipped{0};

  private:
    void finish_piece(std::uint64_t index, const PieceOutcome& outcome);
    void fail(std::exception_ptr what);

    std::mutex reading;
    ListPieces pieces;

    // Pieces finish out of order; the lines before a piece are known once every earlier piece is
    // finished. `done` holds the finished pieces past that prefix, never more than the threads.
    std::mutex finishing;
    struct Finished {
        std::uint64_t index;
        PieceOutcome outcome;
    };
    std::vector<Finished> done;
    std::uint64_t prefix_pieces = 0;
    std::uint64_t prefix_lines = 0;
    bool found = false;
    std::uint64_t found_line = 0;
    const char* found_variant = nullptr;
    std::exception_ptr error;
};

// One thread's batch: candidates in the order of the list, each line as written and then its
// variants, run through the kernel together and judged in that order.
class Batch {
  public:
    explicit Batch(Search& search) : search(search), confirmer(search.note) {
        if (search.options.variants) {
            variant_bytes.reserve(
                static_cast<std::uint32_t>(search.options.longest_candidate + kVariantRoom));
            emit = [this](const char* name, const std::uint8_t* bytes, std::size_t size) {
                add_variant(name, bytes, size);
            };
        }
    }
    ~Batch() { platform::secure_wipe(blocks, sizeof blocks); }

    // Tries one piece; the outcome says where its first hit lies.
    PieceOutcome try_piece(const ListPiece& piece);

  private:
    void add_line(const std::uint8_t* bytes, std::size_t size);
    void add_variant(const char* name, const std::uint8_t* bytes, std::size_t size);
    void push(const std::uint8_t* bytes, std::size_t size, const char* variant);
    // Runs the kernel over the batch and judges its candidates in order; stops at a hit.
    void flush();
    bool should_stop() const {
        return search.failed.load(std::memory_order_relaxed) ||
               search.first_hit_piece.load(std::memory_order_relaxed) < piece_index;
    }

    Search& search;
    Confirmer confirmer;
    std::uint64_t piece_index = 0;
    PieceOutcome outcome;
    bool flushed = false;
    std::uint64_t lines_counted = 0;  // of `outcome.lines`, already added to search.tried

    std::size_t count = 0;
    KeyTrialCandidate candidates[kBatch];
    std::uint64_t line_of[kBatch];
    const char* variant_of[kBatch];
    KeyTrialBlocks blocks[kBatch];

    Plaintext variant_bytes;  // the variants of the batch's lines, back to back
    VariantSink emit;
};

void Batch::push(const std::uint8_t* bytes, std::size_t size, const char* variant) {
    if (count == kBatch) {
        flush();
    }
    if (outcome.hit) {
        return;
    }
    candidates[count] = {bytes, size};
    line_of[count] = outcome.lines;
    variant_of[count] = variant;
    ++count;
}

void Batch::add_variant(const char* name, const std::uint8_t* bytes, std::size_t size) {
    if (outcome.hit || size > search.options.longest_candidate) {
        return;
    }
    if (variant_bytes.size() + size > variant_bytes.capacity() || count == kBatch) {
        flush();
        if (outcome.hit) {
            return;
        }
    }
    // Within the capacity reserved, so the bytes already handed to the batch stay where they are.
    const std::uint32_t at = variant_bytes.size();
    variant_bytes.resize(at + static_cast<std::uint32_t>(size));
    if (size > 0) {
        std::memcpy(variant_bytes.data() + at, bytes, size);
    }
    push(variant_bytes.data() + at, size, name);
}

void Batch::add_line(const std::uint8_t* bytes, std::size_t size) {
    ++outcome.lines;
    if (size > search.options.longest_candidate) {
        search.skipped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    push(bytes, size, nullptr);
    if (emit && !outcome.hit) {
        search.options.variants(bytes, size, emit);
    }
}

void Batch::flush() {
    const std::size_t n = count;
    count = 0;
    flushed = true;
    if (n > 0) {
        key_trial(search.target, candidates, n, blocks);
        search.trials.fetch_add(n, std::memory_order_relaxed);
        for (std::size_t i = 0; i < n; ++i) {
            // The padding first: it is the cheaper test, and the usual one to pass.
            const bool passes =
                search.padding.passes(blocks[i].last) || search.plausible(blocks[i].first);
            if (passes && confirmer.confirm(candidates[i].bytes, candidates[i].size)) {
                outcome.hit = true;
                outcome.hit_line = line_of[i];
                outcome.variant = variant_of[i];
                break;
            }
        }
        platform::secure_wipe(blocks, n * sizeof blocks[0]);
    }
    variant_bytes.clear();
    const std::uint64_t lines = outcome.hit ? outcome.hit_line : outcome.lines;
    search.tried.fetch_add(lines - lines_counted, std::memory_order_relaxed);
    lines_counted = lines;
}

PieceOutcome Batch::try_piece(const ListPiece& piece) {
    piece_index = piece.index;
    outcome = PieceOutcome{};
    lines_counted = 0;
    const std::uint8_t* const bytes = piece.buffer.data();
    std::size_t at = 0;
    while (at < piece.size && !outcome.hit) {
        const auto* lf =
            static_cast<const std::uint8_t*>(std::memchr(bytes + at, '\n', piece.size - at));
        const std::size_t end = lf != nullptr ? static_cast<std::size_t>(lf - bytes) : piece.size;
        std::size_t size = end - at;
        if (lf != nullptr && size > 0 && bytes[end - 1] == '\r') {
            --size;
        }
        add_line(bytes + at, size);
        at = end + 1;
        // After each batch, a look at the other threads: a hit in an earlier piece, or a failure.
        if (flushed) {
            flushed = false;
            if (!outcome.hit && should_stop()) {
                count = 0;
                variant_bytes.clear();
                outcome.aborted = true;
                return outcome;
            }
        }
    }
    if (!outcome.hit && piece.long_line_after) {
        ++outcome.lines;
        search.skipped.fetch_add(1, std::memory_order_relaxed);
    }
    flush();
    flushed = false;
    return outcome;
}

void Search::work() {
    try {
        ListPiece piece(pieces.piece_capacity());
        Batch batch(*this);
        for (;;) {
            {
                const std::lock_guard lock(reading);
                // Every piece still to come lies past any hit already found.
                if (first_hit_piece.load() != kNoPiece || failed.load() || !pieces.take(piece)) {
                    return;
                }
            }
            const PieceOutcome outcome = batch.try_piece(piece);
            platform::secure_wipe(piece.buffer.data(), piece.size);
            finish_piece(piece.index, outcome);
        }
    } catch (...) {
        fail(std::current_exception());
    }
}

void Search::fail(std::exception_ptr what) {
    const std::lock_guard lock(finishing);
    if (!error) {
        error = what;
    }
    failed = true;
}

void Search::finish_piece(std::uint64_t index, const PieceOutcome& outcome) {
    const std::lock_guard lock(finishing);
    if (outcome.aborted) {
        return;  // it lies past a hit: the answer never needs its lines
    }
    if (outcome.hit && index < first_hit_piece.load()) {
        first_hit_piece = index;
    }
    done.push_back({index, outcome});
    for (bool advanced = true; advanced && !found;) {
        advanced = false;
        for (auto it = done.begin(); it != done.end(); ++it) {
            if (it->index != prefix_pieces) {
                continue;
            }
            if (it->outcome.hit) {
                found = true;
                found_line = prefix_lines + it->outcome.hit_line;
                found_variant = it->outcome.variant;
            } else {
                prefix_lines += it->outcome.lines;
                ++prefix_pieces;
            }
            done.erase(it);
            advanced = true;
            break;
        }
    }
}

TrialResult Search::result() const {
    TrialResult r;
    r.found = found;
    r.line = found_line;
    r.variant = found_variant;
    r.candidates = found ? tried.load() : prefix_lines;
    r.trials = trials.load();
    r.skipped_long = skipped.load();
    return r;
}

}  // namespace

bool printable_first_block(const std::uint8_t block[16]) {
    // Eight bytes to a word, every byte judged on its own (no sum carries into the next byte), so
    // the host's byte order does not matter. A wrong key's block is random and nearly always has
    // a byte of 0x7F or above: that test comes first and is the one branch such a block meets.
    constexpr std::uint64_t ones = 0x0101010101010101;
    constexpr std::uint64_t high = ones * 0x80;
    std::uint64_t words[2];
    std::memcpy(words, block, sizeof words);
    std::uint64_t above = 0;  // high bit of each byte of 0x7F or more
    for (const std::uint64_t x : words) {
        above |= (x | ((x & ~high) + ones)) & high;
    }
    if (above != 0) {
        return false;
    }
    // Bytes now below 0x7F: those below 0x20 must be TAB, LF or CR. For such bytes t + 0x7F has
    // its high bit clear exactly when t is 0.
    const auto is_zero = [&](std::uint64_t t) { return ~(t + ones * 0x7F) & high; };
    std::uint64_t control = 0;
    for (const std::uint64_t x : words) {
        const std::uint64_t below_space = ~(x + ones * 0x60) & high;
        const std::uint64_t allowed =
            is_zero(x ^ (ones * '\t')) | is_zero(x ^ (ones * '\n')) | is_zero(x ^ (ones * '\r'));
        control |= below_space & ~allowed;
    }
    return control == 0;
}

TrialResult find_password(File::NativeHandle list, const NoteForTrial& note,
                          const TrialOptions& options) {
    NOTEDIAG_ASSERT(!note.ciphertext.empty() && note.ciphertext.size() % 16 == 0);
    NOTEDIAG_ASSERT(note.ciphertext.size() <= std::numeric_limits<std::uint32_t>::max() - 15);
    NOTEDIAG_ASSERT(note.plain_len <= note.ciphertext.size());
    const Clock::time_point start = Clock::now();
    // The tables are filled once, here, before any thread reads them.
    aes_tables_init();
    Search search(list, note, options);

    const unsigned jobs = std::clamp(options.jobs, 1u, kMostJobs);
    std::mutex waiting;
    std::condition_variable finished;
    unsigned running = 0;
    std::vector<std::thread> threads;
    threads.reserve(jobs);
    const auto run = [&] {
        search.work();
        const std::lock_guard lock(waiting);
        --running;
        finished.notify_all();
    };
    try {
        for (unsigned j = 0; j < jobs; ++j) {
            {
                const std::lock_guard lock(waiting);
                ++running;
            }
            try {
                threads.emplace_back(run);
            } catch (...) {
                const std::lock_guard lock(waiting);
                --running;
                throw;
            }
        }
    } catch (...) {
        if (threads.empty()) {
            throw;
        }
        // Fewer threads than asked still find the same line.
    }

    std::unique_lock lock(waiting);
    while (running > 0) {
        if (!options.progress) {
            finished.wait(lock, [&] { return running == 0; });
            break;
        }
        if (finished.wait_for(lock, kProgressEvery, [&] { return running == 0; })) {
            break;
        }
        lock.unlock();
        try {
            options.progress(search.progress(start));
        } catch (...) {
            search.failed = true;
            for (auto& t : threads) {
                t.join();
            }
            throw;
        }
        lock.lock();
    }
    lock.unlock();
    for (auto& t : threads) {
        t.join();
    }
    search.rethrow();
    return search.result();
}

}  // namespace candidates
