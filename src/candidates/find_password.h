// The candidate-password search: every line of a list is tried as the password of one note, and
// the first line of the list that opens it is the answer, whatever the number of threads.
//
// A line is the bytes up to a LF, without the LF and without a CR right before it; a last line
// without LF counts; an empty line is the empty password. Lines are numbered from 1. Each costs one
// SHA-256, one AES-256 key schedule and a block or two (crypto/key_trial.h); a line whose blocks
// look right (the padding, or a first block of text) is confirmed by the whole text and its check
// hash before it is reported.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "file/File.h"

namespace candidates {

// What the search needs of the note, all read by the caller.
struct NoteForTrial {
    std::uint8_t iv[16];
    std::uint8_t wanted_hash[32];
    std::uint32_t plain_len;                   // at most ciphertext.size()
    std::span<const std::uint8_t> ciphertext;  // a non-zero multiple of 16 bytes, under 2^32
};

struct TrialProgress {
    std::uint64_t candidates;  // lines tried so far
    std::uint64_t bytes_read;  // of the list
    std::chrono::steady_clock::duration elapsed;
};

// Hands each variant of a candidate to the search: emit(name, bytes, size). `name` must outlive
// the search (a string literal): the result points at it.
using VariantSink =
    std::function<void(const char* name, const std::uint8_t* bytes, std::size_t size)>;
using VariantSource =
    std::function<void(const std::uint8_t* bytes, std::size_t size, const VariantSink& emit)>;

// The default first-block test: every byte printable ASCII, TAB, LF or CR.
bool printable_first_block(const std::uint8_t block[16]);

struct TrialOptions {
    unsigned jobs = 1;  // threads that try candidates; 0 counts as 1
    // Optional: each line is also tried in every variant this emits, after the line as written and
    // in the order emitted. Called from the searching threads, several at once.
    VariantSource variants;
    // The test a candidate's first plaintext block passes when it looks like the start of the
    // text; null takes printable_first_block. Called from the searching threads, several at once.
    bool (*first_block_plausible)(const std::uint8_t block[16]) = nullptr;
    // Optional: called now and then, at most four times a second, on the thread that called
    // find_password, while the threads search.
    std::function<void(const TrialProgress&)> progress;

    // Tuning, which the tests turn down to reach piece boundaries with small lists. The list is
    // read `piece_bytes` at a time, a piece a thread's unit of work: small enough that two threads
    // end a list of a few million lines close together. A line longer than `longest_candidate`
    // bytes is counted but not tried (the tool takes no longer password either). Both at least 1.
    std::size_t piece_bytes = std::size_t{1} << 20;
    std::size_t longest_candidate = std::size_t{1} << 20;
};

struct TrialResult {
    bool found = false;
    std::uint64_t line = 0;          // the first line that opens the note, when found
    const char* variant = nullptr;   // the variant's name that did; nullptr: the line as written
    std::uint64_t candidates = 0;    // lines tried: all lines when none matched; when one did,
                                     // at least `line`, with what other threads tried beyond it
    std::uint64_t trials = 0;        // keys tried, variants included
    std::uint64_t skipped_long = 0;  // lines longer than longest_candidate, among `candidates`
};

// Reads the list from `list` (a regular file or a pipe, from where it stands, in large pieces) and
// tries every line until the first that opens the note is certain. Memory stays a few pieces per
// thread whatever the list's size, and every byte of the list is wiped once tried. Throws
// file::FileError when the list cannot be read, and what a callback throws; std::bad_alloc.
TrialResult find_password(File::NativeHandle list, const NoteForTrial& note,
                          const TrialOptions& options);

}  // namespace candidates
