// The process-wide logger slot: filled at most once, never emptied. This is
// how native code of the library reaches the installed logger.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <source_location>
#include <string_view>

#include "logbridge/log.hpp"

namespace velquist::logbridge {

/// 0 empty, 1 being filled, 2 filled (final).
extern std::atomic<std::size_t> STATE;
/// The installed logger, owned by the slot and never destroyed. Read only
/// after seeing `STATE` == 2 with acquire ordering.
extern const Log* LOGGER;
/// The level ceiling for native log statements; `Off` until installation.
extern std::atomic<LevelLimit> MAX_LOG_LEVEL_FILTER;

/// Claims the slot and moves `logger` into it. Returns false
/// (`SetLoggerError`) if the slot was claimed before; `logger` is then
/// destroyed.
[[nodiscard]] bool set_boxed_logger(std::unique_ptr<Log> logger) noexcept;

/// The slot's logger: the installed one, or a `NopLogger` before that.
const Log& logger() noexcept;

/// The published level ceiling; statements more verbose can skip building
/// their event.
inline LevelLimit max_level() noexcept { return MAX_LOG_LEVEL_FILTER.load(std::memory_order_relaxed); }

/// Emits an event with the caller's source location, after the ceiling test.
inline void emit(LogLevel level, std::string_view target, Message message,
                 std::source_location where = std::source_location::current()) noexcept {
    if (!passes(level, max_level())) return;
    logger().log(LogEvent{level, target, message, std::string_view(where.file_name()), where.line()});
}

}  // namespace velquist::logbridge
