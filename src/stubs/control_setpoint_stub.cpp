// Type-stub records of ControlSetpoint: no constructor, four factories.
#include "stubs/module_classes.hpp"

namespace velquist::stubs {

namespace {

using python::PyControlSetpoint;

constexpr PyAttrInfo getters[] = {{"mode", &type_output<std::uint8_t>}};

constexpr PyParamInfo mit_params[] = {{"setpoint", &type_input<python::PyMitSetpoint>}};
constexpr PyParamInfo pos_vel_params[] = {{"position", &type_input<float>}, {"velocity", &type_input<float>}};
constexpr PyParamInfo vel_params[] = {{"velocity", &type_input<float>}};
constexpr PyParamInfo force_pos_params[] = {{"position", &type_input<float>},
                                            {"velocity_limit", &type_input<float>},
                                            {"torque_ratio", &type_input<float>}};

constexpr PyCallableInfo factory(std::string_view name, std::span<const PyParamInfo> params,
                                 std::string_view doc) {
    return {name, CallableKind::static_method, params, &type_output<PyControlSetpoint>, doc, std::nullopt};
}

constexpr PyCallableInfo methods[] = {
    factory("mit", mit_params, "MIT impedance setpoint (control mode 1)."),
    factory("pos_vel", pos_vel_params, "POS_VEL setpoint (control mode 2)."),
    factory("vel", vel_params, "VEL setpoint (control mode 3)."),
    factory("force_pos", force_pos_params, "FORCE_POS setpoint (control mode 4)."),
    repr_method,
};

constexpr PyClassInfo class_info = class_record<PyControlSetpoint>();
constexpr PyMethodsInfo methods_info = {&native_type_id<PyControlSetpoint>, getters, methods, std::nullopt};

const frame::Registration<PyClassInfo> register_class{&class_info};
const frame::Registration<PyMethodsInfo> register_methods{&methods_info};

}  // namespace

}  // namespace velquist::stubs
