// The `_testing` attribute of test builds, and the hooks of the frame and of the classes: a real internal
// fault, the native creation of a MotorState, and a Damiao's stored fields.
#include "python/testing.hpp"

#include <cstdint>

#include "frame/convert.hpp"
#include "frame/owned_ref.hpp"
#include "python/damiao.hpp"
#include "python/motor_state.hpp"

namespace velquist::python {
namespace {

PyObject* panic_with(PyObject*, PyObject* message) noexcept {
    return frame::run_in_frame([message]() -> PyObject* {
        if (message == Py_None) throw 42;  // a fault whose payload is not text
        const char* text = PyUnicode_AsUTF8(message);
        if (text == nullptr) return nullptr;
        frame::panic(text);
    });
}

constexpr const char* motor_state_names[] = {"motor_id", "error", "position", "velocity",
                                             "torque",   "t_mos", "t_rotor"};
constinit frame::FunctionDescription motor_state_description = {nullptr, "motor_state", motor_state_names, 7, 7};

bool u8_at(PyObject* slot, const char* name, std::uint8_t& out) {
    return frame::convert_argument(slot, name, std::uint8_t{0}, out,
                                   [](PyObject* o, std::uint8_t& v) { return frame::to_u8(o, v); });
}

PyObject* motor_state(const frame::ArgumentSlots& slots) {
    std::uint8_t motor_id, error, t_mos, t_rotor;
    float position, velocity, torque;
    const bool converted = u8_at(slots[0], "motor_id", motor_id) && u8_at(slots[1], "error", error) &&
                           frame::f32_argument(slots[2], "position", 0.0f, position) &&
                           frame::f32_argument(slots[3], "velocity", 0.0f, velocity) &&
                           frame::f32_argument(slots[4], "torque", 0.0f, torque) &&
                           u8_at(slots[5], "t_mos", t_mos) && u8_at(slots[6], "t_rotor", t_rotor);
    if (!converted) return nullptr;
    return create_motor_state(motor_id, error, position, velocity, torque, t_mos, t_rotor);
}

PyObject* damiao_fields(PyObject*, PyObject* handle) noexcept {
    return frame::run_in_frame([handle]() -> PyObject* {
        PyDamiao value;
        if (!read_damiao(handle, value)) return nullptr;
        PyObject* limits = frame::PyClass<PyMitLimits>::create(value.limits);
        if (limits == nullptr) return nullptr;
        return Py_BuildValue("(IINKI)", unsigned{value.motor_id}, unsigned{value.master_id}, limits,
                             static_cast<unsigned long long>(value.timeout.seconds), value.timeout.nanoseconds);
    });
}

const PyMethodDef methods[] = {
    {"panic", reinterpret_cast<PyCFunction>(&panic_with), METH_O,
     "Raise an internal fault (None: a non-text payload)."},
    {"motor_state",
     reinterpret_cast<PyCFunction>(
         reinterpret_cast<void (*)()>(&frame::fastcall_entry<motor_state_description, &motor_state>)),
     METH_FASTCALL | METH_KEYWORDS, "A MotorState made by the native creation entry."},
    {"damiao_fields", reinterpret_cast<PyCFunction>(&damiao_fields), METH_O,
     "(motor_id, master_id, limits, timeout_secs, timeout_nanos) as a Damiao stores them."},
    {nullptr, nullptr, 0, nullptr},
};
const TestingFunctions group{methods};
const frame::Registration<TestingFunctions> registrar{&group};

}  // namespace

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
