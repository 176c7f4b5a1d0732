"""Properties over generated inputs: 32-bit read-back, printed forms that
match the reference texts and evaluate back, and arbitrary arguments that
only ever raise the documented exceptions."""

import decimal
import math
import warnings

from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import velquist
from helpers import (
    CONSTRUCTOR_PATHS, FLOAT_FIELDS, MOTOR_STATE_FIELDS, eval_repr, f32_of, fields, motor_state_text, same_float,
    shortest_text, MyTypeError, SubFloat, SubInt, UserBaseError, UserError,
)
from velquist import ControlSetpoint, Damiao, MitLimits, MitSetpoint, mit_setpoint

PROPERTY = settings(max_examples=200, deadline=None, database=None, suppress_health_check=[HealthCheck.too_slow])

DEFAULTS = {MitLimits: (12.5, 30.0, 500.0, 5.0, 10.0), MitSetpoint: (0.0,) * 5}

# Anything the float conversion accepts: doubles of every kind and ints
# whose double fits (beyond it the conversion raises, tested elsewhere).
float_like = st.one_of(
    st.floats(),
    st.floats(width=32),
    st.integers(min_value=-(2**1000), max_value=2**1000),
    st.booleans(),
    st.fractions(max_denominator=10**6).filter(lambda f: abs(f) < 2**1000),
)
builders = st.sampled_from(
    [(cls, path) for cls in (MitLimits, MitSetpoint) for path in CONSTRUCTOR_PATHS] + [(mit_setpoint, "function")]
)


def loosely_equal(a: float, b: float) -> bool:
    """Equal as numbers (a printed "-0" reads back as 0), any NaN equal to any NaN."""
    return (math.isnan(a) and math.isnan(b)) or a == b


@PROPERTY
@given(builder=builders, values=st.lists(st.one_of(st.none(), float_like), min_size=5, max_size=5),
       positional=st.integers(0, 5))
def test_float_records_read_back_and_print(builder, values, positional):
    target, path = builder
    cls = MitSetpoint if target is mit_setpoint else target
    names = FLOAT_FIELDS[cls]
    # the first `positional` values go by position (None there means 0.0 for
    # lack of a gap), the rest by keyword when given
    args = [0.0 if v is None else v for v in values[:positional]]
    kwargs = {n: v for n, v in zip(names[positional:], values[positional:], strict=True) if v is not None}
    obj = mit_setpoint(*args, **kwargs) if target is mit_setpoint else CONSTRUCTOR_PATHS[path](cls, *args, **kwargs)
    assert type(obj) is cls
    given_values = args + values[positional:]
    expected = [DEFAULTS[cls][i] if v is None else f32_of(v) for i, v in enumerate(given_values)]
    for got, want in zip(fields(obj), expected, strict=True):
        assert same_float(got, want)
    printed = repr(obj)
    assert printed == f"{cls.__name__}(" + ", ".join(
        f"{n}={shortest_text(v)}" for n, v in zip(names, expected, strict=True)) + ")"
    again = eval_repr(printed)
    assert type(again) is cls
    for a, b in zip(fields(again), fields(obj), strict=True):
        assert loosely_equal(a, b)
    assert repr(again) == printed.replace("=-0,", "=0,").replace("=-0)", "=0)")


CONTROL_FORMS = {
    "pos_vel": ("ControlSetpoint.pos_vel(position={}, velocity={})", 2),
    "vel": ("ControlSetpoint.vel({})", 1),
    "force_pos": ("ControlSetpoint.force_pos(position={}, velocity_limit={}, torque_ratio={})", 3),
    "mit": ("ControlSetpoint.mit(q={}, dq={}, kp={}, kd={}, tau={})", 5),
}
MODES = {"mit": 1, "pos_vel": 2, "vel": 3, "force_pos": 4}


