// Native costs of the logging bridge, in an embedded interpreter, on the
// module's own objects (built without testing hooks):
//
// - an event that the cached limit rejects (`enabled` and `log` at Info on
//   "vq::quiet::deep", whose Python logger is at WARNING, beside 50 cached
//   siblings), on one thread and on two threads at once, against its floor:
//   the same walk from a root pointer read with one acquire load, nothing
//   pinned, counted or reclaimed;
// - a forwarded event, against Python's own `logger.info` to the same handler;
// - the first event of a new target (getLogger, the probe, the store), against
//   Python's `getLogger(new name).info`.
//
//     bench_logbridge [--runs N]      (scripts/run-benchmarks --logbridge)
//
// A rejected event is timed in chunks of 20000 events, keeping the median
// time per event of the chunks during which the timed threads had a CPU all
// along (the least of the runs); two threads at once count only between two
// checks showing that they run on separate cores. A forwarded event is timed
// in chunks of 1000, the first event of a new target in batches of 50, each
// into a fresh cache. Ratios are what compare across machines; the times are
// printed for reference.
#include "frame/python_api.hpp"
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <utility>
#include <string>
#include <thread>
#include <vector>

#include "frame/interpreter_lock.hpp"
#include "logbridge/logger.hpp"

namespace {

using namespace velquist::logbridge;
using Clock = std::chrono::steady_clock;

constexpr std::string_view quiet_target = "vq::quiet::deep";
constexpr int siblings = 50;
constexpr long rejected_events = 2'000'000;
constexpr long check_events = 400'000;
constexpr int attempts = 8;
/// The check (the floor plus one shared write) from two threads at once
/// costs at least this many times its cost on one thread when the threads
/// run on separate cores; on two hardware threads of one core, where the
/// line never leaves the core, it hardly costs more.
constexpr double separate_cores = 1.5;
constexpr long forwarded_events = 20'000;
constexpr long forwarded_chunk = 1000;
constexpr int first_batch = 50;
constexpr int first_batches = 6;

constexpr const char* setup = R"(
import logging, timeit

class Count(logging.Handler):
    def __init__(self):
        super().__init__()
        self.count = 0
    def emit(self, record):
        self.count += 1

top = logging.getLogger("vq")
top.setLevel(logging.DEBUG)
top.propagate = False
top.addHandler(Count())
logging.getLogger("vq.quiet").setLevel(logging.WARNING)
fwd = logging.getLogger("vq.fwd")
_fresh = iter(range(10**9))

def python_forwarded(n):
    return min(timeit.repeat(lambda: fwd.info("m"), number=1000, repeat=n // 1000)) / 1000

def python_first(n, batches):
    return min(timeit.repeat(lambda: logging.getLogger(f"vq.py.t{next(_fresh)}").info("m"), number=n, repeat=batches)) / n
)";

/// The floor's root: read with one acquire load, never replaced.
std::atomic<const CacheNode*> floor_root;

/// Written by both threads of the contention check, on a line of its own.
struct alignas(64) SharedCounter {
    std::atomic<long> value{0};
    char padding[64 - sizeof(std::atomic<long>)];
} shared_counter;

/// Keeps a result without storing it anywhere another thread could share.
inline void keep(bool result) { asm volatile("" : : "r"(result)); }

/// `Logger::enabled` for a cached target minus the pinning: the same walk
/// and the same two limit tests (the default limit is `Debug`).
[[gnu::noipa]] bool floor_enabled(LogLevel level, std::string_view target) noexcept {
    const CacheNode* node = find(*floor_root.load(std::memory_order_acquire), target);
    if (node != nullptr && node->entry && !passes(level, node->entry->limit())) return false;
    return passes(level, LevelLimit::Debug);
}

/// The rejected path of `Logger::log` on the same terms.
[[gnu::noipa]] void floor_log(const LogEvent& event) noexcept {
    if (!floor_enabled(event.level, event.target)) return;
    std::abort();
}

template <class Event>
double ns_per_event(long count, const Event& event) {
    const Clock::time_point start = Clock::now();
    for (long i = 0; i < count; ++i) event();
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / static_cast<double>(count);
}

constexpr long chunk_events = 20'000;

double clock_ns(clockid_t clock) {
    timespec now{};
    if (clock_gettime(clock, &now) != 0) return 0;
    return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

/// The median time per event over chunks of `chunk_events`, counting only
/// chunks during which this thread (and `other`, if given) had the CPU for
/// nearly the whole time: on a busy machine two threads taking turns on one
/// CPU must not pass for two threads running at once. The median, not the
/// least: under a lock one thread may have its best chunks while the other
/// waits. Infinity if no chunk qualifies.
template <class Event>
double ns_chunk_median(long count, const Event& event, clockid_t mine, const clockid_t* other) {
    std::vector<double> times;
    for (long chunk = 0; chunk < count / chunk_events; ++chunk) {
        const double cpu = clock_ns(mine);
        const double other_cpu = other != nullptr ? clock_ns(*other) : 0;
        const double wall = clock_ns(CLOCK_MONOTONIC);
        for (long i = 0; i < chunk_events; ++i) event();
        const double took = clock_ns(CLOCK_MONOTONIC) - wall;
        const bool ran = clock_ns(mine) - cpu >= 0.95 * took;
        const bool other_ran = other == nullptr || clock_ns(*other) - other_cpu >= 0.95 * took;
        if (ran && other_ran) times.push_back(took / static_cast<double>(chunk_events));
    }
    if (times.empty()) return std::numeric_limits<double>::infinity();
    std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
    return times[times.size() / 2];
}

clockid_t this_thread_clock() {
    clockid_t clock{};
    pthread_getcpuclockid(pthread_self(), &clock);
    return clock;
}

template <class Event>
double ns_one_thread(long count, const Event& event) {
    return ns_chunk_median(count, event, this_thread_clock(), nullptr);
}

/// Per-thread cost with two threads running `event` at the same time: the
/// slower of the two.
template <class Event>
double ns_two_threads(long count, const Event& event) {
    std::atomic<int> ready{0};
    clockid_t clocks[2] = {};
    double took[2] = {0, 0};
    auto work = [&](int k) {
        clocks[k] = this_thread_clock();
        ready.fetch_add(1);
        while (ready.load() < 2) {
        }
        took[k] = ns_chunk_median(count, event, clocks[k], &clocks[1 - k]);
    };
    std::thread first(work, 0);
    std::thread second(work, 1);
    first.join();
    second.join();
    return std::max(took[0], took[1]);
}

double python_seconds(const std::string& call) {
    PyObject* globals = PyModule_GetDict(PyImport_AddModule("__main__"));
    PyObject* value = PyRun_String(call.c_str(), Py_eval_input, globals, globals);
    if (value == nullptr) {
        PyErr_Print();
        std::exit(1);
    }
    const double seconds = PyFloat_AsDouble(value);
    Py_DECREF(value);
    return seconds;
}

LogEvent event_at(LogLevel level, std::string_view target) {
    return LogEvent{level, target, "m", std::nullopt, std::nullopt};
}

void log_at(const Logger& bridge, LogLevel level, std::string_view target) { bridge.log(event_at(level, target)); }

struct Best {
    double value = std::numeric_limits<double>::infinity();
    void take(double v) { value = std::min(value, v); }
};

}  // namespace

int main(int argc, char** argv) {
    int runs = 7;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
    }
    Py_Initialize();
    std::unique_ptr<Logger> bridge;
    NodeRef floor_tree;
    {
        velquist::frame::HeldLockScope lock;
        PyObject* globals = PyModule_GetDict(PyImport_AddModule("__main__"));
        PyObject* done = PyRun_String(setup, Py_file_input, globals, globals);
        bridge = Logger::create(CachePolicy::CacheLoggersAndLimits);
        if (done == nullptr || !bridge) {
            PyErr_Print();
            return 1;
        }
        Py_DECREF(done);
        for (int i = 0; i < siblings; ++i) log_at(*bridge, LogLevel::Info, "vq::quiet::s" + std::to_string(i));
        log_at(*bridge, LogLevel::Info, quiet_target);
        log_at(*bridge, LogLevel::Info, "vq::fwd");
        floor_tree = bridge->cache()->load();
        floor_root.store(floor_tree.get(), std::memory_order_release);
    }
    if (bridge->enabled(LogLevel::Info, quiet_target) || !bridge->enabled(LogLevel::Info, "vq::fwd")) {
        std::fprintf(stderr, "the targets were not cached as expected\n");
        return 1;
    }
    PyThreadState* main_state = PyEval_SaveThread();
    auto floor = [] { keep(floor_enabled(LogLevel::Info, quiet_target)); };
    // The floor plus one write to a line both threads write: what sharing
    // costs when the threads truly run on separate cores.
    auto shared_write = [] {
        keep(floor_enabled(LogLevel::Info, quiet_target));
        shared_counter.value.fetch_add(1, std::memory_order_relaxed);
    };
    auto enabled = [&] { keep(bridge->enabled(LogLevel::Info, quiet_target)); };
    auto floor_rejected = [] { floor_log(event_at(LogLevel::Info, quiet_target)); };
    auto rejected = [&] { log_at(*bridge, LogLevel::Info, quiet_target); };
    Best check1, check2, floor1, floor2, enabled1, enabled2, floor_log1, log1, log2, forwarded, first, python_forwarded,
        python_first;
    int tried = 0;
    int separate = 0;
    for (int run = 0; run < runs; ++run) {
        {
            velquist::frame::InterpreterLockGuard lock;
            python_forwarded.take(python_seconds("python_forwarded(20000)") * 1e9);
            python_first.take(python_seconds("python_first(" + std::to_string(first_batch) + ", " +
                                             std::to_string(first_batches) + ")") * 1e9);
        }
        floor1.take(ns_one_thread(rejected_events, floor));
        enabled1.take(ns_one_thread(rejected_events, enabled));
        floor_log1.take(ns_one_thread(rejected_events, floor_rejected));
        log1.take(ns_one_thread(rejected_events, rejected));
        check1.take(ns_one_thread(rejected_events, shared_write));
        // A virtual machine's two CPUs may be two hardware threads of one
        // core for a while: two-thread figures count only between two checks
        // that show separate cores.
        double check = ns_two_threads(check_events, shared_write);
        for (int attempt = 0; attempt < attempts; ++attempt) {
            ++tried;
            const double floor_at_once = ns_two_threads(check_events, floor);
            const double enabled_at_once = ns_two_threads(check_events, enabled);
            const double log_at_once = ns_two_threads(check_events, rejected);
            const double check_before = std::exchange(check, ns_two_threads(check_events, shared_write));
            const double slower = std::max(check_before, check) / check1.value;
            if (!(std::min(check_before, check) >= separate_cores * check1.value && std::isfinite(slower))) continue;
            ++separate;
            check2.take(std::min(check_before, check));
            floor2.take(floor_at_once);
            enabled2.take(enabled_at_once);
            log2.take(log_at_once);
        }
        for (long done = 0; done < forwarded_events; done += forwarded_chunk) {
            forwarded.take(ns_per_event(forwarded_chunk, [&] { log_at(*bridge, LogLevel::Info, "vq::fwd"); }));
        }
        // A fresh cache for each batch, so every batch stores into trees of
        // the same sizes.
        for (int batch = 0; batch < first_batches; ++batch) {
            std::unique_ptr<Logger> fresh;
            {
                velquist::frame::InterpreterLockGuard lock;
                fresh = Logger::create(CachePolicy::CacheLoggersAndLimits);
            }
            const std::string prefix = "vq::new" + std::to_string(run) + "_" + std::to_string(batch) + "::t";
            int next = 0;
            first.take(ns_per_event(first_batch, [&] { log_at(*fresh, LogLevel::Info, prefix + std::to_string(next++)); }));
            velquist::frame::InterpreterLockGuard lock;
            fresh.reset();
        }
    }
    PyEval_RestoreThread(main_state);

    std::printf("logging bridge, native, min of %d runs\n\n", runs);
    std::printf("Two threads at once: %d of %d attempts ran on separate cores.\n\n", separate, tried);
    std::printf("| event | ratio | to | bound |\n| --- | ---: | --- | --- |\n");
    std::printf("| rejected `enabled`, one thread | %.2f | floor, one thread | <= 1.1 |\n", enabled1.value / floor1.value);
    std::printf("| rejected `log`, one thread | %.2f | its floor, one thread | <= 1.1 |\n",
                log1.value / floor_log1.value);
    std::printf("| rejected `enabled`, two threads at once | %.2f | `enabled`, one thread | <= 1.1 |\n",
                enabled2.value / enabled1.value);
    std::printf("| rejected `log`, two threads at once | %.2f | `log`, one thread | <= 1.1 |\n", log2.value / log1.value);
    std::printf("| floor, two threads at once | %.2f | floor, one thread | |\n", floor2.value / floor1.value);
    std::printf("| check: floor plus a shared write, two threads at once | %.2f | the same, one thread | "
                ">= %.1f |\n",
                check2.value / check1.value, separate_cores);
    std::printf("| forwarded event | %.2f | Python `logger.info`, same handler | |\n",
                forwarded.value / python_forwarded.value);
    std::printf("| first event of a new target | %.2f | Python `getLogger(new).info` | |\n",
                first.value / python_first.value);
    std::printf("\nns per event: floor %.1f, enabled %.1f, log floor %.1f, log %.1f; two threads: floor %.1f, "
                "enabled %.1f, log %.1f;\nforwarded %.0f (Python %.0f); first event %.0f (Python %.0f)\n",
                floor1.value, enabled1.value, floor_log1.value, log1.value, floor2.value, enabled2.value, log2.value,
                forwarded.value, python_forwarded.value, first.value, python_first.value);
    // The interpreter is left running: finalising it is no part of the figures.
    std::fflush(stdout);
    std::_Exit(0);
}
