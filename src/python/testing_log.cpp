// Testing hooks for the logging bridge: events, limit questions and the
// ceiling, all through the logger slot exactly as native code reaches it.
#include <Python.h>

#include <cstdint>
#include <optional>
#include <string_view>

#include "frame/class_object.hpp"
#include "logbridge/slot.hpp"
#include "python/testing.hpp"

namespace velquist::python {

namespace {

using logbridge::LogLevel;

[[gnu::cold]] void raise_wrong_type(const char* name, const char* expected, PyObject* obj) noexcept {
    PyErr_Format(PyExc_TypeError, "argument '%s': must be %s, not %s", name, expected, Py_TYPE(obj)->tp_name);
}

bool level_argument(PyObject* obj, LogLevel& out) noexcept {
    if (!PyLong_Check(obj)) {
        raise_wrong_type("level", "int", obj);
        return false;
    }
    int overflow = 0;
    const long number = PyLong_AsLongAndOverflow(obj, &overflow);
    if (number == -1 && PyErr_Occurred()) return false;
    const std::optional<LogLevel> level = overflow == 0 ? logbridge::level_from_python_number(number) : std::nullopt;
    if (!level) {
        PyErr_Format(PyExc_ValueError, "level must be one of 40, 30, 20, 10, 5, not %R", obj);
        return false;
    }
    out = *level;
    return true;
}

bool text_argument(PyObject* obj, const char* name, std::string_view& out) noexcept {
    if (!PyUnicode_Check(obj)) {
        raise_wrong_type(name, "str", obj);
        return false;
    }
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(obj, &size);
    if (data == nullptr) return false;
    out = std::string_view(data, static_cast<std::size_t>(size));
    return true;
}

bool optional_text_argument(PyObject* obj, const char* name, std::optional<std::string_view>& out) noexcept {
    if (obj == nullptr || obj == Py_None) return true;
    std::string_view text;
    if (!text_argument(obj, name, text)) return false;
    out = text;
    return true;
}

bool optional_line_argument(PyObject* obj, std::optional<std::uint32_t>& out) noexcept {
    if (obj == nullptr || obj == Py_None) return true;
    if (!PyLong_Check(obj)) {
        raise_wrong_type("line", "int or None", obj);
        return false;
    }
    const unsigned long long line = PyLong_AsUnsignedLongLong(obj);
    if (line == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
    if (line > UINT32_MAX) {
        PyErr_SetString(PyExc_OverflowError, "line must fit in 32 bits");
        return false;
    }
    out = static_cast<std::uint32_t>(line);
    return true;
}

constexpr const char* log_names[] = {"level", "target", "message", "file", "line"};
constinit frame::FunctionDescription log_description = {nullptr, "log", log_names, 5, 3};

PyObject* log(const frame::ArgumentSlots& slots) {
    logbridge::LogEvent event{LogLevel::Error, {}, std::string_view(), std::nullopt, std::nullopt};
    std::string_view message;
    if (!level_argument(slots[0], event.level) || !text_argument(slots[1], "target", event.target) ||
        !text_argument(slots[2], "message", message) || !optional_text_argument(slots[3], "file", event.file) ||
        !optional_line_argument(slots[4], event.line)) {
        return nullptr;
    }
    event.message = message;
    logbridge::logger().log(event);
    Py_RETURN_NONE;
}

constexpr const char* enabled_names[] = {"level", "target"};
constinit frame::FunctionDescription enabled_description = {nullptr, "enabled", enabled_names, 2, 2};

PyObject* enabled(const frame::ArgumentSlots& slots) {
    LogLevel level;
    std::string_view target;
    if (!level_argument(slots[0], level) || !text_argument(slots[1], "target", target)) return nullptr;
    return PyBool_FromLong(logbridge::logger().enabled(level, target));
}

PyObject* max_level() { return PyUnicode_FromString(logbridge::limit_name(logbridge::max_level())); }

template <const frame::FunctionDescription& Desc, PyObject* (*Op)(const frame::ArgumentSlots&)>
constexpr PyCFunction fastcall() {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&frame::fastcall_entry<Desc, Op>));
}

const PyMethodDef methods[] = {
    {"log", fastcall<log_description, &log>(), METH_FASTCALL | METH_KEYWORDS,
     "log(level, target, message, file=None, line=None)\n--\n\n"
     "Hand one event (level as a Python level number) to the logger slot."},
    {"enabled", fastcall<enabled_description, &enabled>(), METH_FASTCALL | METH_KEYWORDS,
     "enabled(level, target)\n--\n\nAsk the logger slot whether an event would pass its limits."},
    {"max_level", reinterpret_cast<PyCFunction>(&frame::noargs_entry<&max_level>), METH_NOARGS,
     "max_level()\n--\n\nThe published level ceiling: 'Off', 'Error', 'Warn', 'Info', 'Debug' or 'Trace'."},
    {nullptr, nullptr, 0, nullptr},
};

const TestingFunctions group{methods};
const frame::Registration<TestingFunctions> registrar{&group};

}  // namespace

}  // namespace velquist::python
