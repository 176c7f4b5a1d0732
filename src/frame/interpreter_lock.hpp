// The interpreter-lock guard, the per-thread lock nesting count and the
// deferred release of references dropped on threads without the lock.
#pragma once

#include "frame/python_api.hpp"

#include <atomic>

namespace velquist::frame {

/// How many frames or guards on this thread hold the interpreter lock.
/// Initial-exec TLS keeps the hot-path increment a single instruction.
extern constinit thread_local int lock_nesting [[gnu::tls_model("initial-exec")]];

namespace detail {
extern std::atomic<bool> release_queue_created;
void apply_pending_releases() noexcept;
}  // namespace detail

/// Carries out queued releases. Call only with the lock held. Until the
/// first deferred release this is one atomic load.
inline void apply_pending_releases() noexcept {
    if (detail::release_queue_created.load(std::memory_order_acquire)) detail::apply_pending_releases();
}

/// Releases `obj` now if this thread holds the lock (by the nesting count),
/// otherwise queues it for the next frame entry or guard on any thread.
void release_reference(PyObject* obj) noexcept;

/// Entry into a frame whose caller already holds the lock.
class HeldLockScope {
public:
    HeldLockScope() noexcept {
        ++lock_nesting;
        apply_pending_releases();
    }
    ~HeldLockScope() { --lock_nesting; }
    HeldLockScope(const HeldLockScope&) = delete;
    HeldLockScope& operator=(const HeldLockScope&) = delete;
};

/// Takes the interpreter lock from any thread. Nests when the thread already
/// holds it; otherwise checks once that the interpreter runs (a panic if not)
/// and calls `PyGILState_Ensure`.
class InterpreterLockGuard {
public:
    InterpreterLockGuard();
    ~InterpreterLockGuard();
    InterpreterLockGuard(const InterpreterLockGuard&) = delete;
    InterpreterLockGuard& operator=(const InterpreterLockGuard&) = delete;

private:
    bool ensured_ = false;
    PyGILState_STATE state_{};
};

}  // namespace velquist::frame
