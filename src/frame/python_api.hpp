// The Python C API as the module uses it, on every CPython it builds for
// (3.10 on): what an older interpreter lacks is defined here from what it
// has, with the newer function's behaviour, so no other file tests versions.
#pragma once

// `#` argument formats take Py_ssize_t lengths (before 3.13 they raise
// SystemError without this).
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstring>

#if PY_VERSION_HEX < 0x030B0000
inline PyObject* PyType_GetName(PyTypeObject* type) {
    if (type->tp_flags & Py_TPFLAGS_HEAPTYPE) return Py_NewRef(reinterpret_cast<PyHeapTypeObject*>(type)->ht_name);
    const char* dot = std::strrchr(type->tp_name, '.');
    return PyUnicode_FromString(dot != nullptr ? dot + 1 : type->tp_name);
}

inline PyObject* PyType_GetQualName(PyTypeObject* type) {
    if (type->tp_flags & Py_TPFLAGS_HEAPTYPE)
        return Py_NewRef(reinterpret_cast<PyHeapTypeObject*>(type)->ht_qualname);
    return PyType_GetName(type);
}
#endif

#if PY_VERSION_HEX < 0x030C0000
/// The raised exception, normalised and carrying its traceback; the error
/// indicator is cleared.
inline PyObject* PyErr_GetRaisedException() {
    PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    if (type == nullptr) return nullptr;
    PyErr_NormalizeException(&type, &value, &traceback);
    if (traceback != nullptr && value != nullptr) PyException_SetTraceback(value, traceback);
    Py_XDECREF(type);
    Py_XDECREF(traceback);
    return value;
}

/// Steals `exc` (or clears the error indicator for NULL).
inline void PyErr_SetRaisedException(PyObject* exc) {
    if (exc == nullptr) return PyErr_Restore(nullptr, nullptr, nullptr);
    PyErr_Restore(Py_NewRef(reinterpret_cast<PyObject*>(Py_TYPE(exc))), exc, PyException_GetTraceback(exc));
}

inline void PyErr_DisplayException(PyObject* exc) {
    PyObject* traceback = PyException_GetTraceback(exc);
    PyErr_Display(reinterpret_cast<PyObject*>(Py_TYPE(exc)), exc, traceback);
    Py_XDECREF(traceback);
}
#endif

#if PY_VERSION_HEX < 0x030D0000
inline int Py_IsFinalizing() { return _Py_IsFinalizing(); }
#endif
