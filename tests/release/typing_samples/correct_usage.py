"""Calls the shipped stub must accept as they stand (mypy --strict, basedpyright)."""

from typing import assert_type

from velquist import ControlSetpoint, Damiao, MitLimits, MitSetpoint, MotorState, __all__, __version__, mit_setpoint

limits = MitLimits(p_max=12.5, v_max=30.0, kp_max=500.0, kd_max=5.0, t_max=10.0)
assert_type((limits.p_max, MitLimits.dmjh11().t_max), tuple[float, float])
assert_type((MitLimits(1, 2, 3), MitLimits.dm4340()), tuple[MitLimits, MitLimits])
setpoint = MitSetpoint(q=1, dq=0.5, kp=10.0, kd=1.0, tau=0.0)
assert_type((setpoint.tau, mit_setpoint(kp=2.0), mit_setpoint(1, 2)), tuple[float, MitSetpoint, MitSetpoint])
made = [ControlSetpoint.mit(setpoint=setpoint), ControlSetpoint.pos_vel(1.0, velocity=2.0), ControlSetpoint.vel(3)]
for c in (*made, ControlSetpoint.force_pos(position=0.0, velocity_limit=1.0, torque_ratio=0.5)):
    assert_type((c, c.mode), tuple[ControlSetpoint, int])
handle = Damiao(motor_id=1, master_id=2, limits=None, timeout_ms=50)
assert_type((handle.motor_id, handle.master_id, Damiao(3, 4, MitLimits())), tuple[int, int, Damiao])
assert_type((repr(limits), __version__, __all__), tuple[str, str, list[str]])


def fields(s: MotorState) -> None:
    assert_type((s.motor_id, s.error, s.t_mos, s.t_rotor), tuple[int, int, int, int])
    assert_type((s.position, s.velocity, s.torque), tuple[float, float, float])
