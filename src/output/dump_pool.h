// The threads that format a large dump: a small pool, started the first time a dump is large
// enough to share, that runs numbered jobs alongside the thread that asked for them. Internal to
// the output room; the transcript (transcript.cpp) is its one user, on one thread at a time.
#pragma once

#include <cstddef>

namespace dump_pool {

// The most threads a dump is formatted on, the caller's included: past four the formatting outruns
// what memory and a pipe's reader take anyway, and each thread holds one more output chunk.
inline constexpr unsigned max_threads = 4;

// How many threads format a large dump, the caller's included: the processors this process may run
// on (its affinity, so `taskset -c 0` gives 1), at most max_threads. NOTEDIAG_DUMP_THREADS=N in the
// environment sets it instead (1 to max_threads; 1 is the serial dump), for tests and measurements.
unsigned threads();
// True when NOTEDIAG_DUMP_THREADS sets 2 or more: every dump then takes the parallel path, however
// small, so tests see slices cut at every kind of boundary.
bool forced();

// Test and benchmark hook, not for the tool: from now on threads() reports `count` (0 puts back the
// processors or the environment's figure) and forced() reports `force`; returns the count it
// replaces. Call it while no dump runs, with the transcript finished (transcript.h), since the
// output chunks are sized for the thread count.
unsigned threads_for_testing(unsigned count, bool force = false) noexcept;

// What a batch runs: job `index`, once, on some thread.
class Jobs {
  public:
    virtual void run(std::size_t index) = 0;

  protected:
    ~Jobs() = default;
};

// A batch of `count` jobs, run in the order they are claimed, by the pool's workers (started on the
// first batch, threads() - 1 of them) and by the calling thread while it waits. A job may start
// only once it is released; the jobs below `released` are at once. One batch at a time.
class Batch {
  public:
    Batch(Jobs& jobs, std::size_t count, std::size_t released);
    // Stops the batch (see stop()).
    ~Batch();
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

    // Returns once job `index` (released) is done, running released jobs meanwhile.
    void wait(std::size_t index);
    // Lets the jobs below `released` start.
    void release(std::size_t released);
    // No further job starts; returns once those already running are done.
    void stop() noexcept;
};

}  // namespace dump_pool
