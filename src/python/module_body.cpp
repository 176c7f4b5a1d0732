// The module body: what `import velquist` puts into the module, in order.
#include "frame/module_entry.hpp"
#include "logbridge/init.hpp"
#include "python/control_setpoint.hpp"
#include "python/damiao.hpp"
#include "python/mit_limits.hpp"
#include "python/mit_setpoint.hpp"
#include "python/motor_state.hpp"
#include "python/testing.hpp"

namespace velquist::frame {

bool run_module_body(PyObject* module) {
    logbridge::init();
    if (!add(module, PyUnicode_InternFromString("__version__"), PyUnicode_FromString(VELQUIST_VERSION)))
        return false;
    if (!add_class<python::PyMitLimits>(module)) return false;
    if (!add_class<python::PyMitSetpoint>(module)) return false;
    if (!add_class<python::PyControlSetpoint>(module)) return false;
    if (!add_class<python::PyMotorState>(module)) return false;
    if (!add_class<python::PyDamiao>(module)) return false;
    if (!add_function(module, python::make_mit_setpoint_function(module))) return false;
#ifdef VELQUIST_TESTING
    if (!python::add_testing_attribute(module)) return false;
#endif
    return true;
}

}  // namespace velquist::frame
