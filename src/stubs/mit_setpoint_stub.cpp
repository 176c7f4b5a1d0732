// Type-stub records of MitSetpoint and of the function `mit_setpoint`,
// which share their five parameters.
#include "stubs/module_classes.hpp"

namespace velquist::stubs {

namespace {

using python::PyMitSetpoint;

constexpr PyParamInfo setpoint_params[] = {
    {"q", &type_input<float>},  {"dq", &type_input<float>},  {"kp", &type_input<float>},
    {"kd", &type_input<float>}, {"tau", &type_input<float>},
};
constexpr std::string_view setpoint_signature = "q = ...,dq = ...,kp = ...,kd = ...,tau = ...";

constexpr PyAttrInfo getters[] = {
    {"q", &type_output<float>},  {"dq", &type_output<float>},  {"kp", &type_output<float>},
    {"kd", &type_output<float>}, {"tau", &type_output<float>},
};

constexpr PyCallableInfo methods[] = {repr_method};

constexpr PyClassInfo class_info = class_record<PyMitSetpoint>();
constexpr PyMethodsInfo methods_info = {&native_type_id<PyMitSetpoint>, getters, methods,
                                        PyCtorInfo{setpoint_params, setpoint_signature}};

constexpr PyFunctionInfo function_info = {"mit_setpoint",
                                          setpoint_params,
                                          &type_output<PyMitSetpoint>,
                                          "Build a `MitSetpoint` (handy when keyword args are awkward).",
                                          setpoint_signature,
                                          std::nullopt};

const frame::Registration<PyClassInfo> register_class{&class_info};
const frame::Registration<PyMethodsInfo> register_methods{&methods_info};
const frame::Registration<PyFunctionInfo> register_function{&function_info};

}  // namespace

}  // namespace velquist::stubs
