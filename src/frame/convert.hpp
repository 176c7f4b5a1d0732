// Argument conversions from Python objects to native values. Each returns
// false with a Python exception set on failure.
#pragma once

#include "frame/python_api.hpp"

#include <cfloat>
#include <cmath>
#include <cstdint>

namespace velquist::frame {

/// Rounds a double to the nearest float, ties to even, overflowing to an
/// infinity. Spelled out because a plain cast of an out-of-range double is
/// undefined behaviour in C++.
inline float narrow_to_f32(double d) noexcept {
    const double magnitude = std::fabs(d);
    if (magnitude > static_cast<double>(FLT_MAX)) [[unlikely]] {
        // Halfway between FLT_MAX and 2^128: the tie goes to the even
        // neighbour, which is the infinity.
        constexpr double halfway = 0x1.ffffffp127;
        const float limit = magnitude >= halfway ? INFINITY : FLT_MAX;
        return std::signbit(d) ? -limit : limit;
    }
    return static_cast<float>(d);
}

/// Any object Python's float conversion accepts, narrowed to 32 bits.
inline bool to_f32(PyObject* obj, float& out) noexcept {
    if (Py_IS_TYPE(obj, &PyFloat_Type)) [[likely]] {
        out = narrow_to_f32(PyFloat_AS_DOUBLE(obj));
        return true;
    }
    const double d = PyFloat_AsDouble(obj);
    if (d == -1.0 && PyErr_Occurred()) return false;
    out = narrow_to_f32(d);
    return true;
}

/// Objects with `__index__`, 0 to 65535.
bool to_u16(PyObject* obj, std::uint16_t& out) noexcept;

/// Objects with `__index__`, 0 to 255.
bool to_u8(PyObject* obj, std::uint8_t& out) noexcept;

/// `int` directly, other objects through `PyNumber_Index`; 0 to 2^64-1.
bool to_u64(PyObject* obj, std::uint64_t& out) noexcept;

/// After a failed conversion of parameter `name`: an exact TypeError becomes
/// TypeError "argument '{name}': {message}" carrying the original's cause;
/// any other exception stays as it is.
/// A fetched PanicException is resumed (thrown again), not wrapped.
[[gnu::cold]] void wrap_argument_error(const char* name);

}  // namespace velquist::frame

namespace velquist::frame {

/// Converts one bound slot: an empty slot takes `fallback`; a failure is
/// re-raised with the parameter name where the rules say so.
template <class T, class Convert>
[[gnu::always_inline]] inline bool convert_argument(PyObject* slot, const char* name, T fallback, T& out,
                                                    Convert convert) {
    if (slot == nullptr) {
        out = fallback;
        return true;
    }
    if (convert(slot, out)) [[likely]]
        return true;
    wrap_argument_error(name);
    return false;
}

inline bool f32_argument(PyObject* slot, const char* name, float fallback, float& out) {
    return convert_argument(slot, name, fallback, out, [](PyObject* o, float& v) { return to_f32(o, v); });
}

}  // namespace velquist::frame
