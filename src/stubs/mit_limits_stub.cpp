// Type-stub records of MitLimits.
#include "stubs/module_classes.hpp"

namespace velquist::stubs {

namespace {

using python::PyMitLimits;

constexpr PyParamInfo constructor_params[] = {
    {"p_max", &type_input<float>},  {"v_max", &type_input<float>}, {"kp_max", &type_input<float>},
    {"kd_max", &type_input<float>}, {"t_max", &type_input<float>},
};

constexpr PyAttrInfo getters[] = {
    {"p_max", &type_output<float>},  {"v_max", &type_output<float>}, {"kp_max", &type_output<float>},
    {"kd_max", &type_output<float>}, {"t_max", &type_output<float>},
};

constexpr PyCallableInfo preset(std::string_view name) {
    return {name, CallableKind::static_method, {}, &type_output<PyMitLimits>, "", std::nullopt};
}

constexpr PyCallableInfo methods[] = {
    repr_method,       preset("dm3507"),  preset("dm4310"),  preset("dm4310p"),
    preset("dm4340"),  preset("dm4340p"), preset("dm6006"),  preset("dm6248p"),
    preset("dm8006"),  preset("dm8009"),  preset("dm10010"), preset("dm10010l"),
    preset("dmg6215"), preset("dmh3510"), preset("dmh6220"), preset("dmjh11"),
};

constexpr PyClassInfo class_info = class_record<PyMitLimits>();
constexpr PyMethodsInfo methods_info = {
    &native_type_id<PyMitLimits>, getters, methods,
    PyCtorInfo{constructor_params, "p_max = ...,v_max = ...,kp_max = ...,kd_max = ...,t_max = ..."}};

const frame::Registration<PyClassInfo> register_class{&class_info};
const frame::Registration<PyMethodsInfo> register_methods{&methods_info};

}  // namespace

}  // namespace velquist::stubs
