"""MotorState: built natively (through the testing hook), read and printed
from Python."""

import math

import pytest

from helpers import MOTOR_STATE_FIELDS, f32, fixed4_text, motor_state_text, same_float
from velquist import MotorState


def state(testing, motor_id=0, error=0, position=0.0, velocity=0.0, torque=0.0, t_mos=0, t_rotor=0):
    return testing.motor_state(motor_id, error, position, velocity, torque, t_mos, t_rotor)


def test_example(testing):
    s = state(testing, 1, 0, 1.5, -0.25, 0.1, 30, 28)
    assert repr(s) == "MotorState(motor_id=1, error=0, position=1.5000, velocity=-0.2500, torque=0.1000, t_mos=30, t_rotor=28)"
    assert str(s) == repr(s)
    assert (s.motor_id, s.error, s.t_mos, s.t_rotor) == (1, 0, 30, 28)
    assert all(type(getattr(s, n)) is int for n in ("motor_id", "error", "t_mos", "t_rotor"))
    assert all(type(getattr(s, n)) is float for n in ("position", "velocity", "torque"))
    assert s.torque == 0.10000000149011612


def test_all_zero(testing):
    assert repr(state(testing)) == (
        "MotorState(motor_id=0, error=0, position=0.0000, velocity=0.0000, torque=0.0000, t_mos=0, t_rotor=0)"
    )


def test_largest_integers(testing):
    s = state(testing, 255, 255, 0.0, 0.0, 0.0, 255, 255)
    assert (s.motor_id, s.error, s.t_mos, s.t_rotor) == (255, 255, 255, 255)
    assert repr(s) == "MotorState(motor_id=255, error=255, position=0.0000, velocity=0.0000, torque=0.0000, t_mos=255, t_rotor=255)"


@pytest.mark.parametrize(
    ("value", "printed"),
    [
        (12.5, "12.5000"),
        (-0.0, "-0.0000"),
        (0.03125, "0.0312"),  # a tie: to the even digit
        (0.09375, "0.0938"),
        (-0.03125, "-0.0312"),
        (0.00005, "0.0000"),  # 32-bit 0.00005 lies just below the tie
        (0.00015, "0.0002"),  # and 0.00015 just above it
        (-0.00001, "-0.0000"),
        (1e10, "10000000000.0000"),
        (3.4028234663852886e38, "340282346638528859811704183484516925440.0000"),
        (1e-45, "0.0000"),
        (0.1, "0.1000"),
        (2.71828, "2.7183"),
        (-123.45678, "-123.4568"),
        (math.nan, "NaN"),
        (-math.nan, "NaN"),
        (-1e-45, "-0.0000"),
        (math.inf, "inf"),
        (-math.inf, "-inf"),
        (1e39, "inf"),
    ],
)
@pytest.mark.parametrize("field", ["position", "velocity", "torque"])
def test_float_fields(testing, field, value, printed):
    s = state(testing, **{field: value})
    assert same_float(getattr(s, field), f32(value))
    assert fixed4_text(f32(value)) == printed  # the reference agrees
    assert f"{field}={printed}," in repr(s)
    assert repr(s) == motor_state_text(*(getattr(s, n) for n in MOTOR_STATE_FIELDS))


@pytest.mark.parametrize("field", ["motor_id", "error", "t_mos", "t_rotor"])
@pytest.mark.parametrize("value", [256, -1, 2**64])
def test_integers_out_of_range(testing, field, value):
    with pytest.raises(OverflowError):
        state(testing, **{field: value})


@pytest.mark.parametrize("field", ["motor_id", "error", "t_mos", "t_rotor"])
def test_integer_fields_refuse_floats(testing, field):
    with pytest.raises(TypeError, match=f"^argument '{field}': "):
        state(testing, **{field: 1.0})


@pytest.mark.parametrize(
    "call",
    [lambda: MotorState(), lambda: MotorState(1, 2, 3), lambda: MotorState(motor_id=1), lambda: MotorState.__new__(MotorState)],
)
def test_no_constructor(call):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == "No constructor defined for MotorState"


def test_read_only(testing):
    s = state(testing, position=2.0)
    with pytest.raises(AttributeError):
        s.position = 1.0
    assert s.position == 2.0


def test_hook_makes_independent_objects(testing):
    a, b = state(testing, 1), state(testing, 1)
    assert type(a) is MotorState
    assert a is not b and a != b
