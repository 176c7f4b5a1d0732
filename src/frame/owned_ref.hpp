// RAII owner of one strong Python reference. Must be destroyed with the
// interpreter lock held; code that may run without it uses
// `release_reference` (interpreter_lock.hpp) instead.
#pragma once

#include "frame/python_api.hpp"

#include <utility>

namespace velquist::frame {

class OwnedRef {
public:
    OwnedRef() = default;
    /// Steals `obj` (which may be NULL).
    explicit OwnedRef(PyObject* obj) noexcept : obj_(obj) {}
    static OwnedRef borrowed(PyObject* obj) noexcept {
        Py_XINCREF(obj);
        return OwnedRef(obj);
    }
    OwnedRef(const OwnedRef&) = delete;
    OwnedRef& operator=(const OwnedRef&) = delete;
    OwnedRef(OwnedRef&& o) noexcept : obj_(std::exchange(o.obj_, nullptr)) {}
    OwnedRef& operator=(OwnedRef&& o) noexcept {
        if (this != &o) {
            Py_XDECREF(obj_);
            obj_ = std::exchange(o.obj_, nullptr);
        }
        return *this;
    }
    ~OwnedRef() { Py_XDECREF(obj_); }

    PyObject* get() const noexcept { return obj_; }
    explicit operator bool() const noexcept { return obj_ != nullptr; }
    /// Hands the reference to the caller.
    PyObject* release() noexcept { return std::exchange(obj_, nullptr); }

private:
    PyObject* obj_ = nullptr;
};

}  // namespace velquist::frame
