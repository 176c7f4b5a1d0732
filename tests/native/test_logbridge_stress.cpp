// Readers without the interpreter lock against stores, on a bridge of its
// own: native threads log the first events of many targets (each stores a
// new root) while they reject events of cached targets and take snapshots
// that they drop later, all without the lock. They run in two waves, so the
// second reuses the slots of the first. Every forwarded event must arrive
// exactly once, the cache must end with the right entry per target, and once
// the bridge is gone every Python logger's reference count must be back.
#include "frame/python_api.hpp"

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "frame/interpreter_lock.hpp"
#include "harness.hpp"
#include "logbridge/logger.hpp"
#include "test_logbridge_support.hpp"

namespace {

using velquist::frame::HeldLockScope;
using namespace velquist::logbridge;

constexpr int threads_per_wave = 3, threads = 2 * threads_per_wave, targets = 40, rounds = 2;

constexpr const char* stress_setup = R"(
import logging, sys

class Collect(logging.Handler):
    def emit(self, record):
        seen.append((record.name, record.levelno, record.getMessage()))

seen = []
top = logging.getLogger("vqstress")
top.setLevel(logging.DEBUG)
top.propagate = False
top.addHandler(Collect())
logging.getLogger("vqstress.quiet").setLevel(logging.WARNING)
own = [f"vqstress.t{i}.{k}" for i in range(threads) for k in range(targets)]
expected = sorted([(n, 20, f"{n}/{r}") for n in own for r in range(rounds)] +
                  [("vqstress.shared", 20, f"{i}/{r}") for i in range(threads) for r in range(rounds)])
loggers = [logging.getLogger(n) for n in own + ["vqstress.shared", "vqstress.quiet"]]
refcounts = lambda: [sys.getrefcount(x) for x in loggers]
before = refcounts()
)";

std::string target_of(int i, int k) { return "vqstress::t" + std::to_string(i) + "::" + std::to_string(k); }

void reader(const Logger& bridge, int i) {
    NodeRef kept;
    for (int round = 0; round < rounds; ++round) {
        for (int k = 0; k < targets; ++k) {
            const std::string target = target_of(i, k);
            const std::string own = python_logger_name(target) + "/" + std::to_string(round);
            const std::string shared = std::to_string(i) + "/" + std::to_string(round);
            bridge.log(LogEvent{LogLevel::Info, target, own, std::nullopt, std::nullopt});
            if (k == i) bridge.log(LogEvent{LogLevel::Info, "vqstress::shared", shared, "stress.cpp", 1});
            bridge.log(LogEvent{LogLevel::Info, "vqstress::quiet", "dropped", std::nullopt, std::nullopt});
            bridge.log(LogEvent{LogLevel::Trace, target, "never forwarded", std::nullopt, std::nullopt});
            for (int j = 0; j < 8; ++j) CHECK(!bridge.enabled(LogLevel::Trace, target_of((i + j) % threads, j)));
            // Outlives the stores of the next events; dropped here, without the lock.
            kept = lookup(*bridge.cache(), k % 2 ? target : "vqstress::quiet");
        }
    }
}

TEST_CASE(logbridge_stress_readers_without_lock_and_stores) {
    HeldLockScope lock;
    std::unique_ptr<Logger> bridge = Logger::create(CachePolicy::CacheLoggersAndLimits);
    const std::string sizes =
        std::to_string(threads) + "," + std::to_string(targets) + "," + std::to_string(rounds);
    const bool ready = bridge && RUN_PY("threads, targets, rounds = " + sizes) && RUN_PY(stress_setup);
    CHECK(ready);
    if (!ready) return;
    Py_BEGIN_ALLOW_THREADS
    for (int wave = 0; wave < threads; wave += threads_per_wave) {
        std::vector<std::thread> workers;
        for (int i = wave; i < wave + threads_per_wave; ++i) workers.emplace_back(reader, std::cref(*bridge), i);
        for (std::thread& t : workers) t.join();
    }
    Py_END_ALLOW_THREADS
    CHECK_EQ(REPR_PY("sorted(seen) == expected"), std::string("True"));

    // One entry per target: its registered Python logger, with the limit
    // that logger's level gives.
    std::vector<std::string> all = {"vqstress::shared", "vqstress::quiet"};
    for (int n = 0; n < threads * targets; ++n) all.push_back(target_of(n / targets, n % targets));
    for (const std::string& target : all) {
        const NodeRef node = lookup(*bridge->cache(), target);
        const auto registered = EVAL_PY("logging.getLogger('" + python_logger_name(target) + "')");
        const LevelLimit limit = target == "vqstress::quiet" ? LevelLimit::Warn : LevelLimit::Debug;
        CHECK(node && node->entry && node->entry->logger() == registered.get() && node->entry->limit() == limit);
    }
    bridge.reset();
    velquist::frame::apply_pending_releases();
    CHECK_EQ(REPR_PY("refcounts() == before"), std::string("True"));
}

}  // namespace
