#include "frame/convert.hpp"

#include "frame/error.hpp"
#include "frame/owned_ref.hpp"

namespace velquist::frame {

namespace {

[[gnu::cold]] void raise_out_of_range() noexcept {
    PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
}

bool to_bounded_unsigned(PyObject* obj, long max, long& out) noexcept {
    const long value = PyLong_AsLong(obj);
    if (value == -1 && PyErr_Occurred()) return false;
    if (value < 0 || value > max) {
        raise_out_of_range();
        return false;
    }
    out = value;
    return true;
}

}  // namespace

bool to_u16(PyObject* obj, std::uint16_t& out) noexcept {
    long value = 0;
    if (!to_bounded_unsigned(obj, 0xFFFF, value)) return false;
    out = static_cast<std::uint16_t>(value);
    return true;
}

bool to_u8(PyObject* obj, std::uint8_t& out) noexcept {
    long value = 0;
    if (!to_bounded_unsigned(obj, 0xFF, value)) return false;
    out = static_cast<std::uint8_t>(value);
    return true;
}

bool to_u64(PyObject* obj, std::uint64_t& out) noexcept {
    unsigned long long value = 0;
    if (PyLong_Check(obj)) {
        value = PyLong_AsUnsignedLongLong(obj);
    } else {
        OwnedRef index(PyNumber_Index(obj));
        if (!index) return false;
        value = PyLong_AsUnsignedLongLong(index.get());
    }
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
    out = value;
    return true;
}

void wrap_argument_error(const char* name) {
    PyObject* caught = fetch_error();  // never NULL
    if (!Py_IS_TYPE(caught, reinterpret_cast<PyTypeObject*>(PyExc_TypeError))) {
        PyErr_SetRaisedException(caught);
        return;
    }
    OwnedRef original(caught);
    OwnedRef wrapped(
        PyObject_CallFunction(PyExc_TypeError, "N", PyUnicode_FromFormat("argument '%s': %S", name, caught)));
    if (!wrapped) return;  // the MemoryError of building it is the error now
    // The new exception takes over the original's cause, not the original.
    PyException_SetCause(wrapped.get(), PyException_GetCause(caught));
    PyErr_SetRaisedException(wrapped.release());
}

}  // namespace velquist::frame
