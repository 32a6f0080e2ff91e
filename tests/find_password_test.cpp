// The candidate search end to end: notes sealed by the testkit, lists written to files or pipes,
// the first matching line whatever the threads and wherever the pieces are cut.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "candidates/find_password.h"
#include "candidates/padding_test.h"
#include "platform/little_endian.h"
#include "support/case_name.h"
#include "support/cpu_paths.h"
#include "support/seed.h"
#include "support/temp_file.h"
#include "testkit/note_builder.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

using candidates::TrialOptions;
using candidates::TrialResult;
using testsupport::PrintTo;

// A sealed note and the view of it the search takes.
struct Sealed {
    explicit Sealed(const testsupport::Note& n) : document(testsupport::build_note(n)) {
        const auto* raw = reinterpret_cast<const std::uint8_t*>(document.data());
        std::memcpy(note.iv, raw + header_v2::iv, 16);
        std::memcpy(note.wanted_hash, raw + header_v2::wanted_hash, 32);
        note.plain_len = platform::load_le32(raw + header_v2::plain_len);
        note.ciphertext = {raw + header_v2::payload, document.size() - header_v2::payload};
    }
    std::string document;
    candidates::NoteForTrial note{};
};

testsupport::Note note_for(std::string password, testsupport::Pad pad = testsupport::Pad::pkcs7,
                           std::string text = "hello, world") {
    testsupport::Note n;
    n.password = std::move(password);
    n.pad = pad;
    n.text = std::move(text);
    return n;
}

// A list handed over as an open handle: a file, or a pipe fed by a thread in small writes.
class List {
  public:
    explicit List(const std::string& bytes) {
        const std::string path = dir.write("list", bytes);
#ifdef _WIN32
        handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                             nullptr);
        EXPECT_NE(handle, INVALID_HANDLE_VALUE);
#else
        handle = ::open(path.c_str(), O_RDONLY);
        EXPECT_GE(handle, 0);
#endif
    }
    ~List() {
#ifdef _WIN32
        CloseHandle(handle);
#else
        ::close(handle);
#endif
    }
    File::NativeHandle get() const {
        return handle;
    }

  private:
    testsupport::TempDir dir;
    File::NativeHandle handle;
};

TrialResult search(const std::string& list, const Sealed& sealed, TrialOptions options) {
    const List handle(list);
    return candidates::find_password(handle.get(), sealed.note, options);
}

TrialOptions with(unsigned jobs, std::size_t piece_bytes, std::size_t longest) {
    TrialOptions o;
    o.jobs = jobs;
    o.piece_bytes = piece_bytes;
    o.longest_candidate = longest;
    return o;
}

// ---- Lines ---------------------------------------------------------------------------------

struct LineCase {
    const char* name;
    std::string password;
    std::string list;
    std::uint64_t line;   // 0: no line matches
    std::uint64_t lines;  // in the list
};

// Each case runs with one thread and default pieces, with two threads and pieces of a line or
// two, with eight threads on pieces of 17 bytes, and on pieces shorter than the longest line.
struct Layout {
    const char* name;
    unsigned jobs;
    std::size_t piece_bytes;
    std::size_t longest;
};

class Lines : public testing::TestWithParam<std::tuple<LineCase, Layout>> {};

TEST_P(Lines, FirstMatchingLineAndLineCount) {
    const auto& [c, layout] = GetParam();
    const Sealed sealed(note_for(c.password));
    const TrialResult r = search(c.list, sealed,
                                 layout.piece_bytes == 0
                                     ? with(layout.jobs, std::size_t{4} << 20, std::size_t{1} << 20)
                                     : with(layout.jobs, layout.piece_bytes, layout.longest));
    EXPECT_EQ(r.found, c.line != 0);
    EXPECT_EQ(r.line, c.line);
    EXPECT_EQ(r.variant, nullptr);
    if (c.line == 0) {
        EXPECT_EQ(r.candidates, c.lines);
    } else {
        EXPECT_GE(r.candidates, c.line);
        EXPECT_LE(r.candidates, c.lines);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Candidates, Lines,
    testing::Combine(
        testing::Values(
            LineCase{"first_line", "correct horse", "correct horse\nwrong\nother\n", 1, 3},
            LineCase{"middle_line", "correct horse", "a\nb\ncorrect horse\nc\nd\n", 3, 5},
            LineCase{"last_line", "correct horse", "a\nb\nc\nd\ncorrect horse\n", 5, 5},
            LineCase{"last_line_without_lf", "correct horse", "a\nb\ncorrect horse", 3, 3},
            LineCase{"cr_lf_lines", "correct horse", "a\r\nb\r\ncorrect horse\r\nc\r\n", 3, 4},
            LineCase{"one_cr_removed", "pw\r", "pw\npw\r\r\n", 2, 2},
            LineCase{"cr_without_lf_kept", "pw\r", "pw\npw\r", 2, 2},
            LineCase{"empty_line_is_empty_password", "", "a\nb\n\nc\n", 3, 4},
            LineCase{"cr_lf_alone_is_empty_password", "", "a\r\n\r\nc\r\n", 2, 3},
            LineCase{"first_of_repeated_lines", "pw", "a\npw\nb\npw\npw\n", 2, 5},
            LineCase{"no_hit", "correct horse", "a\nb\nc\n", 0, 3},
            LineCase{"no_hit_last_line_without_lf", "correct horse", "a\nb\nc", 0, 3},
            LineCase{"empty_list", "", "", 0, 0},
            LineCase{"lf_alone_not_the_password", "x", "\n", 0, 1}),
        testing::Values(Layout{"one_thread", 1, 0, 0},
                        Layout{"two_threads_small_pieces", 2, 24, 16},
                        Layout{"eight_threads_tiny_pieces", 8, 17, 16},
                        Layout{"three_threads_pieces_under_a_line", 3, 5, 16})),
    testsupport::CaseName{});

// ---- Pieces and threads --------------------------------------------------------------------

std::string random_words(std::mt19937& random, std::size_t count, const char* newline) {
    std::string list;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t length = 1 + random() % 12;
        for (std::size_t k = 0; k < length; ++k) {
            list += static_cast<char>('a' + random() % 26);
        }
        list += newline;
    }
    return list;
}

