// MitLimits: the five limits of a motor's MIT mode, with motor presets.
#pragma once

#include "frame/class_object.hpp"

namespace velquist::python {

/// The limits record; every field a 32-bit float, no invariant enforced.
struct PyMitLimits {
    float p_max;
    float v_max;
    float kp_max;
    float kd_max;
    float t_max;

    static const frame::ClassDescription description;
};

/// Equal to the `dm4310` preset; `Damiao` takes it when no limits are given.
inline constexpr PyMitLimits default_limits = {12.5f, 30.0f, 500.0f, 5.0f, 10.0f};

}  // namespace velquist::python