@PROPERTY
@given(factory=st.sampled_from(list(CONTROL_FORMS)), values=st.lists(float_like, min_size=5, max_size=5))
def test_control_setpoints_print_and_evaluate_back(factory, values):
    form, count = CONTROL_FORMS[factory]
    values = values[:count]
    if factory == "mit":
        obj = ControlSetpoint.mit(MitSetpoint(*values))
    else:
        obj = getattr(ControlSetpoint, factory)(*values)
    assert obj.mode == MODES[factory]
    printed = repr(obj)
    assert printed == form.format(*(shortest_text(f32_of(v)) for v in values))
    again = eval_repr(printed)
    assert type(again) is ControlSetpoint
    assert again.mode == obj.mode
    assert repr(again) == printed.replace("=-0,", "=0,").replace("=-0)", "=0)").replace("(-0)", "(0)")


u8 = st.integers(0, 255)


@PROPERTY
@given(ints=st.tuples(u8, u8, u8, u8), floats=st.tuples(float_like, float_like, float_like))
def test_motor_states_read_back_and_print(testing, ints, floats):
    motor_id, error, t_mos, t_rotor = ints
    state = testing.motor_state(motor_id, error, *floats, t_mos, t_rotor)
    expected = (motor_id, error, *(f32_of(v) for v in floats), t_mos, t_rotor)
    got = tuple(getattr(state, n) for n in MOTOR_STATE_FIELDS)
    assert got[:2] == expected[:2] and got[5:] == expected[5:]
    for a, b in zip(got[2:5], expected[2:5], strict=True):
        assert same_float(a, b)
    assert repr(state) == motor_state_text(*expected)


@PROPERTY
@given(motor_id=st.integers(0, 65535), master_id=st.integers(0, 65535),
       limits=st.one_of(st.none(), st.tuples(*[st.floats(width=32)] * 5)),
       timeout=st.one_of(st.none(), st.integers(0, 2**64 - 1)), path=st.sampled_from(list(CONSTRUCTOR_PATHS)))
