// The frame around every entry from Python: lock nesting count, queued
// releases, and containment of internal faults.
#pragma once

#include "frame/python_api.hpp"

#include <exception>
#include <new>

#include "frame/interpreter_lock.hpp"
#include "frame/panic.hpp"

namespace velquist::frame {

namespace detail {

/// Turns the fault being handled into a Python exception. Runs inside a
/// catch handler; throws nothing.
[[gnu::cold]] inline void convert_current_fault() noexcept {
    try {
        throw;
    } catch (const Panic& p) {
        raise_panic_exception(p.message());
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (...) {
        raise_panic_exception(non_text_panic_message);
    }
}

}  // namespace detail

/// Runs `op` (returning a new reference, or NULL with an error set) in the
/// frame. Any fault becomes a Python exception; nothing unwinds further.
template <class Result, class Op>
[[gnu::always_inline]] inline Result run_in_frame(Op&& op, Result failure) noexcept {
    HeldLockScope scope;
    try {
        return op();
    } catch (...) {
        try {
            detail::convert_current_fault();
        } catch (...) {
            abort_uncaught_panic();
        }
        return failure;
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
    HeldLockScope scope;
    try {
        op();
    } catch (...) {
        try {
            detail::convert_current_fault();
        } catch (...) {
            abort_uncaught_panic();
        }
        PyErr_WriteUnraisable(context);
    }
}

}  // namespace velquist::frame
