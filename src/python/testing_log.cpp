// Testing hooks for the logging bridge: events and limit questions go
// through the logger slot exactly as native code reaches it.
#include <Python.h>

#include <cstdint>
#include <optional>
#include <string_view>

#include "logbridge/slot.hpp"
#include "python/testing.hpp"

namespace velquist::python {

namespace {

using logbridge::LogLevel;

/// Level and target, the two leading arguments of both hooks.
bool parse_head(int number, const char* target, Py_ssize_t size, logbridge::LogEvent& event) noexcept {
    const std::optional<LogLevel> level = logbridge::level_from_python_number(number);
    if (!level) PyErr_Format(PyExc_ValueError, "level must be one of 40, 30, 20, 10, 5, not %d", number);
    event.level = level.value_or(LogLevel::Error);
    event.target = std::string_view(target, static_cast<std::size_t>(size));
    return level.has_value();
}

PyObject* log(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* names[] = {"level", "target", "message", "file", "line", nullptr};
    int number = 0;
    const char *target = nullptr, *message = nullptr, *file = nullptr;
    Py_ssize_t target_size = 0, message_size = 0, file_size = 0;
    PyObject* line = Py_None;
    logbridge::LogEvent event{LogLevel::Error, {}, std::string_view(), std::nullopt, std::nullopt};
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "is#s#|z#O:log", const_cast<char**>(names), &number, &target,
                                     &target_size, &message, &message_size, &file, &file_size, &line) ||
        !parse_head(number, target, target_size, event)) {
        return nullptr;
    }
    if (file != nullptr) event.file = std::string_view(file, static_cast<std::size_t>(file_size));
    if (line != Py_None) {
        const unsigned long value = PyLong_AsUnsignedLong(line);
        if (PyErr_Occurred()) return nullptr;
        if (value > UINT32_MAX) return PyErr_Format(PyExc_OverflowError, "line must fit in 32 bits");
        event.line = static_cast<std::uint32_t>(value);
    }
    event.message = std::string_view(message, static_cast<std::size_t>(message_size));
    logbridge::logger().log(event);
    Py_RETURN_NONE;
}

PyObject* enabled(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* names[] = {"level", "target", nullptr};
    int number = 0;
    const char* target = nullptr;
    Py_ssize_t size = 0;
    logbridge::LogEvent event{LogLevel::Error, {}, std::string_view(), std::nullopt, std::nullopt};
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "is#:enabled", const_cast<char**>(names), &number, &target,
                                     &size) ||
        !parse_head(number, target, size, event)) {
        return nullptr;
    }
    return PyBool_FromLong(logbridge::logger().enabled(event.level, event.target));
}

const PyMethodDef methods[] = {
    {"log", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&log)), METH_VARARGS | METH_KEYWORDS,
     "log(level, target, message, file=None, line=None)\n--\n\n"
     "Hand one event (level as a Python level number) to the logger slot."},
    {"enabled", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&enabled)), METH_VARARGS | METH_KEYWORDS,
     "enabled(level, target)\n--\n\nAsk the logger slot whether an event would pass its limits."},
    {nullptr, nullptr, 0, nullptr},
};

const TestingFunctions group{methods};
const frame::Registration<TestingFunctions> registrar{&group};

}  // namespace

}  // namespace velquist::python
