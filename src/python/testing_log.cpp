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

/// The level Python knows by `number`; none, with ValueError set, otherwise.
std::optional<LogLevel> level_of(int number) noexcept {
    const std::optional<LogLevel> level = logbridge::level_from_python_number(number);
    if (!level) PyErr_Format(PyExc_ValueError, "level must be one of 40, 30, 20, 10, 5, not %d", number);
    return level;
}

PyObject* log(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* names[] = {"level", "target", "message", "file", "line", nullptr};
    int number = 0;
    const char *target = nullptr, *message = nullptr, *file = nullptr;
    Py_ssize_t target_size = 0, message_size = 0, file_size = 0;
    PyObject* line = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "is#s#|z#O:log", const_cast<char**>(names), &number, &target,
                                     &target_size, &message, &message_size, &file, &file_size, &line)) {
        return nullptr;
    }
    const std::optional<LogLevel> level = level_of(number);
    const unsigned long line_number = line == Py_None ? 0 : PyLong_AsUnsignedLong(line);
    if (!level || PyErr_Occurred()) return nullptr;
    if (line_number > UINT32_MAX) return PyErr_Format(PyExc_OverflowError, "line must fit in 32 bits");
    using Text = std::optional<std::string_view>;
    logbridge::logger().log(logbridge::LogEvent{
        *level, std::string_view(target, target_size), std::string_view(message, message_size),
        file ? Text(std::string_view(file, file_size)) : std::nullopt,
        line == Py_None ? std::nullopt : std::optional(static_cast<std::uint32_t>(line_number))});
    Py_RETURN_NONE;
}

PyObject* enabled(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* names[] = {"level", "target", nullptr};
    int number = 0;
    const char* target = nullptr;
    Py_ssize_t size = 0;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "is#:enabled", const_cast<char**>(names), &number, &target, &size)) {
        return nullptr;
    }
    const std::optional<LogLevel> level = level_of(number);
    return level ? PyBool_FromLong(logbridge::logger().enabled(*level, std::string_view(target, size))) : nullptr;
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
