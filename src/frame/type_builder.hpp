// The one place the module hands a class over to the interpreter's type
// builder. Testing builds mark it on the file descriptor named by
// VELQUIST_TESTING_TRACE_FD (when set): '>' before the builder runs, then
// '<' for a type or '!' for a failure (src/python/testing_type_builder.cpp).
// A test that makes allocations fail can so tell a crash inside the
// interpreter's builder ('>' last) from one in the module's own code.
#pragma once

#include "frame/python_api.hpp"

namespace velquist::frame {

#ifdef VELQUIST_TESTING
PyObject* type_from_spec(PyType_Spec* spec) noexcept;
#else
inline PyObject* type_from_spec(PyType_Spec* spec) noexcept { return PyType_FromSpec(spec); }
#endif

}  // namespace velquist::frame
