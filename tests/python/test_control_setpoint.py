"""ControlSetpoint: the four factories, the mode and the printed forms."""

import math

import pytest

from helpers import raised
from velquist import ControlSetpoint, Damiao, MitLimits, MitSetpoint, mit_setpoint

CASES = [
    (lambda: ControlSetpoint.mit(MitSetpoint(q=1.5)), 1, "ControlSetpoint.mit(q=1.5, dq=0, kp=0, kd=0, tau=0)"),
    (lambda: ControlSetpoint.mit(setpoint=MitSetpoint(q=1.5)), 1, "ControlSetpoint.mit(q=1.5, dq=0, kp=0, kd=0, tau=0)"),
    (lambda: ControlSetpoint.mit(mit_setpoint()), 1, "ControlSetpoint.mit(q=0, dq=0, kp=0, kd=0, tau=0)"),
    (lambda: ControlSetpoint.mit(MitSetpoint(1, -2, 1e6, math.nan, 1e39)), 1,
     "ControlSetpoint.mit(q=1, dq=-2, kp=1000000, kd=NaN, tau=inf)"),
    (lambda: ControlSetpoint.pos_vel(1.0, 2.5), 2, "ControlSetpoint.pos_vel(position=1, velocity=2.5)"),
    (lambda: ControlSetpoint.pos_vel(velocity=2.5, position=1.0), 2, "ControlSetpoint.pos_vel(position=1, velocity=2.5)"),
    (lambda: ControlSetpoint.pos_vel(-0.0, 0.1), 2, "ControlSetpoint.pos_vel(position=-0, velocity=0.1)"),
    (lambda: ControlSetpoint.vel(3), 3, "ControlSetpoint.vel(3)"),
    (lambda: ControlSetpoint.vel(velocity=-1e40), 3, "ControlSetpoint.vel(-inf)"),
    (lambda: ControlSetpoint.vel(3.14159265), 3, "ControlSetpoint.vel(3.1415927)"),
    (lambda: ControlSetpoint.force_pos(0.5, 1, 0.25), 4,
     "ControlSetpoint.force_pos(position=0.5, velocity_limit=1, torque_ratio=0.25)"),
    (lambda: ControlSetpoint.force_pos(0, 0, 2.0), 4, "ControlSetpoint.force_pos(position=0, velocity_limit=0, torque_ratio=2)"),
    (lambda: ControlSetpoint.force_pos(0, 0, -1.0), 4, "ControlSetpoint.force_pos(position=0, velocity_limit=0, torque_ratio=-1)"),
    (lambda: ControlSetpoint.force_pos(math.nan, math.inf, True), 4,
     "ControlSetpoint.force_pos(position=NaN, velocity_limit=inf, torque_ratio=1)"),
]


@pytest.mark.parametrize(("make", "mode", "printed"), CASES)
def test_mode_and_printed_form(make, mode, printed):
    setpoint = make()
    assert type(setpoint) is ControlSetpoint
    assert type(setpoint.mode) is int and setpoint.mode == mode
    assert repr(setpoint) == printed
    assert str(setpoint) == printed


def test_mit_copies_the_setpoint():
    source = MitSetpoint(1, 2, 3, 4, 5)
    wrapped = ControlSetpoint.mit(source)
    del source
    assert repr(wrapped) == "ControlSetpoint.mit(q=1, dq=2, kp=3, kd=4, tau=5)"


@pytest.mark.parametrize("value", [MitLimits(), 1, None, 1.0, ControlSetpoint.vel(1), Damiao(1, 2), MitSetpoint])
def test_mit_refuses_anything_but_a_mit_setpoint(value):
    error = raised(lambda: ControlSetpoint.mit(value))
    assert type(error) is TypeError
    name = type(value).__qualname__
    assert str(error) == f"argument 'setpoint': '{name}' object cannot be converted to 'MitSetpoint'"


@pytest.mark.parametrize(
    ("call", "message"),
    [
        (lambda: ControlSetpoint.vel(), "ControlSetpoint.vel() missing 1 required positional argument: 'velocity'"),
        (lambda: ControlSetpoint.pos_vel(1.0), "ControlSetpoint.pos_vel() missing 1 required positional argument: 'velocity'"),
        (lambda: ControlSetpoint.force_pos(1.0),
         "ControlSetpoint.force_pos() missing 2 required positional arguments: 'velocity_limit' and 'torque_ratio'"),
        (lambda: ControlSetpoint.force_pos(1, "x", 2), "argument 'velocity_limit': must be real number, not str"),
        (lambda: ControlSetpoint.pos_vel("a", "b"), "argument 'position': must be real number, not str"),
        (lambda: ControlSetpoint.vel(None), "argument 'velocity': must be real number, not NoneType"),
        (lambda: ControlSetpoint.mit(1.0), "argument 'setpoint': 'float' object cannot be converted to 'MitSetpoint'"),
    ],
)
def test_errors(call, message):
    error = raised(call)
    assert type(error) is TypeError
    assert str(error) == message


def test_no_constructor():
    with pytest.raises(TypeError) as info:
        ControlSetpoint()
    assert str(info.value) == "No constructor defined for ControlSetpoint"


def test_mode_is_read_only():
    setpoint = ControlSetpoint.vel(1)
    with pytest.raises(AttributeError):
        setpoint.mode = 2
    assert setpoint.mode == 3


def test_identity_semantics():
    a, b = ControlSetpoint.vel(1), ControlSetpoint.vel(1)
    assert repr(a) == repr(b)
    assert a != b and a == a
    assert hash(a) == object.__hash__(a)
