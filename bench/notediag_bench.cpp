// Throughput of the tool's stages and of a whole load, in bytes of input per second. bench/compare
// sets these figures beside reference programs; nothing here is run by the test suite.
//
// The stages of a load, each on its own: read (a note's bytes into a fresh secure buffer, page
// faults included), decrypt, hash, dump (to a stream; and the transcript's own, on one thread and
// on two), write (the transcript's buffer and its write calls), then the whole load.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/load_document.h"
#include "crypto/aes/aes.h"
#include "crypto/aes/aes_modes.h"
#include "crypto/key_trial.h"
#include "crypto/sha256.h"
#include "file/File.h"
#include "output/dump_pool.h"
#include "output/hex_dump.h"
#include "output/transcript.h"
#include "platform/check.h"
#include "platform/cpu.h"
#include "secure/Plaintext.h"
#include "testkit/cpu_paths.h"
#include "testkit/note_builder.h"

namespace {

// 16 KiB is the block size the reference cipher and hash figures are taken at.
void sizes(benchmark::internal::Benchmark* b) {
    b->Arg(1 << 10)->Arg(16 << 10)->Arg(64 << 10)->Arg(16 << 20);
}

std::vector<std::uint8_t> random_bytes(std::size_t n, std::uint32_t seed) {
    std::mt19937 generator(seed);
    std::vector<std::uint8_t> bytes(n);
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(generator());
    }
    return bytes;
}

void report(benchmark::State& state, std::size_t bytes_per_iteration) {
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes_per_iteration));
}

using testsupport::CpuPath;

// Each benchmark runs once per processor path under the path's own name (testkit/cpu_paths.h),
// with the cpu module limited to that path's features so the routine takes it.
CpuPath path_named(const std::vector<CpuPath>& paths, const char* name) {
    for (const CpuPath& path : paths) {
        if (std::strcmp(path.name, name) == 0) {
            return path;
        }
    }
    NOTEDIAG_ASSERT(!"a path of that name");
    return paths.front();
}

const CpuPath portable = testsupport::aes_cbc_paths().front();
const CpuPath aesni = path_named(testsupport::aes_cbc_paths(), "aesni");
const CpuPath shani = path_named(testsupport::sha256_paths(), "shani");
const CpuPath ssse3 = path_named(testsupport::hex_dump_paths(), "ssse3");
const CpuPath avx2 = path_named(testsupport::hex_dump_paths(), "avx2");
const CpuPath native = testsupport::native_cpu_path;

// Forces `path` while it lives; a path the processor (or NOTEDIAG_CPU=portable) withholds marks the
// benchmark skipped, and its figure is missing from the report.
class OnPath {
  public:
    OnPath(benchmark::State& state, const CpuPath& path) : forced_(path) {
        if (!forced_.available()) {
            state.SkipWithError(testsupport::unavailable(path).c_str());
        }
    }

  private:
    testsupport::ForcedCpuPath forced_;
};

