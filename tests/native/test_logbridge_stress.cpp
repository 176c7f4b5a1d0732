// Many threads at once through the installed bridge: Python threads through
// the testing hook and native threads that hold no interpreter lock, on
// shared and distinct targets. Every forwarded event must reach the handler
// exactly once, and the cache must end with one correct entry per target.
#include <Python.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "frame/interpreter_lock.hpp"
#include "frame/owned_ref.hpp"
#include "harness.hpp"
#include "logbridge/install.hpp"
#include "logbridge/slot.hpp"
#include "test_logbridge_support.hpp"

namespace {

using velquist::frame::HeldLockScope;
using velquist::frame::OwnedRef;
using namespace velquist::logbridge;

constexpr int python_threads = 4;
constexpr int native_threads = 4;
constexpr int events_per_thread = 250;

constexpr const char* stress_setup = R"(
import logging, threading, velquist

class Collect(logging.Handler):
    def __init__(self):
        super().__init__()
        self.seen = []
    def emit(self, record):
        self.seen.append((record.name, record.levelno, record.getMessage()))

stress_handler = Collect()
_top = logging.getLogger("vqstress")
_top.setLevel(logging.DEBUG)
_top.propagate = False
_top.addHandler(stress_handler)
logging.getLogger("vqstress.quiet").setLevel(logging.WARNING)

def _py_worker(i, n):
    log = velquist._testing.log
    for j in range(n):
        log(20, "vqstress::shared", f"py{i}-{j}")
        log(10, f"vqstress::py{i}", f"py{i}-{j}-own")
        log(20, "vqstress::quiet", "dropped by Python or by the cached limit")
        log(5, "vqstress::shared", "trace is never forwarded")

def stress_start(count, n):
    global stress_threads
    stress_threads = [threading.Thread(target=_py_worker, args=(i, n)) for i in range(count)]
    for t in stress_threads:
        t.start()

def stress_check(py_count, native_count, n):
    for t in stress_threads:
        t.join()
    expected = set()
    for j in range(n):
        for i in range(py_count):
            expected.add(("vqstress.shared", 20, f"py{i}-{j}"))
            expected.add((f"vqstress.py{i}", 10, f"py{i}-{j}-own"))
        for i in range(native_count):
            expected.add(("vqstress.shared", 20, f"nat{i}-{j}"))
            expected.add((f"vqstress.native{i}.deep", 10, f"nat{i}-{j}-own"))
    seen = stress_handler.seen
    if len(seen) != len(set(seen)):
        return "duplicates"
    if set(seen) != expected:
        return f"missing {len(expected - set(seen))}, unexpected {sorted(set(seen) - expected)[:3]}"
    return "ok"
)";

void native_worker(int i) {
    const Log& log = logger();
    const std::string own_target = "vqstress::native" + std::to_string(i) + "::deep";
    for (int j = 0; j < events_per_thread; ++j) {
        const std::string shared = "nat" + std::to_string(i) + "-" + std::to_string(j);
        const std::string own = shared + "-own";
        log.log(LogEvent{LogLevel::Info, "vqstress::shared", shared, "stress.cpp", 1});
        log.log(LogEvent{LogLevel::Debug, own_target, own, std::nullopt, std::nullopt});
        log.log(LogEvent{LogLevel::Info, "vqstress::quiet", "dropped", std::nullopt, std::nullopt});
        log.log(LogEvent{LogLevel::Trace, "vqstress::shared", "trace", std::nullopt, std::nullopt});
        (void)log.enabled(LogLevel::Debug, own_target);
    }
}

/// Every target with an entry below `node`, as "a::b" paths.
void collect_entries(const CacheNode& node, const std::string& path, std::set<std::string>& out) {
    if (node.entry) out.insert(path);
    for (const auto& [segment, next] : node.children) collect_entries(*next, path + "::" + segment, out);
}

TEST_CASE(logbridge_stress_many_threads) {
    HeldLockScope lock;
    OwnedRef module(PyImport_ImportModule("velquist"));
    const Logger* bridge = installed_bridge();
    if (!module || bridge == nullptr || !RUN_PY(stress_setup)) {
        CHECK(false);
        return;
    }
    RUN_PY("stress_start(" + std::to_string(python_threads) + ", " + std::to_string(events_per_thread) + ")");
    Py_BEGIN_ALLOW_THREADS
    std::vector<std::thread> workers;
    for (int i = 0; i < native_threads; ++i) workers.emplace_back(native_worker, i);
    for (std::thread& t : workers) t.join();
    Py_END_ALLOW_THREADS
    CHECK_EQ(REPR_PY("stress_check(" + std::to_string(python_threads) + ", " + std::to_string(native_threads) +
                     ", " + std::to_string(events_per_thread) + ")"),
             std::string("'ok'"));

    // One entry per target used, each the registered Python logger of its
    // name, with the limit its level gives.
    NodeRef top = lookup(*bridge->cache(), "vqstress");
    if (!top) {
        CHECK(false);
        return;
    }
    std::set<std::string> found;
    collect_entries(*top, "vqstress", found);
    std::set<std::string> expected = {"vqstress::shared", "vqstress::quiet"};
    for (int i = 0; i < python_threads; ++i) expected.insert("vqstress::py" + std::to_string(i));
    for (int i = 0; i < native_threads; ++i) expected.insert("vqstress::native" + std::to_string(i) + "::deep");
    CHECK(found == expected);
    for (const std::string& target : expected) {
        NodeRef node = lookup(*bridge->cache(), target);
        if (!node || !node->entry) continue;
        const LevelLimit want = target == "vqstress::quiet" ? LevelLimit::Warn : LevelLimit::Debug;
        CHECK(node->entry->limit() == want);
        OwnedRef registered = EVAL_PY("logging.getLogger('" + python_logger_name(target) + "')");
        CHECK(registered.get() == node->entry->logger());
    }
}

}  // namespace
