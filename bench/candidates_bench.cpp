// Times find_password on a list of random words against a 200-byte note, with one thread and with
// two, and prints candidates per second of wall time and per second of the process's CPU time (all
// threads), one line per run and thread count:
//   find_password jobs=J PER_WALL_SECOND PER_CPU_SECOND
// The second figure stays put when other programs share the processors: it shows what the threads
// cost, while the first shows what they gain on an otherwise idle machine.
// bench/compare_candidates sets the figures beside the reference loop (candidates_evp).
//
//   candidates_bench [--count N] [--runs R] [--absent]
//
// N candidates (default 2000000), the password last unless --absent; R runs of each (default 5),
// the thread counts taking turns so a drift of the machine's speed touches both alike.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/candidate_list.h"
#include "candidates/find_password.h"
#include "platform/check.h"
#include "platform/little_endian.h"

namespace {

double cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Args {
    std::uint64_t count = 2000000;
    int runs = 5;
    bool absent = false;
};

Args parse(int argc, char** argv) {
    Args a;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--count" && i + 1 < argc) {
            a.count = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--runs" && i + 1 < argc) {
            a.runs = std::atoi(argv[++i]);
        } else if (arg == "--absent") {
            a.absent = true;
        } else {
            std::fprintf(stderr, "usage: candidates_bench [--count N] [--runs R] [--absent]\n");
            std::exit(2);
        }
    }
    return a;
}

}  // namespace

int main(int argc, char** argv) {
    const Args args = parse(argc, argv);
    const std::string list = benchlist::make_list(args.count, !args.absent);
    const std::string document = benchlist::make_note();

    const char* dir = std::getenv("TMPDIR");
    std::string path =
        std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/notediag_candidates_XXXXXX";
    const int out = ::mkstemp(path.data());
    NOTEDIAG_ASSERT(out >= 0);
    NOTEDIAG_ASSERT(::write(out, list.data(), list.size()) == static_cast<ssize_t>(list.size()));
    ::close(out);

    const auto* raw = reinterpret_cast<const std::uint8_t*>(document.data());
    candidates::NoteForTrial note{};
    std::memcpy(note.iv, raw + header_v2::iv, 16);
    std::memcpy(note.wanted_hash, raw + header_v2::wanted_hash, 32);
    note.plain_len = platform::load_le32(raw + header_v2::plain_len);
    note.ciphertext = {raw + header_v2::payload, document.size() - header_v2::payload};

    // One untimed search first: the file's pages, the buffers' first touch and the processor's
    // clock leaving its idle state are not charged to the first timed run. Then the thread counts
    // take turns, each going first in every other run.
    const auto timed = [&](unsigned jobs, bool report) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        NOTEDIAG_ASSERT(fd >= 0);
        candidates::TrialOptions options;
        options.jobs = jobs;
        const double cpu_start = cpu_seconds();
        const auto start = std::chrono::steady_clock::now();
        const candidates::TrialResult r = candidates::find_password(fd, note, options);
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
        const double cpu = cpu_seconds() - cpu_start;
        ::close(fd);
        NOTEDIAG_ASSERT(r.found == !args.absent);
        NOTEDIAG_ASSERT(!r.found || r.line == args.count);
        if (report) {
            std::printf("find_password jobs=%u %.0f %.0f\n", jobs,
                        static_cast<double>(r.candidates) / seconds.count(),
                        static_cast<double>(r.candidates) / cpu);
            std::fflush(stdout);
        }
    };
    timed(2, false);
    for (int run = 0; run < args.runs; ++run) {
        const unsigned first = run % 2 == 0 ? 1 : 2;
        timed(first, true);
        timed(3 - first, true);
    }
    ::unlink(path.c_str());
    return 0;
}
