#include "frame/module_entry.hpp"

#include <atomic>
#include <cstdint>
#include <string>

#include "frame/free_threading.hpp"
#include "frame/owned_ref.hpp"

namespace velquist::frame {

namespace {

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT, "velquist", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr,
};

std::atomic<std::int64_t> owner_interpreter{-1};
PyObject* module_cell = nullptr;
PyObject* interned_all = nullptr;
PyObject* interned_name = nullptr;

PyObject* interned(PyObject*& cell, const char* text) {
    if (cell == nullptr) cell = PyUnicode_InternFromString(text);
    return cell;
}

PyObject* find_all_list(PyObject* module) {
    PyObject* key = interned(interned_all, "__all__");
    if (key == nullptr) return nullptr;
    PyObject* existing = PyObject_GetAttr(module, key);
    if (existing != nullptr) {
        if (PyList_Check(existing)) return existing;
        raise_cannot_convert(existing, "PyList");
        Py_DECREF(existing);
        return nullptr;
    }
    PyObject* exc = PyErr_GetRaisedException();
    if (!PyErr_GivenExceptionMatches(exc, PyExc_AttributeError)) {
        PyErr_SetRaisedException(exc);
        return nullptr;
    }
    Py_DECREF(exc);
    PyObject* list = PyList_New(0);
    if (list == nullptr) return nullptr;
    if (PyObject_SetAttr(module, key, list) < 0) {
        Py_DECREF(list);
        return nullptr;
    }
    return list;
}

PyObject* make_module() {
    const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id == -1) {
        ensure_error_set();
        return nullptr;
    }
    std::int64_t expected = -1;
    if (!owner_interpreter.compare_exchange_strong(expected, id) && expected != id) {
        PyErr_SetString(PyExc_ImportError,
                        "velquist does not yet support sub-interpreters; it can only be imported in "
                        "the interpreter that first imported it");
        return nullptr;
    }
    if (module_cell != nullptr) return Py_NewRef(module_cell);
    OwnedRef module(PyModule_Create2(&module_definition, 1013));
    if (!module) {
        ensure_error_set();
        return nullptr;
    }
    if (!declare_gil_unused(module.get())) return nullptr;
    if (!run_module_body(module.get())) return nullptr;
    if (module_cell != nullptr) return Py_NewRef(module_cell);
    module_cell = Py_NewRef(module.get());
    return module.release();
}

}  // namespace

bool add(PyObject* module, PyObject* name, PyObject* value) {
    OwnedRef owned_name(name);
    OwnedRef owned_value(value);
    if (!owned_name || !owned_value) {
        ensure_error_set();
        return false;
    }
    OwnedRef all(find_all_list(module));
    if (!all) return false;
    if (PyList_Append(all.get(), name) < 0) {
        OwnedRef exc(fetch_error());
        panic("could not append __name__ to __all__: " + describe_error(exc.get()));
    }
    return PyObject_SetAttr(module, name, value) == 0;
}

bool add_class_type(PyObject* module, const ClassDescription& desc, PyTypeObject* (*get_or_create)() noexcept) {
    PyTypeObject* type = get_or_create();
    if (type == nullptr) {
        OwnedRef cause(fetch_error());
        PyErr_Format(PyExc_RuntimeError, "An error occurred while initializing class %s", desc.python_name);
        PyObject* error = PyErr_GetRaisedException();
        if (error != nullptr) PyException_SetCause(error, cause.release());
        PyErr_SetRaisedException(error);
        return false;
    }
    return add(module, PyUnicode_FromString(desc.python_name), Py_NewRef(reinterpret_cast<PyObject*>(type)));
}

bool add_function(PyObject* module, PyObject* function) {
    OwnedRef owned(function);
    if (!owned) {
        ensure_error_set();
        return false;
    }
    PyObject* key = interned(interned_name, "__name__");
    if (key == nullptr) return false;
    PyObject* name = PyObject_GetAttr(function, key);
    if (name == nullptr) return false;
    if (!PyUnicode_Check(name)) {
        raise_cannot_convert(name, "PyString");
        Py_DECREF(name);
        return false;
    }
    return add(module, name, owned.release());
}

}  // namespace velquist::frame

extern "C" [[gnu::visibility("default")]] PyObject* PyInit_velquist() {
    return velquist::frame::run_in_frame([]() -> PyObject* { return velquist::frame::make_module(); });
}
