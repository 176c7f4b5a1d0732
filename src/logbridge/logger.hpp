// The bridge: a `Log` that forwards events to Python's `logging`, with a
// lock-free cache of Python logger objects and their accepted levels.
#pragma once

#include "frame/python_api.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "logbridge/cache.hpp"
#include "logbridge/log.hpp"

namespace velquist::logbridge {

enum class CachePolicy : std::uint8_t {
    /// Every event asks `getLogger` afresh.
    NoCache = 0,
    /// Logger objects are cached with the limit `Trace`.
    CacheLoggers = 1,
    /// Logger objects are cached with the limit probed from Python once.
    CacheLoggersAndLimits = 2,
};

/// Target prefix to the limit configured for it.
using LimitTable = TextMap<LevelLimit>;

/// "a::b::c" becomes "a.b.c"; matches are taken left to right without overlap.
std::string python_logger_name(std::string_view target);

class Logger final : public Log {
public:
    /// Imports `logging`; limit `Debug` for every target. Lock held. Returns
    /// null with the Python error set on failure.
    static std::unique_ptr<Logger> create(CachePolicy policy);
    /// As above with a chosen default limit and per-target limits.
    static std::unique_ptr<Logger> create(CachePolicy policy, LevelLimit default_limit, LimitTable target_limits);
    /// The logger the module installs (`CacheLoggersAndLimits`). Takes the
    /// lock itself; panics "Failed to initialize python logging: ..." on failure.
    static std::unique_ptr<Logger> create_default();

    ~Logger() override;

    bool enabled(LogLevel level, std::string_view target) const noexcept override;
    void log(const LogEvent& event) const noexcept override;
    void flush() const noexcept override {}

    /// The most verbose limit of the default and the per-target table.
    LevelLimit ceiling() const noexcept;
    /// A second reference to the cache (shared with whoever installs this).
    const std::shared_ptr<CacheCell>& cache() const noexcept { return cache_; }
    CachePolicy policy() const noexcept { return policy_; }

private:
    /// Interned attribute names (strong references), so each call skips
    /// building its name.
    struct Names {
        PyObject* get_logger = nullptr;
        PyObject* is_enabled_for = nullptr;
        PyObject* make_record = nullptr;
        PyObject* handle = nullptr;
    };

    Logger(CachePolicy policy, LevelLimit default_limit, LimitTable target_limits, PyObject* logging, Names names,
           std::shared_ptr<CacheCell> cache) noexcept;

    /// The cache's root, pinned for this thread until its next read; null
    /// under `NoCache`.
    const CacheNode* pinned_root() const noexcept {
        return policy_ == CachePolicy::NoCache ? nullptr : cache_->pin();
    }
    /// The limit test: the cached limit first, then the configured one.
    bool enabled_inner(const CacheNode* node, LogLevel level, std::string_view target) const noexcept;
    /// The limit of the longest configured prefix of `target`, or the default.
    LevelLimit configured_limit(std::string_view target) const noexcept;
    /// Everything after the limit test. Lock held; throws only `std::bad_alloc`.
    void forward(const LogEvent& event, const CacheNode* node) const;
    /// 1 true, 0 false, -1 Python error set.
    int is_enabled_for(PyObject* py_logger, LogLevel level) const noexcept;
    /// The most verbose level `py_logger` accepts; `Trace` if asking fails.
    LevelLimit probe(PyObject* py_logger) const noexcept;

    // Nothing changes after construction: the fields are read from any
    // thread without a lock. Only the tree behind `cache_` is replaced.

    /// The limit of targets without a configured prefix.
    const LevelLimit default_limit_;
    /// Target prefixes ending at a "::" (or whole targets) to their limits.
    const LimitTable target_limits_;
    /// Strong reference to the `logging` module.
    PyObject* const logging_;
    const Names names_;
    /// Shared with whoever keeps the reference `install` hands back.
    const std::shared_ptr<CacheCell> cache_;
    const CachePolicy policy_;
};

}  // namespace velquist::logbridge
