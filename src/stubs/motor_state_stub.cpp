// Type-stub records of MotorState: read-only, no constructor.
#include "stubs/module_classes.hpp"

namespace velquist::stubs {

namespace {

using python::PyMotorState;

constexpr PyAttrInfo getters[] = {
    {"motor_id", &type_output<std::uint8_t>}, {"error", &type_output<std::uint8_t>},
    {"position", &type_output<float>},        {"velocity", &type_output<float>},
    {"torque", &type_output<float>},          {"t_mos", &type_output<std::uint8_t>},
    {"t_rotor", &type_output<std::uint8_t>},
};

constexpr PyCallableInfo methods[] = {repr_method};

constexpr PyClassInfo class_info = class_record<PyMotorState>();
constexpr PyMethodsInfo methods_info = {&native_type_id<PyMotorState>, getters, methods, std::nullopt};

const frame::Registration<PyClassInfo> register_class{&class_info};
const frame::Registration<PyMethodsInfo> register_methods{&methods_info};

}  // namespace

}  // namespace velquist::stubs
