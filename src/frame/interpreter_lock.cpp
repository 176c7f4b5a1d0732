#include "frame/interpreter_lock.hpp"

#include <mutex>
#include <vector>

#include "frame/panic.hpp"

namespace velquist::frame {

constinit thread_local int lock_nesting [[gnu::tls_model("initial-exec")]] = 0;

namespace detail {

std::atomic<bool> release_queue_created{false};

namespace {

struct ReleaseQueue {
    std::mutex mutex;
    std::vector<PyObject*> pending;
};

ReleaseQueue& release_queue() {
    // Built on the first deferred release; never destroyed, so threads still
    // running at exit cannot touch a dead mutex.
    static ReleaseQueue* queue = [] {
        auto* q = new ReleaseQueue;
        release_queue_created.store(true, std::memory_order_release);
        return q;
    }();
    return *queue;
}

std::atomic<bool> interpreter_checked{false};

}  // namespace

void apply_pending_releases() noexcept {
    std::vector<PyObject*> taken;
    {
        ReleaseQueue& queue = release_queue();
        std::lock_guard lock(queue.mutex);
        if (queue.pending.empty()) return;
        taken.swap(queue.pending);
    }
    for (PyObject* obj : taken) Py_DECREF(obj);
}

}  // namespace detail

void release_reference(PyObject* obj) noexcept {
    if (obj == nullptr) return;
    if (lock_nesting > 0) {
        Py_DECREF(obj);
        return;
    }
    auto& queue = detail::release_queue();
    std::lock_guard lock(queue.mutex);
    try {
        queue.pending.push_back(obj);
    } catch (...) {
        // Out of memory: leaking one reference beats dropping it without the lock.
    }
}

InterpreterLockGuard::InterpreterLockGuard() {
    if (lock_nesting == 0) {
        if (!detail::interpreter_checked.load(std::memory_order_acquire)) {
            if (!Py_IsInitialized()) {
                panic("The Python interpreter is not initialized.");
            }
            detail::interpreter_checked.store(true, std::memory_order_release);
        }
        state_ = PyGILState_Ensure();
        ensured_ = true;
    }
    ++lock_nesting;
    apply_pending_releases();
}

InterpreterLockGuard::~InterpreterLockGuard() {
    if (ensured_) PyGILState_Release(state_);
    --lock_nesting;
}

}  // namespace velquist::frame
