// Severity levels of log events, the limits that let them through, and the
// level numbers Python's `logging` knows them by.
#pragma once

#include <cstdint>
#include <optional>

namespace velquist::logbridge {

/// The severity of an event, most severe first. The ordinal is the value.
enum class LogLevel : std::uint8_t { Error = 1, Warn = 2, Info = 3, Debug = 4, Trace = 5 };

/// The most verbose level let through; `Off` lets nothing through.
enum class LevelLimit : std::uint8_t { Off = 0, Error = 1, Warn = 2, Info = 3, Debug = 4, Trace = 5 };

/// The five levels in order of verbosity, most verbose first (the probe order).
inline constexpr LogLevel levels_most_verbose_first[] = {LogLevel::Trace, LogLevel::Debug, LogLevel::Info,
                                                         LogLevel::Warn, LogLevel::Error};

constexpr bool passes(LogLevel level, LevelLimit limit) noexcept {
    return static_cast<std::uint8_t>(level) <= static_cast<std::uint8_t>(limit);
}

/// The limit that lets `level` and everything more severe through.
constexpr LevelLimit limit_of(LogLevel level) noexcept { return static_cast<LevelLimit>(level); }

constexpr LevelLimit more_verbose(LevelLimit a, LevelLimit b) noexcept {
    return static_cast<std::uint8_t>(a) >= static_cast<std::uint8_t>(b) ? a : b;
}

/// Python's number for the level. Trace is 5, below DEBUG, not NOTSET.
constexpr int python_level_number(LogLevel level) noexcept {
    switch (level) {
        case LogLevel::Error: return 40;
        case LogLevel::Warn: return 30;
        case LogLevel::Info: return 20;
        case LogLevel::Debug: return 10;
        case LogLevel::Trace: return 5;
    }
    return 0;
}

/// The level Python knows by `number`; none for any number but the five.
constexpr std::optional<LogLevel> level_from_python_number(long number) noexcept {
    for (LogLevel level : levels_most_verbose_first) {
        if (python_level_number(level) == number) return level;
    }
    return std::nullopt;
}

constexpr const char* limit_name(LevelLimit limit) noexcept {
    switch (limit) {
        case LevelLimit::Off: return "Off";
        case LevelLimit::Error: return "Error";
        case LevelLimit::Warn: return "Warn";
        case LevelLimit::Info: return "Info";
        case LevelLimit::Debug: return "Debug";
        case LevelLimit::Trace: return "Trace";
    }
    return "Off";
}

}  // namespace velquist::logbridge
