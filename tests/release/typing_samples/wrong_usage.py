"""Calls the shipped stub must reject: each checker flags each line marked with its rule, and no other."""

from velquist import ControlSetpoint, Damiao, MitLimits, MitSetpoint, MotorState, mit_setpoint

MitLimits(p_max="12.5")  # mypy[arg-type] pyright[reportArgumentType]
mit_setpoint(tau="1")  # mypy[arg-type] pyright[reportArgumentType]
ControlSetpoint.vel("fast")  # mypy[arg-type] pyright[reportArgumentType]
ControlSetpoint.mit(MitLimits())  # mypy[arg-type] pyright[reportArgumentType]
Damiao(1, 2, MitSetpoint())  # mypy[arg-type] pyright[reportArgumentType]
Damiao(1, 2, timeout_ms=1.5)  # mypy[arg-type] pyright[reportArgumentType]
MitSetpoint(x=1.0)  # mypy[call-arg] pyright[reportCallIssue]
mit_setpoint(q=1.0, torque=2.0)  # mypy[call-arg] pyright[reportCallIssue]
Damiao(1)  # mypy[call-arg] pyright[reportCallIssue]
MitLimits.dm4310(1)  # mypy[call-arg] pyright[reportCallIssue]
# Neither class can be called, with arguments or without.
MotorState()  # mypy[call-arg] pyright[reportCallIssue]
MotorState(1, 2)  # mypy[call-arg] mypy[arg-type] pyright[reportCallIssue]
ControlSetpoint()  # mypy[call-arg] pyright[reportCallIssue]
ControlSetpoint(mode=1)  # mypy[call-arg] pyright[reportCallIssue]
mode: float = ControlSetpoint.vel(1.0).mode
count: int = MitSetpoint().q  # mypy[assignment] pyright[reportAssignmentType]
MitLimits.dm4310().v_max = 1.0  # mypy[misc] pyright[reportAttributeAccessIssue]


class Limits(MitLimits):  # mypy[misc] pyright[reportGeneralTypeIssues]
    pass


class Setpoint(MitSetpoint):  # mypy[misc] pyright[reportGeneralTypeIssues]
    pass


class Control(ControlSetpoint):  # mypy[misc] pyright[reportGeneralTypeIssues]
    pass


class State(MotorState):  # mypy[misc] pyright[reportGeneralTypeIssues]
    pass


class Handle(Damiao):  # mypy[misc] pyright[reportGeneralTypeIssues]
    pass
