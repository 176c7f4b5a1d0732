// Python snippets run in __main__ for the logging bridge's native tests.
#pragma once

#include "frame/python_api.hpp"

#include <string>

#include "frame/owned_ref.hpp"
#include "harness.hpp"

namespace velquist::testing {

/// The result of `code` (start: Py_file_input or Py_eval_input), null on failure.
inline frame::OwnedRef run_python(const char* file, int line, const std::string& code, int start) {
    PyObject* globals = PyModule_GetDict(PyImport_AddModule("__main__"));
    frame::OwnedRef result(PyRun_String(code.c_str(), start, globals, globals));
    if (!result) record_failure(file, line, "Python code failed: " + code), PyErr_Print();
    return result;
}

/// repr() of an expression, for comparing whole Python values.
inline std::string python_repr(const char* file, int line, const std::string& expr) {
    frame::OwnedRef value = run_python(file, line, "repr(" + expr + ")", Py_eval_input);
    const char* text = value ? PyUnicode_AsUTF8(value.get()) : nullptr;
    return text ? text : "<error>";
}

}  // namespace velquist::testing

#define RUN_PY(code) bool(::velquist::testing::run_python(__FILE__, __LINE__, code, Py_file_input))
#define EVAL_PY(expr) ::velquist::testing::run_python(__FILE__, __LINE__, expr, Py_eval_input)
#define REPR_PY(expr) ::velquist::testing::python_repr(__FILE__, __LINE__, expr)
