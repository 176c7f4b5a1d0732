// Runs every registered native test case inside an embedded interpreter in
// which `velquist` is importable as a built-in module.
#include <Python.h>

#include <cstring>
#include <vector>

#include "harness.hpp"

extern "C" PyObject* PyInit_velquist();

int main(int argc, char** argv) {
    if (PyImport_AppendInittab("velquist", &PyInit_velquist) < 0) return 2;
    Py_Initialize();
    std::vector<const velquist::testing::TestCase*> cases;
    for (const auto& c : velquist::frame::registration_list<velquist::testing::TestCase>) cases.push_back(&c);
    int passed = 0;
    int failed = 0;
    // Registration is newest first; run in source order for readable output.
    for (auto it = cases.rbegin(); it != cases.rend(); ++it) {
        const auto* c = *it;
        if (argc > 1 && std::strstr(c->name, argv[1]) == nullptr) continue;
        velquist::testing::current_failures = 0;
        c->run();
        if (PyErr_Occurred()) {
            velquist::testing::record_failure(__FILE__, __LINE__, "Python error left pending");
            PyErr_Print();
        }
        if (velquist::testing::current_failures == 0) {
            ++passed;
        } else {
            ++failed;
            std::fprintf(stderr, "FAILED %s\n", c->name);
        }
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    // Logger threads may still hold references; skip finalisation.
    std::fflush(stdout);
    return failed == 0 ? 0 : 1;
}
