// The annotation of every native type that crosses the Python boundary:
// `type_input<T>` as a parameter, `type_output<T>` as a result or attribute.
#pragma once

#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "stubs/type_info.hpp"

namespace velquist::stubs {

/// How a native type is written in the stub. Left undefined for a type
/// that cannot cross the boundary, so a record using one fails to compile.
/// A specialisation gives `annotation()` (both directions) and may add an
/// `input()` of its own.
template <class T>
struct Boundary;

// bool is integral but is no Python int here; it has no annotation yet.
template <std::integral T>
    requires(!std::same_as<T, bool>)
struct Boundary<T> {
    static TypeInfo annotation() { return {"int", {}}; }
};

template <std::floating_point T>
struct Boundary<T> {
    static TypeInfo annotation() { return {"float", {}}; }
};

template <>
struct Boundary<std::string> {
    static TypeInfo annotation() { return {"str", {}}; }
};

template <class T>
TypeInfo type_input() {
    if constexpr (requires { Boundary<T>::input(); }) {
        return Boundary<T>::input();
    } else {
        return Boundary<T>::annotation();
    }
}

template <class T>
TypeInfo type_output() {
    return Boundary<T>::annotation();
}

/// An optional value is only ever a parameter: it has no `annotation()`,
/// so `type_output` of it does not compile.
template <class T>
struct Boundary<std::optional<T>> {
    static TypeInfo input() {
        TypeInfo info = type_input<T>();
        info.text = "typing.Optional[" + info.text + "]";
        info.imports.insert(ModuleRef{"typing"});
        return info;
    }
};

}  // namespace velquist::stubs
