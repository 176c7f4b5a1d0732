#include "frame/error.hpp"

#include <cstdio>

#include "frame/owned_ref.hpp"
#include "frame/panic.hpp"

namespace velquist::frame {

namespace {

std::string utf8_of(PyObject* text) {
    Py_ssize_t size = 0;
    const char* data = text ? PyUnicode_AsUTF8AndSize(text, &size) : nullptr;
    if (data == nullptr) {
        PyErr_Clear();
        return "<unprintable>";
    }
    return std::string(data, static_cast<std::size_t>(size));
}

std::string repr_text(PyObject* obj) {
    if (obj == nullptr) return "None";
    OwnedRef r(PyObject_Repr(obj));
    return utf8_of(r.get());
}

}  // namespace

void ensure_error_set() noexcept {
    if (!PyErr_Occurred()) {
        PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
    }
}

PyObject* fetch_error() {
    ensure_error_set();
    PyObject* exc = PyErr_GetRaisedException();
    PyObject* panic_type = panic_exception_type();
    if (panic_type == nullptr) PyErr_Clear();
    if (panic_type != nullptr && PyObject_TypeCheck(exc, reinterpret_cast<PyTypeObject*>(panic_type))) {
        OwnedRef held(exc);
        OwnedRef text(PyObject_Str(exc));
        std::string message = utf8_of(text.get());
        std::fputs(
            "--- A panic is being resumed after fetching a PanicException from Python. ---\n"
            "Python stack trace below:\n",
            stderr);
        PyErr_DisplayException(exc);
        resume_panic(std::move(message));
    }
    return exc;
}

std::string describe_error(PyObject* exc) noexcept {
    try {
        // Keep any error raised while describing from leaking out.
        PyObject* saved = PyErr_GetRaisedException();
        std::string type = repr_text(reinterpret_cast<PyObject*>(Py_TYPE(exc)));
        std::string value = repr_text(exc);
        OwnedRef tb(PyException_GetTraceback(exc));
        std::string traceback = tb ? repr_text(tb.get()) : "None";
        PyErr_Clear();
        PyErr_SetRaisedException(saved);
        return "PyErr { type: " + type + ", value: " + value + ", traceback: " + traceback + " }";
    } catch (...) {
        return "PyErr { <no memory to describe> }";
    }
}

void panic_unwrap_pending_error() {
    OwnedRef exc(fetch_error());
    panic("called `Result::unwrap()` on an `Err` value: " + describe_error(exc.get()));
}

void panic_api_call_failed() {
    ensure_error_set();
    PyErr_Print();
    panic("Python API call failed");
}

std::string qualified_type_name(PyTypeObject* type) noexcept {
    OwnedRef name(PyType_GetQualName(type));
    Py_ssize_t size = 0;
    const char* data = name ? PyUnicode_AsUTF8AndSize(name.get(), &size) : nullptr;
    if (data == nullptr) {
        PyErr_Clear();
        return "<failed to extract type name>";
    }
    try {
        return std::string(data, static_cast<std::size_t>(size));
    } catch (...) {
        return "<failed to extract type name>";
    }
}

void raise_cannot_convert(PyObject* obj, const char* target) noexcept {
    std::string name = qualified_type_name(Py_TYPE(obj));
    PyErr_Format(PyExc_TypeError, "'%s' object cannot be converted to '%s'", name.c_str(), target);
}

}  // namespace velquist::frame
