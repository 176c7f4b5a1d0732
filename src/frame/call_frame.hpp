// The frame around every entry from Python: lock nesting count, queued
// releases, and containment of internal faults.
#pragma once

#include "frame/python_api.hpp"

#include <exception>
#include <new>
#include <source_location>

#include "frame/interpreter_lock.hpp"
#include "frame/panic.hpp"

namespace velquist::frame {

namespace detail {

/// Turns the fault being handled into a Python exception. Runs inside a
/// catch handler. A payload that is not text gets its report here, as it
/// was not thrown by `panic`.
[[gnu::cold]] inline void convert_current_fault() {
    try {
        throw;
    } catch (const Panic& p) {
        raise_panic_exception(p.message());
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (...) {
        report_panic(non_text_panic_message, std::source_location::current());
        raise_panic_exception(non_text_panic_message);
    }
}

}  // namespace detail

/// Runs `op` (returning a new reference, or NULL with an error set) in the
/// frame. Any fault becomes a Python exception; one that escapes the frame's
/// own steps (entering, converting, leaving) stops the process instead of
/// unwinding into the interpreter.
template <class Result, class Op>
[[gnu::always_inline]] inline Result run_in_frame(Op&& op, Result failure) noexcept {
    try {
        HeldLockScope scope;
        try {
            return op();
        } catch (...) {
            detail::convert_current_fault();
        }
        return failure;
    } catch (...) {
        abort_uncaught_panic();
    }
}

template <class Op>
[[gnu::always_inline]] inline PyObject* run_in_frame(Op&& op) noexcept {
    return run_in_frame<PyObject*>(static_cast<Op&&>(op), nullptr);
}

/// The frame variant for entries that cannot report an error (deallocation):
/// failures are written with `PyErr_WriteUnraisable` and the caller goes on.
template <class Op>
inline void run_in_frame_unraisable(Op&& op, PyObject* context) noexcept {
    try {
        HeldLockScope scope;
        try {
            op();
            return;
        } catch (...) {
            detail::convert_current_fault();
        }
        PyErr_WriteUnraisable(context);
    } catch (...) {
        abort_uncaught_panic();
    }
}

}  // namespace velquist::frame
