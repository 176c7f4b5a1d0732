// ControlSetpoint: a setpoint tagged with one of the four control modes.
#pragma once

#include <cstdint>

#include "frame/class_object.hpp"
#include "python/mit_setpoint.hpp"

namespace velquist::python {

/// Control modes; the number is the value written to the motor's register 10.
enum class ControlMode : std::uint8_t { mit = 1, pos_vel = 2, vel = 3, force_pos = 4 };

struct PosVelPayload {
    float position;
    float velocity;
};
struct VelPayload {
    float velocity;
};
struct ForcePosPayload {
    float position;
    float velocity_limit;
    float torque_ratio;
};

/// One mode and that mode's payload (selected by `mode`).
struct PyControlSetpoint {
    ControlMode mode;
    union {
        PyMitSetpoint mit;
        PosVelPayload pos_vel;
        VelPayload vel;
        ForcePosPayload force_pos;
    };

    static const frame::ClassDescription description;
};

}  // namespace velquist::python
