// The bridge where Python cannot reach it: per-target limits, the cache
// policies, native threads without the lock, a caller's pending exception,
// a call failing without an exception, a lost compare-and-swap, the slot.
#include <Python.h>

#include <memory>
#include <string>
#include <thread>

#include "frame/interpreter_lock.hpp"
#include "logbridge/init.hpp"
#include "logbridge/install.hpp"
#include "logbridge/slot.hpp"
#include "test_logbridge_support.hpp"

namespace {

using velquist::frame::HeldLockScope;
using velquist::frame::OwnedRef;
using namespace velquist::logbridge;

/// `spy(level)` makes `logging.getLogger` hand out unregistered loggers of
/// `level` that record their calls in `calls`; a non-None `answer` is what
/// their isEnabledFor returns. `unspy()` puts everything back.
constexpr const char* spy_code = R"(
import io, logging, sys
class SpyLogger(logging.Logger):
    def isEnabledFor(self, level):
        calls.append(("isEnabledFor", level))
        return super().isEnabledFor(level) if answer is None else answer
    def handle(self, record):
        calls.append(("handle", record.name, record.getMessage()))
def get_logger(name):
    calls.append(("getLogger", name))
    return SpyLogger(name, level)
def spy(new_level):
    global calls, answer, level, real
    calls, answer, level, real, logging.getLogger = [], None, new_level, logging.getLogger, get_logger
def unspy():
    logging.getLogger, sys.stderr = real, sys.__stderr__
)";

std::unique_ptr<Logger> make(CachePolicy policy, LevelLimit default_limit = LevelLimit::Debug, LimitTable table = {}) {
    std::unique_ptr<Logger> logger = Logger::create(policy, default_limit, std::move(table));
    if (!logger) PyErr_Print();
    CHECK(logger && RUN_PY(spy_code));
    return logger;
}

void log(const Logger& logger, LogLevel level, std::string_view target, std::string_view message = "m") {
    logger.log(LogEvent{level, target, message, std::nullopt, std::nullopt});
}

TEST_CASE(logbridge_limit_table_longest_prefix) {
    HeldLockScope lock;
    auto logger = make(CachePolicy::NoCache, LevelLimit::Info,
                       {{"a", LevelLimit::Error}, {"a::b", LevelLimit::Trace}, {"a::b::c", LevelLimit::Off}});
    std::string limits;  // per target, the ordinal of the most verbose level let through
    for (const char* target : {"a", "a::q", "a::bc", "a::b::d", "a::b::c::d", "ab", ""}) {
        int ordinal = 0;
        while (ordinal < 5 && logger->enabled(LogLevel(ordinal + 1), target)) ++ordinal;
        limits += std::to_string(ordinal);
    }
    CHECK_EQ(limits, std::string("1115033"));
    CHECK(logger->ceiling() == LevelLimit::Trace);
    CHECK(make(CachePolicy::NoCache, LevelLimit::Off, {{"q", LevelLimit::Warn}, {"r", LevelLimit::Error}})
              ->ceiling() == LevelLimit::Warn);
    CHECK(make(CachePolicy::NoCache, LevelLimit::Info, {{"q", LevelLimit::Error}})->ceiling() == LevelLimit::Info);
}

TEST_CASE(logbridge_cache_policies_on_native_threads) {
    HeldLockScope lock;
    for (CachePolicy policy : {CachePolicy::NoCache, CachePolicy::CacheLoggers}) {
        auto logger = make(policy);
        RUN_PY("spy(logging.WARNING)");
        // From a thread that holds no interpreter lock.
        Py_BEGIN_ALLOW_THREADS
        std::thread([&logger] {
            for (LogLevel level : {LogLevel::Info, LogLevel::Info, LogLevel::Warn, LogLevel::Trace}) {
                log(*logger, level, "p::t", level == LogLevel::Warn ? "w" : "m");
            }
        }).join();
        Py_END_ALLOW_THREADS
        NodeRef node = lookup(*logger->cache(), "p::t");
        if (policy == CachePolicy::NoCache) {
            CHECK(!node);
            CHECK_EQ(REPR_PY("calls"), std::string("[('getLogger', 'p.t'), ('isEnabledFor', 20), ('getLogger', 'p.t'), "
                                                   "('isEnabledFor', 20), ('getLogger', 'p.t'), ('isEnabledFor', 30), "
                                                   "('handle', 'p.t', 'w')]"));
        } else {  // cached with Trace, without probing: Python still decides
            CHECK(node && node->entry && node->entry->limit() == LevelLimit::Trace);
            CHECK_EQ(REPR_PY("calls"), std::string("[('getLogger', 'p.t'), ('isEnabledFor', 20), ('isEnabledFor', 20), "
                                                   "('isEnabledFor', 30), ('handle', 'p.t', 'w')]"));
        }
        RUN_PY("unspy()");
    }
}

