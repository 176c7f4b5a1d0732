#include "frame/panic.hpp"

#include <pthread.h>

#include <cstdio>
#include <cstdlib>

#include "frame/free_threading.hpp"

namespace velquist::frame {

namespace {

constexpr const char* panic_exception_doc =
    "\nThe exception raised when native code called from Python panics.\n"
    "\n"
    "Like SystemExit, this exception is derived from BaseException so that\n"
    "it will typically propagate all the way through the stack and cause the\n"
    "Python interpreter to exit.\n";

PyObject* cached_panic_type = nullptr;

}  // namespace

void report_panic(std::string_view message, const std::source_location& where) noexcept {
    char name[64] = {};
    if (pthread_getname_np(pthread_self(), name, sizeof name) != 0 || name[0] == '\0') {
        std::snprintf(name, sizeof name, "<unnamed>");
    }
    std::fprintf(stderr, "\nthread '%s' panicked at %s:%u:%u:\n%.*s\n", name, where.file_name(),
                 static_cast<unsigned>(where.line()), static_cast<unsigned>(where.column()),
                 static_cast<int>(message.size()), message.data());
    std::fflush(stderr);
}

void panic(std::string message, std::source_location where) {
    report_panic(message, where);
    throw Panic(std::move(message));
}

void resume_panic(std::string message) { throw Panic(std::move(message)); }

PyObject* panic_exception_type() noexcept {
    if (PyObject* cached = load_published(cached_panic_type); cached != nullptr) [[likely]]
        return cached;
    PyObject* created = PyErr_NewExceptionWithDoc("pyo3_runtime.PanicException", panic_exception_doc,
                                                  PyExc_BaseException, nullptr);
    if (created == nullptr) return nullptr;
    // Two threads without the GIL may both get here: the first stored type
    // stays for the life of the process, the other is dropped.
    PyObject* kept = publish_once(cached_panic_type, created);
    if (kept != created) Py_DECREF(created);
    return kept;
}

void raise_panic_exception(const std::string& message) noexcept {
    PyObject* type = panic_exception_type();
    if (type == nullptr) {
        report_panic("Failed to initialize new exception type.", std::source_location::current());
        if (!PyErr_Occurred()) PyErr_NoMemory();
        return;
    }
    PyObject* text = PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace");
    if (text == nullptr) {
        // Leaves the MemoryError (or decode error) of building the text current.
        return;
    }
    PyErr_SetObject(type, text);
    Py_DECREF(text);
}

void abort_uncaught_panic() noexcept {
    std::fputs("uncaught panic at ffi boundary\n", stderr);
    std::fflush(stderr);
    std::abort();
}

}  // namespace velquist::frame
