// The type-stub records: static descriptions of the module's classes,
// their attributes, methods and constructors, and its functions, each on
// a load-time registration list of its kind. The module never reads them;
// the stub generator does.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "frame/registration.hpp"
#include "stubs/type_info.hpp"

namespace velquist::stubs {

/// Identity of the native type behind a class. A class record and its
/// method record return the same token; different classes differ.
using NativeTypeId = const void*;
using NativeTypeFn = NativeTypeId (*)();

/// A read-only attribute; its annotation is the type's `type_output`.
struct PyAttrInfo {
    std::string_view name;
    TypeFn type_info;
};

/// A native field exposed directly as an attribute.
struct PyMemberInfo {
    std::string_view name;
    TypeFn type_info;
};

/// A parameter; its annotation is the type's `type_input`.
struct PyParamInfo {
    std::string_view name;
    TypeFn type_info;
};

/// How a callable is called. One byte; only these two codes occur.
enum class CallableKind : std::uint8_t { method = 0, static_method = 1 };

struct PyCallableInfo {
    std::string_view name;
    CallableKind kind;
    std::span<const PyParamInfo> params;
    TypeFn return_info;
    std::string_view doc;
    /// Parameters joined by "," with " = ..." after each that has a
    /// default; absent when no parameter has one.
    std::optional<std::string_view> signature_text;
};

struct PyCtorInfo {
    std::span<const PyParamInfo> params;
    std::optional<std::string_view> signature_text;
};

struct PyClassInfo {
    NativeTypeFn native_type;
    std::string_view python_name;
    /// The module the class belongs to; absent means the stub's own.
    std::optional<std::string_view> module;
    std::string_view doc;
    std::span<const PyMemberInfo> members;
};

struct PyMethodsInfo {
    NativeTypeFn native_type;
    std::span<const PyAttrInfo> getters;
    std::span<const PyCallableInfo> methods;
    /// Absent when Python cannot call the class.
    std::optional<PyCtorInfo> constructor;
};

struct PyFunctionInfo {
    std::string_view name;
    std::span<const PyParamInfo> params;
    TypeFn return_info;
    std::string_view doc;
    std::optional<std::string_view> signature_text;
    std::optional<std::string_view> module;
};

/// The three stub lists, one per record kind, newest first.
inline auto& class_records() { return frame::registration_list<PyClassInfo>; }
inline auto& method_records() { return frame::registration_list<PyMethodsInfo>; }
inline auto& function_records() { return frame::registration_list<PyFunctionInfo>; }

/// Per-type tag whose address is the type's identity token. `T` may be
/// incomplete: only its name matters.
template <class T>
inline constexpr char type_tag = 0;

template <class T>
NativeTypeId native_type_id() noexcept {
    return &type_tag<T>;
}

}  // namespace velquist::stubs