int failing_truth_test(PyObject*) { return -1; }  // and no exception set

TEST_CASE(logbridge_failures_keep_pending_exception) {
    HeldLockScope lock;
    static PyNumberMethods number{};
    static PyTypeObject broken = [] {
        number.nb_bool = failing_truth_test;
        PyTypeObject type{};
        type.ob_base = PyVarObject{PyObject_HEAD_INIT(nullptr) 0};
        type.tp_name = "Broken";
        type.tp_basicsize = sizeof(PyObject);
        type.tp_as_number = &number;
        return type;
    }();
    auto logger = make(CachePolicy::CacheLoggersAndLimits);
    if (!logger || PyType_Ready(&broken) < 0 || !RUN_PY("spy(logging.DEBUG)\nsys.stderr = io.StringIO()")) return;
    OwnedRef pending(PyObject_CallFunction(PyExc_ValueError, "s", "the caller's own"));
    OwnedRef broken_answer(PyObject_New(PyObject, &broken));
    for (const char* target : {"ok", "broken"}) {
        if (*target == 'b') PyObject_SetAttrString(PyImport_AddModule("__main__"), "answer", broken_answer.get());
        PyErr_SetRaisedException(Py_NewRef(pending.get()));
        log(*logger, LogLevel::Info, target, "while pending");
        OwnedRef after(PyErr_GetRaisedException());
        CHECK_EQ(after.get(), pending.get());
    }
    CHECK_EQ(REPR_PY("(calls[2], calls[-2:], sys.stderr.getvalue())"),
             std::string("(('handle', 'ok', 'while pending'), [('getLogger', 'broken'), ('isEnabledFor', 20)], "
                         "'SystemError: attempted to fetch exception but none was set\\n')"));
    CHECK(!lookup(*logger->cache(), "broken"));  // the event is dropped and nothing cached
    RUN_PY("unspy()");
}

TEST_CASE(logbridge_cache_lost_update_released_without_lock) {
    HeldLockScope lock;
    CacheCell cell;
    OwnedRef p(PyList_New(0));
    const Py_ssize_t count = Py_REFCNT(p.get());
    const NodeRef loaded = cell.load();
    NodeRef lost = store_to_cache_recursive(*loaded, "p", CachedLogger(LevelLimit::Info, Py_NewRef(p.get())));
    CHECK(store(cell, "q::r", CachedLogger(LevelLimit::Warn, Py_NewRef(p.get()))));
    CHECK(!cell.compare_and_swap(loaded, lost));
    CHECK(!lookup(cell, "p") && !lookup(cell, "q")->entry && lookup(cell, "q::r")->entry->limit() == LevelLimit::Warn);
    // The last holder of the lost tree holds no lock: its release waits in the queue.
    Py_BEGIN_ALLOW_THREADS
    std::thread([&lost] { lost.reset(); }).join();
    Py_END_ALLOW_THREADS
    CHECK_EQ(Py_REFCNT(p.get()), count + 2);
    velquist::frame::apply_pending_releases();
    CHECK_EQ(Py_REFCNT(p.get()), count + 1);
}

TEST_CASE(logbridge_second_installation_fails) {
    HeldLockScope lock;
    OwnedRef module(PyImport_ImportModule("velquist"));
    OwnedRef logging(PyImport_ImportModule("logging"));
    const Log* first = &logger();
    const Py_ssize_t count = Py_REFCNT(logging.get());
    CHECK(module && installed_bridge() == first && max_level() == LevelLimit::Debug);
    // The losing logger is destroyed, giving back its reference to `logging`.
    CHECK(!install(make(CachePolicy::NoCache, LevelLimit::Trace)));
    CHECK_EQ(Py_REFCNT(logging.get()), count);
    velquist::logbridge::init();  // the module body run again keeps the bridge
    CHECK(&logger() == first && max_level() == LevelLimit::Debug && STATE.load() == 2);
}

}  // namespace
