#include "output/dump_pool.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/check.h"

#if defined(_WIN32)
#include <windows.h>
#elif defined(__linux__)
#include <sched.h>
#endif

namespace dump_pool {
namespace {

unsigned processors() {
#if defined(_WIN32)
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) != 0 && process != 0) {
        unsigned count = 0;
        for (; process != 0; process &= process - 1) {
            ++count;
        }
        return count;
    }
#elif defined(__linux__)
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        return static_cast<unsigned>(CPU_COUNT(&set));
    }
#endif
    return std::thread::hardware_concurrency();
}

struct Setting {
    unsigned threads;  // 0: as many as there are processors
    bool forced;
};

Setting from_environment() {
    if (const char* text = std::getenv("NOTEDIAG_DUMP_THREADS"); text != nullptr && *text != '\0') {
        char* end = nullptr;
        const long asked = std::strtol(text, &end, 10);
        if (*end == '\0' && asked >= 1) {
            const auto threads = static_cast<unsigned>(std::min<long>(asked, max_threads));
            return {threads, threads >= 2};
        }
    }
    return {0, false};
}

const Setting& environment() {
    static const Setting setting = from_environment();
    return setting;
}

unsigned processor_threads() {
    static const unsigned count = std::clamp(processors(), 1u, max_threads);
    return count;
}

Setting testing_setting{0, false};

// The pool's state, all under `mutex`. Workers sleep on `work` until a job is released; the caller
// sleeps on `progress` until a job it waits for is done, or the running ones are.
struct Pool {
    std::mutex mutex;
    std::condition_variable work;
    std::condition_variable progress;
    std::array<std::thread, max_threads - 1> workers;
    unsigned started = 0;
    bool stopping = false;

    Jobs* jobs = nullptr;
    std::unique_ptr<bool[]> done;
    std::size_t count = 0;
    std::size_t next = 0;      // the next job to claim
    std::size_t released = 0;  // jobs below it may be claimed
    std::size_t running = 0;
    bool caller_waiting = false;

    ~Pool() {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
        }
        work.notify_all();
        for (unsigned i = 0; i < started; ++i) {
            workers[i].join();
        }
    }

    bool claimable() const { return jobs != nullptr && next < released; }

    // Runs the next released job with `lock` let go meanwhile.
    void run_next(std::unique_lock<std::mutex>& lock) {
        const std::size_t index = next++;
        ++running;
        Jobs* const batch = jobs;
        lock.unlock();
        batch->run(index);
        lock.lock();
        done[index] = true;
        --running;
    }

    void serve() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            work.wait(lock, [this] { return stopping || claimable(); });
            if (stopping) {
                return;
            }
            run_next(lock);
            if (caller_waiting) {
                progress.notify_one();
            }
        }
    }

    // A thread the system refuses is no failure of the dump: the caller formats what no worker
    // takes, down to every slice itself.
    void start_workers() noexcept {
        const unsigned wanted = threads() - 1;
        try {
            while (started < wanted) {
                workers[started] = std::thread([this] { serve(); });
                ++started;
            }
        } catch (const std::system_error&) {
        }
    }
};

Pool& pool() {
    static Pool instance;
    return instance;
}

}  // namespace

unsigned threads() {
    if (testing_setting.threads != 0) {
        return testing_setting.threads;
    }
    return environment().threads != 0 ? environment().threads : processor_threads();
}

bool forced() {
    return testing_setting.threads != 0 ? testing_setting.forced : environment().forced;
}

unsigned threads_for_testing(unsigned count, bool force) noexcept {
    const unsigned previous = testing_setting.threads;
    testing_setting = {std::min(count, max_threads), force && count >= 2};
    return previous;
}

Batch::Batch(Jobs& jobs, std::size_t count, std::size_t released) {
    Pool& p = pool();
    auto done = std::make_unique<bool[]>(count);
    const std::lock_guard<std::mutex> lock(p.mutex);
    NOTEDIAG_ASSERT(p.jobs == nullptr);
    p.start_workers();
    p.jobs = &jobs;
    p.done = std::move(done);
    p.count = count;
    p.next = 0;
    p.released = std::min(released, count);
    p.running = 0;
    p.work.notify_all();
}

Batch::~Batch() {
    stop();
    Pool& p = pool();
    const std::lock_guard<std::mutex> lock(p.mutex);
    p.jobs = nullptr;
    p.done.reset();
}

void Batch::wait(std::size_t index) {
    Pool& p = pool();
    std::unique_lock<std::mutex> lock(p.mutex);
    NOTEDIAG_ASSERT(index < p.released);
    while (!p.done[index]) {
        if (p.claimable()) {
            p.run_next(lock);
            continue;
        }
        p.caller_waiting = true;
        p.progress.wait(lock);
        p.caller_waiting = false;
    }
}

void Batch::release(std::size_t released) {
    Pool& p = pool();
    {
        const std::lock_guard<std::mutex> lock(p.mutex);
        if (released <= p.released) {
            return;
        }
        p.released = std::min(released, p.count);
    }
    p.work.notify_all();
}

void Batch::stop() noexcept {
    Pool& p = pool();
    std::unique_lock<std::mutex> lock(p.mutex);
    p.released = p.next;
    while (p.running != 0) {
        p.caller_waiting = true;
        p.progress.wait(lock);
        p.caller_waiting = false;
    }
}

}  // namespace dump_pool
