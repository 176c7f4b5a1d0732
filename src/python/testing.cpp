#include "python/testing.hpp"

#include "frame/owned_ref.hpp"

namespace velquist::python {

bool add_testing_attribute(PyObject* module) {
    frame::OwnedRef testing(PyModule_New("velquist._testing"));
    if (!testing) return false;
    frame::OwnedRef name(PyUnicode_FromString("velquist._testing"));
    if (!name) return false;
    for (const TestingFunctions& group : frame::registration_list<TestingFunctions>) {
        for (const PyMethodDef* def = group.methods; def->ml_name != nullptr; ++def) {
            frame::OwnedRef function(PyCMethod_New(const_cast<PyMethodDef*>(def), nullptr, name.get(), nullptr));
            if (!function || PyModule_AddObjectRef(testing.get(), def->ml_name, function.get()) < 0) return false;
        }
    }
    return PyModule_AddObjectRef(module, "_testing", testing.get()) == 0;
}

}  // namespace velquist::python
