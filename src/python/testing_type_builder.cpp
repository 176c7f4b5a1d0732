// Testing builds: the type builder's marks (frame/type_builder.hpp), written with write(2): nothing buffered for
// a crash to lose, nothing allocated.
#include "frame/python_api.hpp"

#include <unistd.h>

#include <cstdlib>

#include "frame/type_builder.hpp"

namespace velquist::frame {

PyObject* type_from_spec(PyType_Spec* spec) noexcept {
    const char* fd = std::getenv("VELQUIST_TESTING_TRACE_FD");
    auto mark = [fd](char what) {
        if (fd != nullptr) (void)!write(std::atoi(fd), &what, 1);
    };
    mark('>');
    PyObject* type = PyType_FromSpec(spec);
    mark(type != nullptr ? '<' : '!');
    return type;
}

}  // namespace velquist::frame
