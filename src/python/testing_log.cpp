// Testing hooks for the logging bridge: events, limit questions and the
// published ceiling go through the logger slot exactly as native code
// reaches them.
#include "frame/python_api.hpp"

#include <cstdint>
#include <optional>
#include <string_view>

#include "logbridge/slot.hpp"
#include "python/testing.hpp"

namespace velquist::python {

namespace {

using logbridge::LogEvent;

/// The hooks' arguments: level and target, and for `log` also message,
/// file=None and line=None. None, with a Python error set, on bad ones.
std::optional<LogEvent> read_event(PyObject* args, PyObject* kwargs, bool is_log) noexcept {
    static const char* log_names[] = {"level", "target", "message", "file", "line", nullptr};
    static const char* enabled_names[] = {"level", "target", nullptr};
    int number = 0;
    const char *target = nullptr, *message = nullptr, *file = nullptr;
    Py_ssize_t target_size = 0, message_size = 0, file_size = 0;
    PyObject* line = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, is_log ? "is#s#|z#O:log" : "is#:enabled",
                                     const_cast<char**>(is_log ? log_names : enabled_names), &number, &target,
                                     &target_size, &message, &message_size, &file, &file_size, &line)) {
        return std::nullopt;
    }
    const std::optional<logbridge::LogLevel> level = logbridge::level_from_python_number(number);
    const unsigned long line_number = line == Py_None ? 0 : PyLong_AsUnsignedLong(line);
    if (!PyErr_Occurred() && line_number > UINT32_MAX)
        PyErr_SetString(PyExc_OverflowError, "line must fit in 32 bits");
    if (!level) PyErr_Format(PyExc_ValueError, "level must be one of 40, 30, 20, 10, 5, not %d", number);
    if (PyErr_Occurred()) return std::nullopt;
    return LogEvent{*level, std::string_view(target, target_size), std::string_view(message, message_size),
                    file ? std::optional(std::string_view(file, file_size)) : std::nullopt,
                    line == Py_None ? std::nullopt : std::optional(static_cast<std::uint32_t>(line_number))};
}

PyObject* log(PyObject*, PyObject* args, PyObject* kwargs) {
    const std::optional<LogEvent> event = read_event(args, kwargs, true);
    if (!event) return nullptr;
    logbridge::logger().log(*event);
    Py_RETURN_NONE;
}

PyObject* enabled(PyObject*, PyObject* args, PyObject* kwargs) {
    const std::optional<LogEvent> event = read_event(args, kwargs, false);
    return event ? PyBool_FromLong(logbridge::logger().enabled(event->level, event->target)) : nullptr;
}

PyObject* max_level(PyObject*, PyObject*) {
    return PyUnicode_FromString(logbridge::limit_name(logbridge::max_level()));
}

const PyMethodDef methods[] = {
    {"log", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&log)), METH_VARARGS | METH_KEYWORDS,
     "log(level, target, message, file=None, line=None)\n--\n\nHand one event (a Python level number) to the "
     "slot."},
    {"enabled", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&enabled)),
     METH_VARARGS | METH_KEYWORDS,
     "enabled(level, target)\n--\n\nAsk the logger slot whether an event would pass its limits."},
    {"max_level", &max_level, METH_NOARGS,
     "max_level()\n--\n\nThe published level ceiling: 'Off', 'Error', 'Warn', 'Info', 'Debug' or 'Trace'."},
    {nullptr, nullptr, 0, nullptr},
};

const TestingFunctions group{methods};
const frame::Registration<TestingFunctions> registrar{&group};

}  // namespace

}  // namespace velquist::python
