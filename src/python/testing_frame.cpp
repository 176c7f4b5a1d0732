// Testing hooks for the frame itself: a real internal fault.
#include <Python.h>

#include "frame/class_object.hpp"
#include "python/testing.hpp"

namespace velquist::python {

namespace {

PyObject* panic_with(PyObject*, PyObject* message) noexcept {
    return frame::run_in_frame([message]() -> PyObject* {
        if (message == Py_None) throw 42;  // a fault whose payload is not text
        const char* text = PyUnicode_AsUTF8(message);
        if (text == nullptr) return nullptr;
        frame::panic(text);
    });
}

const PyMethodDef methods[] = {
    {"panic", reinterpret_cast<PyCFunction>(&panic_with), METH_O,
     "panic(message)\n--\n\nRaise an internal fault carrying `message` (None: a non-text payload)."},
    {nullptr, nullptr, 0, nullptr},
};

const TestingFunctions group{methods};
const frame::Registration<TestingFunctions> registrar{&group};

}  // namespace

}  // namespace velquist::python
