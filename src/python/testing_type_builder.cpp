// Testing builds: '>' is written before the interpreter's type builder runs,
// and '<' when it has returned a type or '!' when it has failed, to the file
// descriptor named by VELQUIST_TESTING_TRACE_FD (when set). A process that
// dies after a '>' died inside the interpreter. Plain write(2): nothing is buffered that a
// crash could lose, and nothing is allocated.
#include "frame/python_api.hpp"

#include <unistd.h>

#include <cstdlib>

#include "frame/type_builder.hpp"

namespace velquist::frame {

namespace {

void mark(char what) noexcept {
    const char* fd = std::getenv("VELQUIST_TESTING_TRACE_FD");
    if (fd != nullptr) (void)!write(std::atoi(fd), &what, 1);
}

}  // namespace

PyObject* type_from_spec(PyType_Spec* spec) noexcept {
    mark('>');
    PyObject* type = PyType_FromSpec(spec);
    mark(type != nullptr ? '<' : '!');
    return type;
}

}  // namespace velquist::frame
