// The bridge where Python cannot reach it: per-target limits, cache policies,
// threads without the lock, a caller's pending exception, a call failing
// without an exception, a lost compare-and-swap, the once-only slot.
#include "frame/python_api.hpp"

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

std::unique_ptr<Logger> make(CachePolicy policy, LevelLimit default_limit = LevelLimit::Debug,
                             LimitTable table = {}) {
    std::unique_ptr<Logger> logger = Logger::create(policy, default_limit, std::move(table));
    CHECK(logger);  // the harness shows the Python error left pending
    return logger;
}

void log(const Logger& logger, std::string_view target) {
    logger.log(LogEvent{LogLevel::Info, target, "m", std::nullopt, std::nullopt});
}

TEST_CASE(logbridge_limit_table_longest_prefix) {
    HeldLockScope lock;
    using enum LevelLimit;
    auto logger =
        make(CachePolicy::NoCache, Info, {{"a", Error}, {"a::", Warn}, {"a::b", Trace}, {"a::b::c", Off}});
    std::string limits;  // per target, the ordinal of the most verbose level let through
    for (const char* target : {"a", "a::q", "a::::q", "a::b::d", "a::b::c::d", "ab", ""}) {
        int ordinal = 0;
        while (ordinal < 5 && logger->enabled(LogLevel(ordinal + 1), target)) ++ordinal;
        limits += std::to_string(ordinal);
    }
    CHECK_EQ(limits, std::string("1125033"));
    CHECK(logger->ceiling() == LevelLimit::Trace);
}

TEST_CASE(logbridge_cache_policies_on_native_threads) {
    HeldLockScope lock;
    RUN_PY("import logging\nlogging.getLogger().setLevel(logging.WARNING)");  // the target "" is the root logger
    // Not cached (Off); cached at one empty segment with Trace, unprobed, or with the level probed.
    const std::pair<CachePolicy, LevelLimit> cases[] = {{CachePolicy::NoCache, LevelLimit::Off},
                                                        {CachePolicy::CacheLoggers, LevelLimit::Trace},
                                                        {CachePolicy::CacheLoggersAndLimits, LevelLimit::Warn}};
    for (const auto& [policy, cached] : cases) {
        auto logger = make(policy);
        Py_BEGIN_ALLOW_THREADS  // from a thread that holds no interpreter lock
        std::thread([&logger] { log(*logger, ""); }).join();
        Py_END_ALLOW_THREADS
        NodeRef node = lookup(*logger->cache(), "");
        CHECK(cached == LevelLimit::Off ? !node : node && node->entry->limit() == cached);
    }
}

TEST_CASE(logbridge_failures_keep_pending_exception) {
    HeldLockScope lock;
    auto logger = make(CachePolicy::CacheLoggersAndLimits);
    if (!logger ||
        !RUN_PY("import io, logging, sys\nanswer = type('Broken', (), {'__bool__': lambda self: True})()\n"
                "logging.getLogger('broken').isEnabledFor = lambda level: answer\nsys.stderr = io.StringIO()"))
        return;
    // The answer's truth test now fails without setting an exception.
    Py_TYPE(EVAL_PY("answer").get())->tp_as_number->nb_bool = [](PyObject*) { return -1; };
    OwnedRef pending(PyObject_CallFunction(PyExc_ValueError, "s", "the caller's own"));
    for (const char* target : {"ok", "broken"}) {
        PyErr_SetRaisedException(Py_NewRef(pending.get()));
        log(*logger, target);
        CHECK_EQ(OwnedRef(PyErr_GetRaisedException()).get(), pending.get());
    }
    CHECK_EQ(REPR_PY("sys.stderr.getvalue()"),
             std::string("'SystemError: attempted to fetch exception but none was set\\n'"));
    RUN_PY("sys.stderr = sys.__stderr__");
    // The failed event is dropped and nothing cached.
    CHECK(lookup(*logger->cache(), "ok") && !lookup(*logger->cache(), "broken"));
}

int renders = 0;

TEST_CASE(logbridge_message_rendered_only_when_forwarded) {
    HeldLockScope lock;
    auto logger = make(CachePolicy::NoCache);
    if (!logger || !RUN_PY("import logging\nseen = []\nhandler = logging.Handler()\n"
                           "handler.emit = lambda record: seen.append(record.getMessage())\n"
                           "logging.getLogger('deferred').addHandler(handler)"))
        return;
    const Message message([](const void*, std::string& out) { ++renders, out += "rendered %s"; }, nullptr);
    for (LogLevel level : {LogLevel::Trace, LogLevel::Warn}) {  // Trace is past the default limit
        logger->log(LogEvent{level, "deferred", message, std::nullopt, std::nullopt});
    }
    CHECK_EQ(renders, 1);
    CHECK_EQ(REPR_PY("seen"), std::string("['rendered %s']"));
}

TEST_CASE(logbridge_cache_lost_update_released_without_lock) {
    HeldLockScope lock;
    CacheCell cell;
    OwnedRef p(PyList_New(0));
    const Py_ssize_t count = Py_REFCNT(p.get());
    const NodeRef loaded = cell.load();  // the lost update is built on it
    NodeRef lost = store_to_cache_recursive(*loaded, "p", CachedLogger(LevelLimit::Info, Py_NewRef(p.get())));
    CHECK(store(cell, "q::r", CachedLogger(LevelLimit::Warn, Py_NewRef(p.get()))));
    CHECK(!cell.compare_and_swap(loaded, lost));
    CHECK(!lookup(cell, "p") && !lookup(cell, "q")->entry &&
          lookup(cell, "q::r")->entry->limit() == LevelLimit::Warn);
    // The last holder of the lost tree holds no lock: its release waits in the queue.
    Py_BEGIN_ALLOW_THREADS
    std::thread([&lost] { lost.reset(); }).join();
    Py_END_ALLOW_THREADS
    CHECK_EQ(Py_REFCNT(p.get()), count + 2);
    velquist::frame::InterpreterLockGuard again;  // taking the lock carries out the queued releases
    CHECK_EQ(Py_REFCNT(p.get()), count + 1);
}

TEST_CASE(logbridge_second_installation_fails) {
    HeldLockScope lock;
    CHECK(OwnedRef(PyImport_ImportModule("velquist")));
    const Log* first = &logger();
    CHECK(installed_bridge() == first && max_level() == LevelLimit::Debug);
    OwnedRef logging(PyImport_ImportModule("logging"));
    const Py_ssize_t count = Py_REFCNT(logging.get());
    // The losing logger is destroyed, giving back its reference to `logging`.
    CHECK(!install(make(CachePolicy::NoCache, LevelLimit::Trace)));
    CHECK_EQ(Py_REFCNT(logging.get()), count);
    velquist::logbridge::init();  // the module body run again keeps the bridge
    CHECK(&logger() == first && max_level() == LevelLimit::Debug && STATE.load() == 2);
}

}  // namespace
