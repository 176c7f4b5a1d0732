// What native code hands to the logger slot: events, and the interface of
// whatever sits in the slot.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "logbridge/level.hpp"

namespace velquist::logbridge {

/// An event's message: fixed text, or a formatter run only once the event
/// has passed the limit test, so rejected events cost no formatting.
class Message {
public:
    using Render = void (*)(const void* context, std::string& out);

    constexpr Message(std::string_view text) noexcept : text_(text) {}
    constexpr Message(const char* text) noexcept : text_(text) {}
    /// Views `text`, which must outlive the event.
    Message(const std::string& text) noexcept : text_(text) {}
    /// `render(context, out)` appends the text; `context` must outlive the event.
    constexpr Message(Render render, const void* context) noexcept : render_(render), context_(context) {}

    /// Appends the rendered text to `out`. May throw `std::bad_alloc`.
    void render_to(std::string& out) const {
        if (render_ != nullptr) {
            render_(context_, out);
        } else {
            out.append(text_);
        }
    }

private:
    std::string_view text_;
    Render render_ = nullptr;
    const void* context_ = nullptr;
};

/// One log event. Views only: everything it points to belongs to the caller
/// for the duration of the `log` call.
struct LogEvent {
    LogLevel level;
    /// UTF-8 path, segments separated by "::".
    std::string_view target;
    Message message;
    /// UTF-8 path of the emitting source file, if known.
    std::optional<std::string_view> file;
    std::optional<std::uint32_t> line;
};

/// The interface of the logger slot. Callable from any thread, with or
/// without the interpreter lock; never reports an error to the caller.
class Log {
public:
    constexpr Log() noexcept = default;
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;
    virtual ~Log() = default;

    virtual bool enabled(LogLevel level, std::string_view target) const noexcept = 0;
    virtual void log(const LogEvent& event) const noexcept = 0;
    virtual void flush() const noexcept = 0;
};

/// What the slot holds until a logger is installed.
class NopLogger final : public Log {
public:
    constexpr NopLogger() noexcept = default;
    bool enabled(LogLevel, std::string_view) const noexcept override { return false; }
    void log(const LogEvent&) const noexcept override {}
    void flush() const noexcept override {}
};

}  // namespace velquist::logbridge
