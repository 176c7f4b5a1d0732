// MotorState: the read-only record of what a motor reports. Python can read
// and print it; only native code creates one.
#pragma once

#include <cstdint>

#include "frame/class_object.hpp"

namespace velquist::python {

struct PyMotorState {
    std::uint8_t motor_id;
    std::uint8_t error;
    float position;
    float velocity;
    float torque;
    std::uint8_t t_mos;
    std::uint8_t t_rotor;

    static const frame::ClassDescription description;
};

/// The native creation entry: a new `MotorState` holding the seven values
/// (new reference, or NULL with the allocation error set).
PyObject* create_motor_state(std::uint8_t motor_id, std::uint8_t error, float position, float velocity,
                             float torque, std::uint8_t t_mos, std::uint8_t t_rotor);

}  // namespace velquist::python
