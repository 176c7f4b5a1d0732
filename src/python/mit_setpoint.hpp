// MitSetpoint: one MIT (impedance) command, and the `mit_setpoint` function.
#pragma once

#include "frame/class_object.hpp"
#include "python/repr_writer.hpp"

namespace velquist::python {

/// The MIT setpoint record; every field a 32-bit float, nothing checked.
struct PyMitSetpoint {
    float q;
    float dq;
    float kp;
    float kd;
    float tau;

    static const frame::ClassDescription description;
};

/// Writes "q={}, dq={}, kp={}, kd={}, tau={}" in shortest float text;
/// shared with the mode-1 form of `ControlSetpoint`.
void write_mit_fields(const PyMitSetpoint& v, ReprWriter& w) noexcept;

/// The built-in function object `mit_setpoint` bound to `module` (new
/// reference, or NULL with an error set).
PyObject* make_mit_setpoint_function(PyObject* module);

}  // namespace velquist::python