void bm_aes_modes_cbc_decrypt_256(benchmark::State& state, const CpuPath& path) {
    const OnPath on(state, path);
    const auto size = static_cast<std::size_t>(state.range(0));
    const std::vector<std::uint8_t> in = random_bytes(size, 1);
    std::vector<std::uint8_t> out(size);
    const std::vector<std::uint8_t> key = random_bytes(32, 2);
    aes_tables_init();
    AesDecryptContext ctx;
    aes_decrypt_schedule_256(key.data(), ctx);
    std::uint8_t iv[16] = {};
    for (auto _ : state) {
        NOTEDIAG_ASSERT(
            aes_modes_cbc_decrypt(in.data(), out.data(), static_cast<int>(size), iv, ctx) == 0);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    report(state, size);
}
BENCHMARK_CAPTURE(bm_aes_modes_cbc_decrypt_256, portable, portable)
    ->Name("aes_modes_cbc_decrypt/portable")
    ->Apply(sizes);
BENCHMARK_CAPTURE(bm_aes_modes_cbc_decrypt_256, aesni, aesni)
    ->Name("aes_modes_cbc_decrypt/aesni")
    ->Apply(sizes);

void bm_sha256_digest(benchmark::State& state, const CpuPath& path) {
    const OnPath on(state, path);
    const auto size = static_cast<std::size_t>(state.range(0));
    const std::vector<std::uint8_t> in = random_bytes(size, 3);
    std::uint8_t digest[sha256_digest_size];
    for (auto _ : state) {
        sha256_digest(digest, in.data(), in.size());
        benchmark::DoNotOptimize(digest);
        benchmark::ClobberMemory();
    }
    report(state, size);
}
BENCHMARK_CAPTURE(bm_sha256_digest, portable, portable)
    ->Name("sha256_digest/portable")
    ->Apply(sizes);
BENCHMARK_CAPTURE(bm_sha256_digest, shani, shani)->Name("sha256_digest/shani")->Apply(sizes);

// The trial kernel alone: candidates per second, in batches of 64 candidates of 6 to 14 bytes,
// the size the search hands it, against a 13-block note.
void bm_key_trial(benchmark::State& state, const CpuPath& path) {
    const OnPath on(state, path);
    const std::vector<std::uint8_t> bytes = random_bytes(64 * 14, 7);
    std::vector<KeyTrialCandidate> batch;
    for (std::size_t i = 0; i < 64; ++i) {
        batch.push_back({bytes.data() + 14 * i, 6 + i % 9});
    }
    const std::vector<std::uint8_t> iv = random_bytes(16, 8);
    const std::vector<std::uint8_t> ciphertext = random_bytes(208, 9);
    const KeyTrialTarget target = key_trial_target(iv.data(), ciphertext);
    std::vector<KeyTrialBlocks> out(batch.size());
    for (auto _ : state) {
        key_trial(target, batch.data(), batch.size(), out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(batch.size()));
}
BENCHMARK_CAPTURE(bm_key_trial, portable, portable)->Name("key_trial/portable");
BENCHMARK_CAPTURE(bm_key_trial, shani_aesni, native)->Name("key_trial/shani_aesni");

// Standard output goes to /dev/null while it lives; the benchmark's own report is printed after
// the benchmark function returns, so it is not lost.
class StdoutToNull {
  public:
    StdoutToNull() : saved(::dup(STDOUT_FILENO)) {
        NOTEDIAG_ASSERT(saved >= 0);
        std::fflush(stdout);
        const int null = ::open("/dev/null", O_WRONLY);
        NOTEDIAG_ASSERT(null >= 0 && ::dup2(null, STDOUT_FILENO) == STDOUT_FILENO);
        ::close(null);
    }
    ~StdoutToNull() {
        std::fflush(stdout);
        ::dup2(saved, STDOUT_FILENO);
        ::close(saved);
    }
    StdoutToNull(const StdoutToNull&) = delete;
    StdoutToNull& operator=(const StdoutToNull&) = delete;

  private:
    int saved;
};

// Input bytes per second; the text written is about 4.8 times as much.
void bm_hex_dump(benchmark::State& state, const CpuPath& path) {
    const OnPath on(state, path);
    const auto size = static_cast<std::size_t>(state.range(0));
    const std::vector<std::uint8_t> in = random_bytes(size, 4);
    std::FILE* null = std::fopen("/dev/null", "w");
    NOTEDIAG_ASSERT(null != nullptr);
    for (auto _ : state) {
        hex_dump(null, in.data(), static_cast<std::uint32_t>(size));
    }
    std::fclose(null);
    report(state, size);
}
BENCHMARK_CAPTURE(bm_hex_dump, portable, portable)->Name("hex_dump/portable")->Apply(sizes);
BENCHMARK_CAPTURE(bm_hex_dump, ssse3, ssse3)->Name("hex_dump/ssse3")->Apply(sizes);
BENCHMARK_CAPTURE(bm_hex_dump, avx2, avx2)->Name("hex_dump/avx2")->Apply(sizes);

// The transcript's dump, formatted into its own buffers and written to /dev/null, on `threads`
// threads (1: the serial dump). The buffers live on from one dump to the next, as they do through
// a run of the tool, so their page faults are not counted each time.
void bm_transcript_dump(benchmark::State& state, const CpuPath& path, unsigned threads) {
    const OnPath on(state, path);
    const auto size = static_cast<std::size_t>(state.range(0));
    const std::vector<std::uint8_t> in = random_bytes(size, 4);
    const unsigned previous = dump_pool::threads_for_testing(threads);
    {
        StdoutToNull quiet;
        NOTEDIAG_ASSERT(transcript::finish());
        for (auto _ : state) {
            transcript::dump(in.data(), static_cast<std::uint32_t>(size));
        }
        NOTEDIAG_ASSERT(transcript::finish());
    }
    dump_pool::threads_for_testing(previous);
    report(state, size);
}
BENCHMARK_CAPTURE(bm_transcript_dump, portable, portable, 1)
    ->Name("transcript_dump/portable/threads:1")
    ->Apply(sizes)
    ->UseRealTime();
BENCHMARK_CAPTURE(bm_transcript_dump, portable2, portable, 2)
    ->Name("transcript_dump/portable/threads:2")
    ->Apply(sizes)
    ->UseRealTime();
BENCHMARK_CAPTURE(bm_transcript_dump, native, native, 1)
    ->Name("transcript_dump/native/threads:1")
    ->Apply(sizes)
    ->UseRealTime();
BENCHMARK_CAPTURE(bm_transcript_dump, native2, native, 2)
    ->Name("transcript_dump/native/threads:2")
    ->Apply(sizes)
    ->UseRealTime();

// Text through the transcript to /dev/null: the copy into its buffer and the write calls.
void bm_transcript_write(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    const std::vector<std::uint8_t> in = random_bytes(size, 7);
    {
        StdoutToNull quiet;
        for (auto _ : state) {
            transcript::untrusted(in.data(), size);
            NOTEDIAG_ASSERT(transcript::finish());
        }
    }
    report(state, size);
}
BENCHMARK(bm_transcript_write)->Name("transcript_write")->Apply(sizes);

// A file's bytes into a fresh secure buffer of their size, as the reader takes a payload: the
// allocation and its page faults are part of the figure, so a heap block and a mapped one differ.
void bm_read(benchmark::State& state) {
    const auto size = static_cast<std::uint32_t>(state.range(0));
    const std::vector<std::uint8_t> bytes = random_bytes(size, 8);
    const char* dir = std::getenv("TMPDIR");
    std::string path =
        std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/notediag_bench_XXXXXX";
    const int fd = ::mkstemp(path.data());
    NOTEDIAG_ASSERT(fd >= 0);
    NOTEDIAG_ASSERT(::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()));
    ::close(fd);
    File file(path.c_str(), false, false);
    for (auto _ : state) {
        Plaintext payload;
        payload.resize(size);
        NOTEDIAG_ASSERT(file.seek(0) && file.read(payload.data(), size));
        benchmark::DoNotOptimize(payload.data());
    }
    ::unlink(path.c_str());
    report(state, size);
}
BENCHMARK(bm_read)->Name("read")->Apply(sizes)->UseRealTime();

// A version-2 document with `cipher_len` bytes of payload (a multiple of 16), sealed by the testkit
// with the project's own cipher and hash; the plaintext is five bytes shorter than the payload so
// the trim is exercised.
std::string build_document(std::uint32_t cipher_len, const std::string& password) {
    NOTEDIAG_ASSERT(cipher_len % 16 == 0 && cipher_len >= 16);
    const std::vector<std::uint8_t> plain = random_bytes(cipher_len - 5, 5);
    const std::vector<std::uint8_t> iv = random_bytes(16, 6);
    testsupport::Note note;
    note.password = password;
    note.text.assign(plain.begin(), plain.end());
    std::copy(iv.begin(), iv.end(), note.iv.begin());
    note.width = 800;
    note.height = 600;
    return testsupport::build_note(note);
}

void bm_load_document(benchmark::State& state, const CpuPath& cpu_path) {
    const OnPath on(state, cpu_path);
    const auto size = static_cast<std::uint32_t>(state.range(0));
    const std::string password = "correct horse";
    const std::string document = build_document(size, password);

    const char* dir = std::getenv("TMPDIR");
    std::string path =
        std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/notediag_bench_XXXXXX";
    const int fd = ::mkstemp(path.data());
    NOTEDIAG_ASSERT(fd >= 0);
    NOTEDIAG_ASSERT(::write(fd, document.data(), document.size()) ==
                    static_cast<ssize_t>(document.size()));
    ::close(fd);

    Plaintext key;
    assign_c_string(key, password.c_str(), false);
    {
        StdoutToNull quiet;
        for (auto _ : state) {
            std::unique_ptr<Document> loaded = load_document(path, key);
            NOTEDIAG_ASSERT(loaded != nullptr);
            benchmark::DoNotOptimize(loaded.get());
        }
    }
    ::unlink(path.c_str());
    report(state, document.size());
}
BENCHMARK_CAPTURE(bm_load_document, portable, portable)
    ->Name("load_document/portable")
    ->Apply(sizes);
BENCHMARK_CAPTURE(bm_load_document, native, native)->Name("load_document/native")->Apply(sizes);

}  // namespace

BENCHMARK_MAIN();