def test_handles_store_and_print(testing, motor_id, master_id, limits, timeout, path):
    kwargs = {} if timeout is None else {"timeout_ms": timeout}
    given_limits = None if limits is None else MitLimits(*limits)
    handle = CONSTRUCTOR_PATHS[path](Damiao, motor_id, master_id, given_limits, **kwargs)
    printed = repr(handle)
    assert printed == f"Damiao(motor_id={motor_id:#x}, master_id={master_id:#x})"
    assert (handle.motor_id, handle.master_id) == (motor_id, master_id)
    stored_id, stored_master, stored_limits, secs, nanos = testing.damiao_fields(handle)
    assert (stored_id, stored_master) == (motor_id, master_id)
    want = DEFAULTS[MitLimits] if limits is None else limits
    assert all(same_float(a, b) for a, b in zip(fields(stored_limits), want, strict=True))
    millis = 20 if timeout is None else timeout
    assert (secs, nanos) == (millis // 1000, millis % 1000 * 1_000_000)
    again = eval_repr(printed)
    assert (again.motor_id, again.master_id) == (motor_id, master_id)


# --- arbitrary arguments ------------------------------------------------------------


RAISED_BY_USER = (UserError, UserBaseError, MyTypeError)

dunder_results = st.one_of(
    st.floats(), st.integers(min_value=-(2**70), max_value=2**70), st.none(), st.text(max_size=2),
    st.builds(SubFloat, st.floats()), st.builds(SubInt, st.integers(-5, 5)), st.just(10**400),
    st.sampled_from([UserError("u"), UserBaseError("b"), MyTypeError("t"), TypeError("t"), ValueError("v"),
                     OverflowError("o")]),
)


@st.composite
def dunder_objects(draw):
    """An object with __float__ and/or __index__ returning or raising anything."""
    namespace = {}
    for name in draw(st.sampled_from([("__float__",), ("__index__",), ("__float__", "__index__")])):
        outcome = draw(dunder_results)

        def method(self, outcome=outcome):
            if isinstance(outcome, BaseException):
                raise outcome
            return outcome

        namespace[name] = method
    return type("Dunder", (), namespace)()


# Half numbers of every kind (which convert or overflow), half anything else.
arbitrary = st.one_of(
    st.one_of(
        st.floats(), st.integers(min_value=-(2**70), max_value=2**70), st.integers(), st.booleans(),
        st.builds(SubFloat, st.floats()), st.builds(SubInt, st.integers()), dunder_objects(),
    ),
    st.one_of(
        st.none(), st.text(max_size=4), st.binary(max_size=4), st.complex_numbers(), st.fractions(),
        st.decimals(allow_nan=True),
        st.sampled_from([decimal.Decimal("sNaN"), 10**400, [], (), {}, object(), MitLimits, MitSetpoint, 1.5j]),
        st.lists(st.integers(), max_size=2), st.tuples(st.floats()),
        st.builds(MitLimits), st.builds(MitSetpoint), st.builds(Damiao, st.integers(0, 9), st.integers(0, 9)),
        st.builds(ControlSetpoint.vel, st.floats()),
    ),
)

CALLABLES = [
    (lambda *a, **k: MitLimits(*a, **k), ("p_max", "v_max", "kp_max", "kd_max", "t_max"), MitLimits),
    (lambda *a, **k: MitLimits.__new__(MitLimits, *a, **k), ("p_max", "v_max", "kp_max", "kd_max", "t_max"), MitLimits),
    (lambda *a, **k: MitSetpoint(*a, **k), ("q", "dq", "kp", "kd", "tau"), MitSetpoint),
    (lambda *a, **k: MitSetpoint.__new__(MitSetpoint, *a, **k), ("q", "dq", "kp", "kd", "tau"), MitSetpoint),
    (mit_setpoint, ("q", "dq", "kp", "kd", "tau"), MitSetpoint),
    (lambda *a, **k: Damiao(*a, **k), ("motor_id", "master_id", "limits", "timeout_ms"), Damiao),
    (lambda *a, **k: Damiao.__new__(Damiao, *a, **k), ("motor_id", "master_id", "limits", "timeout_ms"), Damiao),
    (ControlSetpoint.mit, ("setpoint",), ControlSetpoint),
    (ControlSetpoint.pos_vel, ("position", "velocity"), ControlSetpoint),
    (ControlSetpoint.vel, ("velocity",), ControlSetpoint),
    (ControlSetpoint.force_pos, ("position", "velocity_limit", "torque_ratio"), ControlSetpoint),
    (lambda *a, **k: ControlSetpoint(*a, **k), (), None),
    (lambda *a, **k: velquist.MotorState(*a, **k), (), None),
    (lambda *a, **k: MitLimits.dm4310(*a, **k), (), MitLimits),
]
DOCUMENTED = (TypeError, OverflowError, ValueError, *RAISED_BY_USER)


@st.composite
def calls(draw, names):
    """Positional and keyword arguments: mostly a valid binding, so that the
    conversions are reached, sometimes any mix of names."""
    if draw(st.integers(0, 4)) == 0:
        positional = draw(st.lists(arbitrary, max_size=len(names) + 1))
        keyword_names = draw(st.lists(st.sampled_from([*names, "bogus"]), unique=True, max_size=len(names) + 1))
    else:
        count = draw(st.integers(0, len(names)))
        positional = draw(st.lists(arbitrary, min_size=count, max_size=count))
        keyword_names = draw(st.lists(st.sampled_from(names[count:]), unique=True)) if count < len(names) else []
    return positional, {name: draw(arbitrary) for name in keyword_names}


@PROPERTY
@given(data=st.data(), which=st.integers(0, len(CALLABLES) - 1))
def test_arbitrary_arguments_raise_only_documented_errors(testing, data, which):
    function, names, result_type = CALLABLES[which]
    positional, kwargs = data.draw(calls(names))
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # dunders returning subclasses are deprecated, not wrong
        try:
            result = function(*positional, **kwargs)
        except DOCUMENTED:
            pass
        except BaseException as error:  # noqa: BLE001
            raise AssertionError(f"undocumented {type(error).__qualname__}: {error}") from error
        else:
            assert result_type is not None and type(result) is result_type
            repr(result)
    # the module keeps working after whatever happened
    assert repr(testing.motor_state(1, 2, 0.5, 0.0, 0.0, 3, 4)).startswith("MotorState(motor_id=1,")
