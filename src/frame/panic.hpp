// Internal faults. A panic is a C++ exception of its own type; the call
// frame catches it and raises `PanicException` in Python. Nothing unwinds
// into the interpreter.
#pragma once

#include "frame/python_api.hpp"

#include <source_location>
#include <string>
#include <string_view>

namespace velquist::frame {

/// The payload of a panic: its message text.
class Panic {
public:
    explicit Panic(std::string message) : message_(std::move(message)) {}
    const std::string& message() const noexcept { return message_; }

private:
    std::string message_;
};

/// Writes the default panic report to stderr (thread name, source location,
/// message), then throws `Panic`.
[[noreturn, gnu::cold]] void panic(std::string message,
                                   std::source_location where = std::source_location::current());

/// Writes the default panic report without throwing (used where unwinding is
/// impossible, and by `panic` itself).
[[gnu::cold]] void report_panic(std::string_view message, const std::source_location& where) noexcept;

/// Continues a panic that was reported when it started (one that came back
/// from Python as `PanicException`): throws `Panic` without a second report.
[[noreturn, gnu::cold]] void resume_panic(std::string message);

/// The cached `PanicException` type (borrowed), created on first use.
/// Returns NULL with a Python error set if it cannot be created.
PyObject* panic_exception_type() noexcept;

/// Makes a `PanicException` carrying `message` the current exception. If the
/// type cannot be created (out of memory) the report is printed and the
/// pending `MemoryError` stays current, so the caller still sees an error.
[[gnu::cold]] void raise_panic_exception(const std::string& message) noexcept;

/// The argument given to `PanicException` for a payload that is not text.
inline constexpr const char* non_text_panic_message = "panic from native code with a non-text payload";

/// Stops the process: a fault escaped the frame's own steps.
[[noreturn, gnu::cold]] void abort_uncaught_panic() noexcept;

}  // namespace velquist::frame
