// Runs the native cases named with argv[1] (all by default) where `velquist` is a built-in module.
#include "frame/python_api.hpp"

#include <cstring>
#include <vector>

#include "harness.hpp"

extern "C" PyObject* PyInit_velquist();

int main(int argc, char** argv) {
    namespace t = velquist::testing;
    if (PyImport_AppendInittab("velquist", &PyInit_velquist) < 0) return 2;
    Py_Initialize();
    std::vector<const t::TestCase*> cases;  // in source order: the list is newest first
    for (const auto& c : velquist::frame::registration_list<t::TestCase>) cases.insert(cases.begin(), &c);
    int passed = 0, failed = 0;
    for (const t::TestCase* c : cases) {
        if (argc > 1 && std::strstr(c->name, argv[1]) == nullptr) continue;
        t::current_failures = 0;
        c->run();
        if (PyErr_Occurred()) t::record_failure(__FILE__, __LINE__, "Python error left pending"), PyErr_Print();
        if (t::current_failures != 0) std::fprintf(stderr, "FAILED %s\n", c->name);
        ++(t::current_failures == 0 ? passed : failed);
    }
    std::printf("%d passed, %d failed\n", passed, failed);  // no finalisation: logger threads may hold references
    return failed == 0 ? 0 : 1;
}
