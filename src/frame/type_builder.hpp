// The one place the module hands a class over to the interpreter's type
// builder. Testing builds mark the hand-over and the return on a file
// descriptor a test names (src/python/testing_type_builder.cpp), so that a
// test which makes allocations fail can tell a crash inside the
// interpreter's builder from a crash in the module's own code.
#pragma once

#include "frame/python_api.hpp"

namespace velquist::frame {

#ifdef VELQUIST_TESTING
PyObject* type_from_spec(PyType_Spec* spec) noexcept;
#else
inline PyObject* type_from_spec(PyType_Spec* spec) noexcept { return PyType_FromSpec(spec); }
#endif

}  // namespace velquist::frame
