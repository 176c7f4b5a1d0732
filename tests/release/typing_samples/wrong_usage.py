"""Calls the shipped stub must reject: mypy flags each line marked "error:", and no other."""

from velquist import ControlSetpoint, Damiao, MitLimits, MitSetpoint, MotorState, mit_setpoint

MitLimits(p_max="12.5")  # error: [arg-type]
mit_setpoint(tau="1")  # error: [arg-type]
ControlSetpoint.vel("fast")  # error: [arg-type]
ControlSetpoint.mit(MitLimits())  # error: [arg-type]
Damiao(1, 2, MitSetpoint())  # error: [arg-type]
Damiao(1, 2, timeout_ms=1.5)  # error: [arg-type]
MitSetpoint(x=1.0)  # error: [call-arg]
mit_setpoint(q=1.0, torque=2.0)  # error: [call-arg]
Damiao(1)  # error: [call-arg]
MitLimits.dm4310(1)  # error: [call-arg]
MotorState(1, 2)  # error: [call-arg]
mode: float = ControlSetpoint.vel(1.0).mode
count: int = MitSetpoint().q  # error: [assignment]
MitLimits.dm4310().v_max = 1.0  # error: [misc]


class Tuned(MitLimits):  # error: [misc]
    pass
