// Damiao: the handle of one motor (identifiers, limits, time-out).
#pragma once

#include <cstdint>

#include "frame/class_object.hpp"
#include "python/mit_limits.hpp"

namespace velquist::python {

/// A time-out as whole seconds plus nanoseconds (below 1,000,000,000).
struct Duration {
    std::uint64_t seconds;
    std::uint32_t nanoseconds;

    static constexpr Duration from_milliseconds(std::uint64_t ms) {
        return {ms / 1000, static_cast<std::uint32_t>(ms % 1000) * 1'000'000u};
    }
};

struct PyDamiao {
    std::uint16_t motor_id;
    std::uint16_t master_id;
    PyMitLimits limits;
    Duration timeout;

    static const frame::ClassDescription description;
};

inline constexpr std::uint64_t default_timeout_ms = 20;

/// Native access to a handle's stored fields, which Python cannot read.
/// False with TypeError set when `obj` is not a `Damiao`.
bool read_damiao(PyObject* obj, PyDamiao& out);

}  // namespace velquist::python
