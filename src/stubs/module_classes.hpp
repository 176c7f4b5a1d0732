// The module's own classes as boundary types: their Python names, their
// annotation (the bare class name, imported from `velquist`) and the class
// record every class file builds the same way.
#pragma once

#include <string>
#include <string_view>

#include "stubs/annotation.hpp"
#include "stubs/records.hpp"

// The native records behind the classes. Only their names are needed here,
// which keeps the stub records free of the interpreter's headers (the stub
// generator links them without the interpreter).
namespace velquist::python {
struct PyMitLimits;
struct PyMitSetpoint;
struct PyControlSetpoint;
struct PyMotorState;
struct PyDamiao;
}  // namespace velquist::python

namespace velquist::stubs {

inline constexpr std::string_view module_name = "velquist";

/// The Python name of a class of the module; specialised per class.
template <class T>
inline constexpr std::string_view python_class_name = {};

template <>
inline constexpr std::string_view python_class_name<python::PyMitLimits> = "MitLimits";
template <>
inline constexpr std::string_view python_class_name<python::PyMitSetpoint> = "MitSetpoint";
template <>
inline constexpr std::string_view python_class_name<python::PyControlSetpoint> = "ControlSetpoint";
template <>
inline constexpr std::string_view python_class_name<python::PyMotorState> = "MotorState";
template <>
inline constexpr std::string_view python_class_name<python::PyDamiao> = "Damiao";

template <class T>
    requires(!python_class_name<T>.empty())
struct Boundary<T> {
    static TypeInfo annotation() {
        return {std::string(python_class_name<T>), {ModuleRef{std::string(module_name)}}};
    }
};

/// The class record of `T`: every class of the module has an empty
/// docstring and no directly exposed fields.
template <class T>
constexpr PyClassInfo class_record() {
    return {&native_type_id<T>, python_class_name<T>, module_name, "", {}};
}

/// `__repr__`, which every class has.
inline constexpr PyCallableInfo repr_method = {"__repr__", CallableKind::method, {}, &type_output<std::string>,
                                               "",         std::nullopt};

}  // namespace velquist::stubs
