"""A user script the shipped stub must accept as it stands (mypy --strict)."""

from typing import assert_type

import velquist
from velquist import ControlSetpoint, Damiao, MitLimits, MitSetpoint, MotorState, mit_setpoint

limits = MitLimits(p_max=12.5, v_max=30.0, kp_max=500.0, kd_max=5.0, t_max=10.0)
assert_type(limits.p_max, float)
assert_type(MitLimits(), MitLimits)
assert_type(MitLimits(1, 2, 3), MitLimits)
assert_type(MitLimits.dm4340(), MitLimits)
assert_type(MitLimits.dmjh11().t_max, float)

setpoint = MitSetpoint(q=1, dq=0.5, kp=10.0, kd=1.0, tau=0.0)
assert_type(setpoint.tau, float)
assert_type(mit_setpoint(kp=2.0), MitSetpoint)
assert_type(velquist.mit_setpoint(), MitSetpoint)

for control in (
    ControlSetpoint.mit(setpoint),
    ControlSetpoint.mit(setpoint=mit_setpoint()),
    ControlSetpoint.pos_vel(1.0, velocity=2.0),
    ControlSetpoint.vel(3),
    ControlSetpoint.force_pos(position=0.0, velocity_limit=1.0, torque_ratio=0.5),
):
    assert_type(control, ControlSetpoint)
    assert_type(control.mode, int)

handle = Damiao(1, 2, MitLimits.dm4340())
assert_type(handle.motor_id, int)
assert_type(handle.master_id, int)
Damiao(motor_id=1, master_id=2, limits=None, timeout_ms=50)
Damiao(3, 4)


def describe(state: MotorState) -> str:
    assert_type(state.error, int)
    assert_type(state.position, float)
    return f"{state.motor_id} {state.t_mos} {state.t_rotor} {state.velocity} {state.torque}"


assert_type(repr(limits), str)
assert_type(velquist.__version__, str)
names: list[str] = velquist.__all__
