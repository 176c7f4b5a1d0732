// The bridge `Logger` natively: per-target limits, the cache policies,
// the caller's pending exception, and the once-only logger slot.
#include <Python.h>

#include <memory>
#include <string>

#include "frame/interpreter_lock.hpp"
#include "frame/panic.hpp"
#include "frame/owned_ref.hpp"
#include "harness.hpp"
#include "logbridge/init.hpp"
#include "logbridge/install.hpp"
#include "logbridge/slot.hpp"
#include "test_logbridge_support.hpp"

namespace {

using velquist::frame::HeldLockScope;
using velquist::frame::OwnedRef;
using namespace velquist::logbridge;

LogEvent event(LogLevel level, std::string_view target, std::string_view message = "m") {
    return LogEvent{level, target, message, std::nullopt, std::nullopt};
}

TEST_CASE(logbridge_limit_table_longest_prefix) {
    HeldLockScope lock;
    std::unique_ptr<Logger> logger = Logger::create(CachePolicy::NoCache, LevelLimit::Info,
                                                    LimitTable{{"a", LevelLimit::Error},
                                                               {"a::b", LevelLimit::Trace},
                                                               {"a::b::c", LevelLimit::Off},
                                                               {"x::y", LevelLimit::Debug}});
    if (!logger) {
        PyErr_Print();
        CHECK(false);
        return;
    }
    struct Case {
        const char* target;
        LogLevel level;
        bool expected;
    };
    const Case cases[] = {
        {"a", LogLevel::Error, true},        {"a", LogLevel::Warn, false},
        {"a::q", LogLevel::Warn, false},     {"a::b", LogLevel::Trace, true},
        {"a::bc", LogLevel::Trace, false},   {"a::b::d", LogLevel::Trace, true},
        {"a::b::c", LogLevel::Error, false}, {"a::b::c::d", LogLevel::Error, false},
        {"ab", LogLevel::Info, true},        {"ab", LogLevel::Debug, false},
        {"x", LogLevel::Debug, false},       {"x::y::z", LogLevel::Debug, true},
        {"", LogLevel::Info, true},          {"", LogLevel::Debug, false},
    };
    for (const Case& c : cases) {
        if (logger->enabled(c.level, c.target) != c.expected) {
            velquist::testing::record_failure(__FILE__, __LINE__,
                                              std::string("enabled(") + std::to_string(int(c.level)) + ", \"" +
                                                  c.target + "\") != " + (c.expected ? "true" : "false"));
        }
    }
    CHECK(logger->ceiling() == LevelLimit::Trace);

    struct CeilingCase {
        LevelLimit default_limit;
        LimitTable table;
        LevelLimit expected;
    };
    CeilingCase ceilings[] = {
        {LevelLimit::Debug, {}, LevelLimit::Debug},
        {LevelLimit::Off, {}, LevelLimit::Off},
        {LevelLimit::Off, {{"q", LevelLimit::Warn}, {"r", LevelLimit::Error}}, LevelLimit::Warn},
        {LevelLimit::Info, {{"q", LevelLimit::Error}}, LevelLimit::Info},
    };
    for (CeilingCase& c : ceilings) {
        std::unique_ptr<Logger> l = Logger::create(CachePolicy::NoCache, c.default_limit, std::move(c.table));
        CHECK(l && l->ceiling() == c.expected);
    }
    CHECK(!NopLogger().enabled(LogLevel::Error, ""));
}

/// Runs two Info events and a Debug event of one target through a logger of
/// `policy` whose Python loggers have the level WARNING; returns the calls.
std::string calls_under(CachePolicy policy, const char* target, std::shared_ptr<CacheCell>& cache) {
    std::unique_ptr<Logger> logger = Logger::create(policy);
    if (!logger) return "<no logger>";
    cache = logger->cache();
    RUN_PY("install_spy(logging.WARNING)");
    logger->log(event(LogLevel::Info, target));
    logger->log(event(LogLevel::Info, target));
    logger->log(event(LogLevel::Warn, target, "w"));
    logger->log(event(LogLevel::Trace, target));
    RUN_PY("remove_spy()");
    return REPR_PY("spy_calls");
}

TEST_CASE(logbridge_cache_policies) {
    HeldLockScope lock;
    if (!RUN_PY(velquist::testing::spy_code)) return;
    std::shared_ptr<CacheCell> cache;

    // Nothing cached: every event fetches its logger.
    CHECK_EQ(calls_under(CachePolicy::NoCache, "nc::t", cache),
             std::string("[('getLogger', 'nc.t'), ('isEnabledFor', 20), ('getLogger', 'nc.t'), ('isEnabledFor', "
                         "20), ('getLogger', 'nc.t'), ('isEnabledFor', 30), ('handle', 'nc.t', 'w')]"));
    CHECK(cache->load()->children.empty());

    // Loggers cached with Trace, without probing: Python still decides.
    CHECK_EQ(calls_under(CachePolicy::CacheLoggers, "cl::t", cache),
             std::string("[('getLogger', 'cl.t'), ('isEnabledFor', 20), ('isEnabledFor', 20), "
                         "('isEnabledFor', 30), ('handle', 'cl.t', 'w')]"));
    NodeRef node = lookup(*cache, "cl::t");
    CHECK(node && node->entry && node->entry->limit() == LevelLimit::Trace);

    // Probed once; the second Info event is dropped natively.
    CHECK_EQ(calls_under(CachePolicy::CacheLoggersAndLimits, "cll::t", cache),
             std::string("[('getLogger', 'cll.t'), ('isEnabledFor', 20), ('isEnabledFor', 5), ('isEnabledFor', "
                         "10), ('isEnabledFor', 20), ('isEnabledFor', 30), ('isEnabledFor', 30), "
                         "('handle', 'cll.t', 'w')]"));
    node = lookup(*cache, "cll::t");
    CHECK(node && node->entry && node->entry->limit() == LevelLimit::Warn);
}

TEST_CASE(logbridge_pending_exception_is_kept) {
    HeldLockScope lock;
    if (!RUN_PY(velquist::testing::spy_code)) return;
    std::unique_ptr<Logger> logger = Logger::create(CachePolicy::CacheLoggersAndLimits);
    if (!logger) return;
    RUN_PY("install_spy(logging.DEBUG)");
    OwnedRef pending(PyObject_CallFunction(PyExc_ValueError, "s", "the caller's own"));
    // A forwarded event, then one whose Python call fails (and is printed).
    for (const char* target : {"pending::ok", "pending::fails"}) {
        if (std::string_view(target) == "pending::fails") {
            RUN_PY("def _boom(name=None):\n    raise RuntimeError('getLogger fails')\nlogging.getLogger = _boom");
        }
        PyErr_SetRaisedException(Py_NewRef(pending.get()));
        logger->log(event(LogLevel::Info, target, "while pending"));
        OwnedRef after(PyErr_GetRaisedException());
        CHECK_EQ(after.get(), pending.get());
    }
    RUN_PY("remove_spy()");
    CHECK_EQ(REPR_PY("('handle', 'pending.ok', 'while pending') in spy_calls"), std::string("True"));
    CHECK(!lookup(*logger->cache(), "pending::fails"));
}

/// A `Log` that counts its own destruction.
class CountingLog final : public Log {
public:
    explicit CountingLog(int& destroyed) : destroyed_(destroyed) {}
    ~CountingLog() override { ++destroyed_; }
    bool enabled(LogLevel, std::string_view) const noexcept override { return true; }
    void log(const LogEvent&) const noexcept override {}
    void flush() const noexcept override {}

private:
    int& destroyed_;
};

TEST_CASE(logbridge_second_installation_fails) {
    HeldLockScope lock;
    OwnedRef module(PyImport_ImportModule("velquist"));
    CHECK(module);
    const Log* first = &logger();
    CHECK(installed_bridge() == first);
    CHECK(max_level() == LevelLimit::Debug);

    std::unique_ptr<Logger> second = Logger::create(CachePolicy::NoCache, LevelLimit::Trace, {});
    CHECK(second);
    if (second) CHECK(!install(std::move(second)));
    int destroyed = 0;
    CHECK(!set_boxed_logger(std::make_unique<CountingLog>(destroyed)));
    CHECK_EQ(destroyed, 1);

    // The module body run again keeps the installed bridge.
    try {
        velquist::logbridge::init();
    } catch (const velquist::frame::Panic&) {
        CHECK(false);
    }
    CHECK(&logger() == first);
    CHECK(max_level() == LevelLimit::Debug);
    CHECK_EQ(STATE.load(), std::size_t{2});
}

}  // namespace
