// Module entry and the registration operations the module body uses.
#pragma once

#include "frame/python_api.hpp"

#include "frame/class_object.hpp"

namespace velquist::frame {

/// Fills a new module object; defined by the module's own code. Returns
/// false with an error set (or throws a panic) on failure.
bool run_module_body(PyObject* module);

/// Appends `name` to `__all__` and sets the attribute. Consumes both
/// references on every path.
bool add(PyObject* module, PyObject* name, PyObject* value);

/// Adds the class's type object (created on first use) under its name.
bool add_class_type(PyObject* module, const ClassDescription& desc, PyTypeObject* (*get_or_create)() noexcept);

template <class T>
bool add_class(PyObject* module) {
    return add_class_type(module, T::description, &PyClass<T>::get_or_create);
}

/// Adds a built-in function under its `__name__`. Consumes `function`.
bool add_function(PyObject* module, PyObject* function);

}  // namespace velquist::frame
