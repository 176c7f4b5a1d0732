// Type-stub records of Damiao.
#include "stubs/module_classes.hpp"

namespace velquist::stubs {

namespace {

using python::PyDamiao;

constexpr PyAttrInfo getters[] = {{"motor_id", &type_output<std::uint16_t>},
                                  {"master_id", &type_output<std::uint16_t>}};

constexpr PyParamInfo constructor_params[] = {
    {"motor_id", &type_input<std::uint16_t>},
    {"master_id", &type_input<std::uint16_t>},
    {"limits", &type_input<std::optional<python::PyMitLimits>>},
    {"timeout_ms", &type_input<std::uint64_t>},
};

constexpr PyCallableInfo methods[] = {repr_method};

constexpr PyClassInfo class_info = class_record<PyDamiao>();
constexpr PyMethodsInfo methods_info = {
    &native_type_id<PyDamiao>, getters, methods,
    PyCtorInfo{constructor_params, "motor_id,master_id,limits = ...,timeout_ms = ..."}};

const frame::Registration<PyClassInfo> register_class{&class_info};
const frame::Registration<PyMethodsInfo> register_methods{&methods_info};

}  // namespace

}  // namespace velquist::stubs
