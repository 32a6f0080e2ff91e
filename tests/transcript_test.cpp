// The transcript's own buffers and its parallel dump, in process: whatever the number of threads,
// the size of the writes, the text buffered in front of a dump and the line builder, the dump
// prints the reference formatter's lines, and its follower is told of every byte, in order, only
// once it is formatted.
#include "output/transcript.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include "output/dump_pool.h"
#include "support/cpu_paths.h"
#include "support/seed.h"
#include "support/transcript_match.h"
#include "testkit/reference_dump.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using testsupport::reference_dump;

Bytes random_bytes(std::mt19937& rng, std::size_t n) {
    Bytes bytes(n);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(rng());
    }
    return bytes;
}

// Overwrites each range it is told of, as the reader's decryption in place does: a line formatted
// after its bytes were handed on would show in the transcript. Keeps whether the ranges kept the
// contract: consecutive from 0, in order, all but the last whole lines.
class Scribbler final : public transcript::DumpFollower {
  public:
    explicit Scribbler(Bytes& bytes) : bytes_(bytes) {}

    void formatted(std::uint32_t from, std::uint32_t to) override {
        sound_ = sound_ && from == told_ && to > from && to <= bytes_.size() && from % 16 == 0;
        for (std::uint32_t i = from; i < to && i < bytes_.size(); ++i) {
            bytes_[i] ^= 0xFF;
        }
        told_ = to;
    }
    // Every byte told of, and the contract kept.
    bool complete() const { return sound_ && told_ == bytes_.size(); }

  private:
    Bytes& bytes_;
    std::uint32_t told_ = 0;
    bool sound_ = true;
};

// Sets the thread count (the parallel path forced for every size from 2 on) and the write size for
// the life of the object, with the transcript finished on either side.
class Setting {
  public:
    Setting(unsigned threads, std::size_t flush, bool force = true) {
        transcript::finish();
        threads_ = dump_pool::threads_for_testing(threads, force);
        flush_ = transcript::flush_size_for_testing(flush);
    }
    ~Setting() {
        transcript::finish();
        dump_pool::threads_for_testing(threads_);
        transcript::flush_size_for_testing(flush_);
    }
    Setting(const Setting&) = delete;
    Setting& operator=(const Setting&) = delete;

  private:
    unsigned threads_;
    std::size_t flush_;
};

struct Shape {
    unsigned threads;
    std::size_t flush;  // the least a write carries, so a chunk holds about flush / 77 lines
};

void PrintTo(const Shape& s, std::ostream* os) {
    *os << s.threads << " threads, writes of " << s.flush;
}

class TranscriptDump : public testsupport::OnCpuPath<Shape> {};

// Dump sizes around the chunk's line count (a slice that fills its chunk exactly, one line more
// or less, a last short line of 1 or 15 bytes), behind buffered text of 0 to 150 bytes that
// moves where the first slice starts.
TEST_P(TranscriptDump, PrintsTheReferenceLinesWhereverTheSlicesAreCut) {
    const Shape shape = std::get<1>(GetParam());
    const Setting setting(shape.threads, shape.flush);
    const testsupport::TestSeed seed;
    std::mt19937 rng(seed.value());
    const std::uint32_t per_chunk = static_cast<std::uint32_t>((shape.flush + 76) / 77) * 16;
    const std::uint32_t counts[] = {0,
                                    1,
                                    15,
                                    16,
                                    17,
                                    per_chunk - 16,
                                    per_chunk,
                                    per_chunk + 1,
                                    per_chunk + 15,
                                    2 * per_chunk - 1,
                                    3 * per_chunk + 16,
                                    7 * per_chunk + 7};
    std::string expected;
    bool followed = true;
    testing::internal::CaptureStdout();
    for (const std::size_t pending : {0, 1, 76, 77, 150}) {
        for (const std::uint32_t count : counts) {
            const std::string text(pending, 't');
            transcript::untrusted(text.data(), text.size());
            Bytes data = random_bytes(rng, count);
            expected += text + reference_dump(data);
            Scribbler scribbler(data);
            transcript::dump(data.data(), count, &scribbler);
            followed = followed && scribbler.complete();
        }
    }
    EXPECT_TRUE(transcript::finish());
    const std::string actual = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(followed) << "a follower was told of ranges out of order, or not of all";
    EXPECT_PRED_FORMAT2(testsupport::SameTranscript, expected, actual);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, TranscriptDump,
    testing::Combine(testing::ValuesIn(testsupport::hex_dump_paths()),
                     testing::Values(Shape{1, 100}, Shape{2, 100}, Shape{2, 1000}, Shape{3, 1000},
                                     Shape{4, 5000}, Shape{2, transcript::flush_size})),
    testsupport::CaseName{});

// Unforced, the parallel path starts at its threshold: the sizes around it, at the real write size.
TEST(TranscriptDump, SizesAroundTheParallelThreshold) {
    const Setting setting(2, 0, false);
    std::mt19937 rng(7);
    std::string expected;
    testing::internal::CaptureStdout();
    for (const std::uint32_t count :
         {transcript::parallel_dump_threshold - 16, transcript::parallel_dump_threshold - 1,
          transcript::parallel_dump_threshold, transcript::parallel_dump_threshold + 15}) {
        Bytes data = random_bytes(rng, count);
        expected += "label\n" + reference_dump(data);
        transcript::line("label");
        transcript::dump(data.data(), count);
    }
    EXPECT_TRUE(transcript::finish());
    EXPECT_PRED_FORMAT2(testsupport::SameTranscript, expected,
                        testing::internal::GetCapturedStdout());
}

#ifndef _WIN32
// The first failed write is the one reported, nothing more is written, and the follower is still
// told of every byte, so the reader decrypts and hashes the whole payload all the same.
TEST(TranscriptDeathTest, AFailedWriteIsKeptAndTheFollowerToldOfEverything) {
    EXPECT_EXIT(
        {
            const int full = open("/dev/full", O_WRONLY);
            if (full < 0 || dup2(full, STDOUT_FILENO) < 0) {
                std::_Exit(2);
            }
            const Setting setting(2, 1000);
            Bytes data(100000, 'x');
            Scribbler scribbler(data);
            transcript::line("before");
            transcript::dump(data.data(), static_cast<std::uint32_t>(data.size()), &scribbler);
            transcript::line("after");
            const bool kept = !transcript::finish() && transcript::first_error() == ENOSPC;
            std::_Exit(kept && scribbler.complete() ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