// The password at line 41, with every piece size from 20 to 75 bytes: each line, the password's
// and a CR LF pair included, is cut at every place by some piece boundary.
// The piece and thread cases run on every path of the kernel: its interleaved groups meet the
// batches' tails there.
class CandidatePieces : public testsupport::OnCpuPath<> {};

TEST_P(CandidatePieces, LinesCutAtEveryPlaceAcrossPieces) {
    const testsupport::TestSeed seed;
    std::mt19937 random(seed.value());
    const Sealed sealed(note_for("correct horse"));
    for (const char* newline : {"\n", "\r\n"}) {
        const std::string list = random_words(random, 40, newline) + "correct horse" + newline +
                                 random_words(random, 30, newline);
        const std::string missing = random_words(random, 70, newline) + "tail without lf";
        for (std::size_t piece = 20; piece < 76; ++piece) {
            for (const unsigned jobs : {1u, 3u}) {
                SCOPED_TRACE("piece " + std::to_string(piece) + ", jobs " + std::to_string(jobs));
                const TrialResult hit = search(list, sealed, with(jobs, piece, 16));
                EXPECT_TRUE(hit.found);
                EXPECT_EQ(hit.line, 41u);
                const TrialResult none = search(missing, sealed, with(jobs, piece, 16));
                EXPECT_FALSE(none.found);
                EXPECT_EQ(none.candidates, 71u);
            }
        }
    }
}

