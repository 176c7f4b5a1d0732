// The private `_testing` attribute of test builds: hooks that reach native
// entries Python cannot call otherwise. Never compiled into release builds.
#pragma once

#include "frame/python_api.hpp"

#include "frame/registration.hpp"

namespace velquist::python {

/// A group of testing functions, registered at load time by the file that
/// defines them.
struct TestingFunctions {
    const PyMethodDef* methods;  ///< terminated by a NULL-named entry
};

#ifdef VELQUIST_TESTING
/// Sets `module._testing` (not listed in `__all__`).
bool add_testing_attribute(PyObject* module);
#endif

}  // namespace velquist::python
