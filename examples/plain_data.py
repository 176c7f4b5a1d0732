"""Recipe: turn velquist objects into plain tuples and dicts (for JSON, logs, numpy or a database).

The objects compare and hash by identity and do not serialise themselves, so
a program that needs values compares, stores or sends these plain forms.
Only what reads back can be turned into data: a `ControlSetpoint` shows its
`mode` alone, and a `Damiao` its two identifiers (keep the limits and time-out
you built it with yourself).
"""

import json

from velquist import ControlSetpoint, Damiao, MitLimits, MitSetpoint

LIMIT_FIELDS = ("p_max", "v_max", "kp_max", "kd_max", "t_max")
SETPOINT_FIELDS = ("q", "dq", "kp", "kd", "tau")


def limits_tuple(limits: MitLimits) -> tuple[float, float, float, float, float]:
    return (limits.p_max, limits.v_max, limits.kp_max, limits.kd_max, limits.t_max)


def setpoint_tuple(setpoint: MitSetpoint) -> tuple[float, float, float, float, float]:
    return (setpoint.q, setpoint.dq, setpoint.kp, setpoint.kd, setpoint.tau)


def limits_dict(limits: MitLimits) -> dict[str, float]:
    return dict(zip(LIMIT_FIELDS, limits_tuple(limits), strict=True))


def setpoint_dict(setpoint: MitSetpoint) -> dict[str, float]:
    return dict(zip(SETPOINT_FIELDS, setpoint_tuple(setpoint), strict=True))


def handle_dict(motor: Damiao) -> dict[str, int]:
    return {"motor_id": motor.motor_id, "master_id": motor.master_id}


def main() -> None:
    a, b = MitSetpoint(q=0.5, kp=30.0), MitSetpoint(q=0.5, kp=30.0)
    assert a != b and setpoint_tuple(a) == setpoint_tuple(b)  # equal values, distinct objects
    assert limits_tuple(MitLimits.dm4340p()) == limits_tuple(MitLimits.dm4340())
    # Rebuilding from the plain form gives the same 32-bit values.
    assert setpoint_tuple(MitSetpoint(*setpoint_tuple(a))) == setpoint_tuple(a)
    record = {
        "limits": limits_dict(MitLimits.dm4310()),
        "setpoint": setpoint_dict(a),
        "handle": handle_dict(Damiao(1, 0x11)),
        "mode": ControlSetpoint.vel(2.0).mode,
    }
    print(json.dumps(record))


if __name__ == "__main__":
    main()
