// Helpers shared by the logging bridge's native tests: running Python
// snippets in __main__ and a spy on `logging.getLogger`.
#pragma once

#include <Python.h>

#include <string>

#include "frame/owned_ref.hpp"
#include "harness.hpp"

namespace velquist::testing {

/// Runs statements in __main__; a Python error is a test failure.
inline bool run_python(const char* file, int line, const std::string& code) {
    PyObject* globals = PyModule_GetDict(PyImport_AddModule("__main__"));
    frame::OwnedRef result(PyRun_String(code.c_str(), Py_file_input, globals, globals));
    if (result) return true;
    record_failure(file, line, "Python code failed");
    PyErr_Print();
    return false;
}

/// Evaluates an expression in __main__ (new reference, NULL on failure).
inline frame::OwnedRef eval_python(const char* file, int line, const std::string& expr) {
    PyObject* globals = PyModule_GetDict(PyImport_AddModule("__main__"));
    frame::OwnedRef result(PyRun_String(expr.c_str(), Py_eval_input, globals, globals));
    if (!result) {
        record_failure(file, line, "Python expression failed: " + expr);
        PyErr_Print();
    }
    return result;
}

/// repr() of an evaluated expression, for comparing whole Python values.
inline std::string python_repr(const char* file, int line, const std::string& expr) {
    frame::OwnedRef value = eval_python(file, line, "repr(" + expr + ")");
    if (!value) return "<error>";
    const char* text = PyUnicode_AsUTF8(value.get());
    return text ? text : "<error>";
}

#define RUN_PY(code) ::velquist::testing::run_python(__FILE__, __LINE__, code)
#define EVAL_PY(expr) ::velquist::testing::eval_python(__FILE__, __LINE__, expr)
#define REPR_PY(expr) ::velquist::testing::python_repr(__FILE__, __LINE__, expr)

/// Defines `spy_calls` and `install_spy(level)` in __main__: while a spy is
/// installed, `logging.getLogger` hands out unregistered loggers of the
/// given level that record getLogger, isEnabledFor and handle calls.
inline constexpr const char* spy_code = R"(
import logging
spy_calls = []
_real_get_logger = logging.getLogger

class SpyLogger(logging.Logger):
    def isEnabledFor(self, level):
        spy_calls.append(("isEnabledFor", level))
        return super().isEnabledFor(level)

    def handle(self, record):
        spy_calls.append(("handle", record.name, record.getMessage()))

def install_spy(level):
    spy_calls.clear()
    def get_logger(name=None):
        spy_calls.append(("getLogger", name))
        return SpyLogger(name, level)
    logging.getLogger = get_logger

def remove_spy():
    logging.getLogger = _real_get_logger
)";

}  // namespace velquist::testing