// The password on several lines far apart, the list in many pieces: one thread, two and eight
// report the first of them.
TEST_P(CandidatePieces, SameLineWhateverTheThreads) {
    const testsupport::TestSeed seed;
    std::mt19937 random(seed.value());
    const Sealed sealed(note_for("correct horse"));
    std::string list;
    std::uint64_t lines = 0;
    for (const std::uint64_t at : {3001u, 3002u, 3500u, 4999u}) {
        list += random_words(random, at - 1 - lines, "\n") + "correct horse\n";
        lines = at;
    }
    list += random_words(random, 1000, "\n");
    for (const unsigned jobs : {1u, 2u, 8u}) {
        for (const std::size_t piece : {std::size_t{100}, std::size_t{4096}}) {
            SCOPED_TRACE("jobs " + std::to_string(jobs) + ", piece " + std::to_string(piece));
            const TrialResult r = search(list, sealed, with(jobs, piece, 64));
            EXPECT_TRUE(r.found);
            EXPECT_EQ(r.line, 3001u);
            EXPECT_GE(r.candidates, 3001u);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, CandidatePieces,
                         testing::Combine(testing::ValuesIn(testsupport::aes_and_sha_paths())),
                         testsupport::CaseName{});

// Lines longer than the longest candidate are counted, never tried, and do not shift the lines
// after them: one within a piece, one across several pieces, one at the end without LF. A line of
// exactly the longest length is tried, also when it ends a 32-byte piece unfinished.
struct LongCase {
    const char* name;
    std::string list;
    std::uint64_t line;
    std::uint64_t lines;
    std::uint64_t skipped;
};

class LongLines : public testing::TestWithParam<std::tuple<LongCase, Layout>> {};

TEST_P(LongLines, CountedButNotTried) {
    const auto& [c, layout] = GetParam();
    const Sealed sealed(note_for("pw"));
    const TrialResult r =
        search(c.list, sealed, with(layout.jobs, layout.piece_bytes, layout.longest));
    EXPECT_EQ(r.line, c.line);
    EXPECT_EQ(r.skipped_long, c.skipped);
    if (c.line == 0) {
        EXPECT_EQ(r.candidates, c.lines);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Candidates, LongLines,
    testing::Combine(
        testing::Values(
            LongCase{"within_a_piece", "a\n" + std::string(17, 'x') + "\npw\n", 3, 3, 1},
            LongCase{"across_pieces", "a\n" + std::string(300, 'x') + "\nb\npw\n", 4, 4, 1},
            LongCase{"ends_the_list", "a\nb\n" + std::string(100, 'x'), 0, 3, 1},
            LongCase{"two_in_a_row",
                     std::string(40, 'x') + "\n" + std::string(90, 'y') + "\r\npw\r\n", 3, 3, 2},
            LongCase{"longest_tried", std::string(16, 'z') + "\npw\n", 2, 2, 0},
            LongCase{"longest_carried_from_a_full_piece",
                     std::string(15, 'a') + "\n" + std::string(16, 'z') + "\npw\n", 3, 3, 0}),
        testing::Values(Layout{"one_thread", 1, 32, 16}, Layout{"four_threads", 4, 32, 16},
                        Layout{"two_threads_pieces_under_a_line", 2, 7, 16})),
    testsupport::CaseName{});

// ---- Filters and variants ------------------------------------------------------------------

bool anything(const std::uint8_t*) {
    return true;
}

// Without padding only the first block can pass a candidate: a text that starts as printable
// ASCII is found by the default test; one that does not needs the caller's test.
TEST(CandidateFilters, NoteWithoutPaddingFoundThroughTheFirstBlock) {
    const std::string list = "a\nb\ncorrect horse\nc\n";
    const Sealed text(
        note_for("correct horse", testsupport::Pad::none, "thirty-two bytes of text, exact."));
    EXPECT_EQ(search(list, text, with(1, 64, 32)).line, 3u);

    const Sealed binary(note_for("correct horse", testsupport::Pad::none,
                                 std::string("\x01\x02\x03 binary start") + std::string(16, 'b')));
    EXPECT_FALSE(search(list, binary, with(1, 64, 32)).found);
    TrialOptions accepting = with(2, 64, 32);
    accepting.first_block_plausible = anything;
    EXPECT_EQ(search(list, binary, accepting).line, 3u);
}

// Zero padding and a one-block note pass through the padding, whatever the first block holds.
TEST(CandidateFilters, ZeroPaddingAndOneBlockNote) {
    const Sealed zeros(note_for("pw", testsupport::Pad::zeros, "\x01\x02 binary text"));
    EXPECT_EQ(search("a\npw\n", zeros, TrialOptions{}).line, 2u);
    const Sealed small(note_for("pw", testsupport::Pad::pkcs7, "\x7f"));
    EXPECT_EQ(search("a\nb\npw\n", small, TrialOptions{}).line, 3u);
}

// Every padding length the writer can leave, each byte count and both fillings, found through the
// last block alone: the text starts with a control byte, so the first block never passes.
TEST(CandidateFilters, EveryWellFormedPaddingPassesOnItsOwn) {
    for (const testsupport::Pad pad : {testsupport::Pad::pkcs7, testsupport::Pad::zeros}) {
        for (std::size_t length = 17; length < 33; ++length) {
            if (pad == testsupport::Pad::zeros && length == 32) {
                continue;  // whole blocks: no padding at all
            }
            SCOPED_TRACE("text of " + std::to_string(length) + " bytes");
            std::string text(length, 't');
            text[0] = '\x01';
            const Sealed sealed(note_for("pw", pad, text));
            EXPECT_EQ(search("a\nb\npw\nc\n", sealed, with(1, 64, 16)).line, 3u);
        }
    }
}

// The padding filter against its definition, for every count from 0 to 20: blocks filled with the
// count, with zeros and with 16, each also with one byte changed at every place, so that a byte
// wrongly left out of the padding or wrongly taken into it shows.
TEST(CandidateFilters, PaddingTestAgainstItsDefinition) {
    const auto defined = [](const std::uint8_t* last, std::uint32_t n) {
        if (n < 1 || n > 16) {
            return false;
        }
        bool counted = true;
        bool zeros = n <= 15;
        for (std::uint32_t i = 16 - n; i < 16; ++i) {
            counted &= last[i] == n;
            zeros &= last[i] == 0;
        }
        return counted || zeros;
    };
    for (std::uint32_t n = 0; n <= 20; ++n) {
        const candidates::PaddingTest test(n);
        for (const std::uint32_t fill : {n, 0u, 16u}) {
            for (int changed = -1; changed < 16; ++changed) {
                std::uint8_t block[16];
                std::memset(block, static_cast<int>(fill), sizeof block);
                if (changed >= 0) {
                    block[changed] = static_cast<std::uint8_t>(fill + 1);
                }
                ASSERT_EQ(test.passes(block), defined(block, n))
                    << "count " << n << ", fill " << fill << ", changed at " << changed;
            }
        }
    }
}

// The default first-block test against its definition, each byte value at each place of a block
// of text.
TEST(CandidateFilters, PrintableFirstBlockEveryByteEverywhere) {
    for (int value = 0; value < 256; ++value) {
        const bool text =
            (value >= 0x20 && value <= 0x7E) || value == '\t' || value == '\n' || value == '\r';
        for (int at = 0; at < 16; ++at) {
            std::uint8_t block[16];
            std::memset(block, 'a', sizeof block);
            block[at] = static_cast<std::uint8_t>(value);
            ASSERT_EQ(candidates::printable_first_block(block), text)
                << "byte " << value << " at " << at;
        }
    }
}

void upper(const std::uint8_t* bytes, std::size_t size, const candidates::VariantSink& emit) {
    std::string v(reinterpret_cast<const char*>(bytes), size);
    std::transform(v.begin(), v.end(), v.begin(), [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    });
    emit("upper", reinterpret_cast<const std::uint8_t*>(v.data()), v.size());
    v += "!";
    emit("upper!", reinterpret_cast<const std::uint8_t*>(v.data()), v.size());
}

struct VariantCase {
    const char* name;
    std::string password;
    std::string list;
    std::uint64_t line;
    const char* variant;
};

class Variants : public testing::TestWithParam<std::tuple<VariantCase, unsigned>> {};

TEST_P(Variants, LineAndVariantInListOrder) {
    const auto& [c, jobs] = GetParam();
    const Sealed sealed(note_for(c.password));
    TrialOptions options = with(jobs, 24, 16);
    options.variants = upper;
    const TrialResult r = search(c.list, sealed, options);
    EXPECT_EQ(r.line, c.line);
    if (c.variant == nullptr) {
        EXPECT_EQ(r.variant, nullptr);
    } else {
        ASSERT_NE(r.variant, nullptr);
        EXPECT_STREQ(r.variant, c.variant);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Candidates, Variants,
    testing::Combine(
        testing::Values(VariantCase{"variant", "CORRECT", "a\nb\ncorrect\nc\n", 3, "upper"},
                        VariantCase{"second_variant", "PW!", "a\npw\n", 2, "upper!"},
                        VariantCase{"earlier_variant_wins", "PW", "x\npw\nPW\n", 2, "upper"},
                        VariantCase{"as_written_first", "PW", "x\nPW\npw\n", 2, nullptr}),
        testing::Values(1u, 2u)),
    testsupport::CaseName{});

// ---- Streams, progress and failures --------------------------------------------------------

#ifndef _WIN32

// A pipe whose writer stops half-way for a while: the list is read as it comes, progress is
// reported on the calling thread meanwhile, and the line is the same as from a file.
TEST(CandidateStreams, PipeWithAPauseAndProgress) {
    const testsupport::TestSeed seed;
    std::mt19937 random(seed.value());
    const Sealed sealed(note_for("correct horse"));
    const std::string list =
        random_words(random, 2000, "\n") + "correct horse\n" + random_words(random, 10, "\n");
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    std::thread writer([&] {
        const std::size_t half = list.size() / 2;
        EXPECT_EQ(::write(ends[1], list.data(), half), static_cast<ssize_t>(half));
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        EXPECT_EQ(::write(ends[1], list.data() + half, list.size() - half),
                  static_cast<ssize_t>(list.size() - half));
        ::close(ends[1]);
    });
    std::vector<candidates::TrialProgress> reports;
    const auto caller = std::this_thread::get_id();
    TrialOptions options = with(2, 512, 64);
    options.progress = [&](const candidates::TrialProgress& p) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        reports.push_back(p);
    };
    const TrialResult r = candidates::find_password(ends[0], sealed.note, options);
    writer.join();
    ::close(ends[0]);
    EXPECT_EQ(r.line, 2001u);
    ASSERT_GE(reports.size(), 1u);
    EXPECT_LE(reports.size(), 4u);
    EXPECT_GE(reports.front().bytes_read, list.size() / 2 - 512);
    EXPECT_LE(reports.front().bytes_read, list.size() / 2);
    EXPECT_GE(reports.front().elapsed, std::chrono::milliseconds(200));
}

TEST(CandidateStreams, UnreadableListThrows) {
    const Sealed sealed(note_for("pw"));
    EXPECT_THROW(candidates::find_password(-1, sealed.note, with(2, 64, 16)), file::FileError);
}

#endif

}  // namespace
