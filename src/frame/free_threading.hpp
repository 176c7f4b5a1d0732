// What the module shares between threads beyond the interpreter's own
// objects. With the GIL, every entry runs with the lock held, which orders
// all of it, and these are plain fields. Without the GIL (a free-threaded
// interpreter, a separate build and ABI) the same fields become atomics and
// the rare store paths take a mutex; readers stay lock-free on both builds.
#pragma once

#include "frame/python_api.hpp"

#include <atomic>
#include <cstdint>

namespace velquist::frame {

#ifdef Py_GIL_DISABLED
inline constexpr bool free_threaded = true;
#else
inline constexpr bool free_threaded = false;
#endif

/// Tells a free-threaded interpreter that `module` (single-phase) needs no
/// GIL, so that importing it leaves the GIL off. False with an error set.
inline bool declare_gil_unused(PyObject* module) noexcept {
#ifdef Py_GIL_DISABLED
    return PyUnstable_Module_SetGIL(module, Py_MOD_GIL_NOT_USED) == 0;
#else
    (void)module;
    return true;
#endif
}

/// Reads a pointer cell that another thread may fill (`publish_once`).
template <class T>
[[gnu::always_inline]] inline T* load_published(T* const& cell) noexcept {
    if constexpr (free_threaded) {
        return std::atomic_ref<T*>(const_cast<T*&>(cell)).load(std::memory_order_acquire);
    } else {
        return cell;
    }
}

/// Fills an empty pointer cell with `value` unless another thread filled it
/// first. Returns what the cell holds afterwards: `value`, or the earlier
/// one, in which case the caller still owns `value`.
template <class T>
inline T* publish_once(T*& cell, T* value) noexcept {
    if constexpr (free_threaded) {
        T* expected = nullptr;
        std::atomic_ref<T*>(cell).compare_exchange_strong(expected, value, std::memory_order_acq_rel,
                                                          std::memory_order_acquire);
        return expected == nullptr ? value : expected;
    } else {
        if (cell == nullptr) cell = value;
        return cell;
    }
}

/// The borrow counter of an instance: 0 free, n shared borrows, all bits
/// set exclusively borrowed.
inline constexpr std::uintptr_t exclusive_borrow = ~std::uintptr_t{0};

/// True when an exclusive borrow is held.
[[gnu::always_inline]] inline bool exclusively_borrowed(const std::uintptr_t& counter) noexcept {
    if constexpr (free_threaded) {
        return std::atomic_ref<std::uintptr_t>(const_cast<std::uintptr_t&>(counter))
                   .load(std::memory_order_relaxed) == exclusive_borrow;
    } else {
        return counter == exclusive_borrow;
    }
}

/// Adds a shared borrow; false when an exclusive one is held.
[[gnu::always_inline]] inline bool try_borrow_shared(std::uintptr_t& counter) noexcept {
    if constexpr (free_threaded) {
        std::atomic_ref<std::uintptr_t> shared(counter);
        std::uintptr_t seen = shared.load(std::memory_order_relaxed);
        do {
            if (seen == exclusive_borrow) return false;
        } while (
            !shared.compare_exchange_weak(seen, seen + 1, std::memory_order_acquire, std::memory_order_relaxed));
        return true;
    } else {
        if (counter == exclusive_borrow) return false;
        ++counter;
        return true;
    }
}

/// Gives back one shared borrow.
[[gnu::always_inline]] inline void release_borrow_shared(std::uintptr_t& counter) noexcept {
    if constexpr (free_threaded) {
        std::atomic_ref<std::uintptr_t>(counter).fetch_sub(1, std::memory_order_release);
    } else {
        --counter;
    }
}

/// A mutex for a rare store path that the GIL already serialises: nothing
/// at all on the GIL build. Waiting detaches the thread from the
/// interpreter, so a waiter never holds up a stop-the-world pause.
class StoreMutex {
public:
    void lock() noexcept {
#ifdef Py_GIL_DISABLED
        PyMutex_Lock(&mutex_);
#endif
    }
    void unlock() noexcept {
#ifdef Py_GIL_DISABLED
        PyMutex_Unlock(&mutex_);
#endif
    }

private:
#ifdef Py_GIL_DISABLED
    PyMutex mutex_{};
#endif
};

}  // namespace velquist::frame
