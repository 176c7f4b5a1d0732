"""Argument binding and argument conversion, the same for every callable of
the module and, for constructors, for every way of reaching them."""

import decimal
import math
import operator
import sys
import warnings
from fractions import Fraction

import pytest

from helpers import CONSTRUCTOR_PATHS, as_double, f32, f32_of, raised, same_float, shortest_text
from velquist import ControlSetpoint, Damiao, MitLimits, MitSetpoint, mit_setpoint

path_ids = list(CONSTRUCTOR_PATHS)


@pytest.fixture(params=path_ids)
def construct(request):
    return CONSTRUCTOR_PATHS[request.param]


# --- binding ------------------------------------------------------------------

SURROGATE = "\udc80"  # a keyword name that cannot be read as UTF-8

CONSTRUCTOR_BINDING_ERRORS = [
    (MitLimits, (1, 2, 3, 4, 5, 6), {}, "MitLimits.__new__() takes from 0 to 5 positional arguments but 6 were given"),
    (MitSetpoint, (1, 2, 3, 4, 5, 6), {}, "MitSetpoint.__new__() takes from 0 to 5 positional arguments but 6 were given"),
    (Damiao, (1, 2, None, 20, 5), {}, "Damiao.__new__() takes from 2 to 4 positional arguments but 5 were given"),
    # a surplus of positional arguments is reported before keyword problems
    (MitLimits, (1, 2, 3, 4, 5, 6, 7), {"zz": 1}, "MitLimits.__new__() takes from 0 to 5 positional arguments but 7 were given"),
    (MitLimits, (), {"p_maxx": 1}, "MitLimits.__new__() got an unexpected keyword argument 'p_maxx'"),
    (MitLimits, (), {"P_MAX": 1}, "MitLimits.__new__() got an unexpected keyword argument 'P_MAX'"),
    (MitLimits, (), {SURROGATE: 1}, f"MitLimits.__new__() got an unexpected keyword argument '{SURROGATE}'"),
    (MitSetpoint, (1.0,), {"q": 2.0}, "MitSetpoint.__new__() got multiple values for argument 'q'"),
    # keyword problems in keyword order
    (MitLimits, (1,), {"zz": 2, "p_max": 3}, "MitLimits.__new__() got an unexpected keyword argument 'zz'"),
    (MitLimits, (1,), {"p_max": 3, "zz": 2}, "MitLimits.__new__() got multiple values for argument 'p_max'"),
    (Damiao, (), {}, "Damiao.__new__() missing 2 required positional arguments: 'motor_id' and 'master_id'"),
    (Damiao, (), {"limits": None}, "Damiao.__new__() missing 2 required positional arguments: 'motor_id' and 'master_id'"),
    (Damiao, (), {"master_id": 2}, "Damiao.__new__() missing 1 required positional argument: 'motor_id'"),
    (Damiao, (1,), {}, "Damiao.__new__() missing 1 required positional argument: 'master_id'"),
    (Damiao, (1, 2, None, 20), {"motor_id": 1}, "Damiao.__new__() got multiple values for argument 'motor_id'"),
    # keyword problems before missing arguments
    (Damiao, (), {"zz": 1}, "Damiao.__new__() got an unexpected keyword argument 'zz'"),
    # binding fails before any value is converted
    (MitLimits, ("x",), {"zz": 1}, "MitLimits.__new__() got an unexpected keyword argument 'zz'"),
    (Damiao, (), {"timeout_ms": "x"}, "Damiao.__new__() missing 2 required positional arguments: 'motor_id' and 'master_id'"),
]


@pytest.mark.parametrize(("cls", "args", "kwargs", "message"), CONSTRUCTOR_BINDING_ERRORS)
def test_constructor_binding_errors(construct, cls, args, kwargs, message):
    with pytest.raises(TypeError) as info:
        construct(cls, *args, **kwargs)
    assert type(info.value) is TypeError
    assert str(info.value) == message


SP = MitSetpoint()

FUNCTION_BINDING_ERRORS = [
    (mit_setpoint, (), {"qq": 1.0}, "mit_setpoint() got an unexpected keyword argument 'qq'"),
    (mit_setpoint, (), {SURROGATE: 1.0}, f"mit_setpoint() got an unexpected keyword argument '{SURROGATE}'"),
    (mit_setpoint, (1, 2, 3, 4, 5, 6), {}, "mit_setpoint() takes from 0 to 5 positional arguments but 6 were given"),
    (mit_setpoint, (1.0,), {"q": 2.0}, "mit_setpoint() got multiple values for argument 'q'"),
    (mit_setpoint, (), {"tau": 1, "zz": 2, "q": 3}, "mit_setpoint() got an unexpected keyword argument 'zz'"),
    (ControlSetpoint.mit, (), {}, "ControlSetpoint.mit() missing 1 required positional argument: 'setpoint'"),
    (ControlSetpoint.mit, (SP, SP), {}, "ControlSetpoint.mit() takes 1 positional arguments but 2 were given"),
    (ControlSetpoint.mit, (SP,), {"setpoint": SP}, "ControlSetpoint.mit() got multiple values for argument 'setpoint'"),
    (ControlSetpoint.mit, (), {"sp": SP}, "ControlSetpoint.mit() got an unexpected keyword argument 'sp'"),
    (ControlSetpoint.pos_vel, (), {}, "ControlSetpoint.pos_vel() missing 2 required positional arguments: 'position' and 'velocity'"),
    (ControlSetpoint.pos_vel, (1.0,), {}, "ControlSetpoint.pos_vel() missing 1 required positional argument: 'velocity'"),
    (ControlSetpoint.pos_vel, (), {"velocity": 1.0}, "ControlSetpoint.pos_vel() missing 1 required positional argument: 'position'"),
    (ControlSetpoint.pos_vel, (1, 2, 3), {}, "ControlSetpoint.pos_vel() takes 2 positional arguments but 3 were given"),
    (ControlSetpoint.vel, (), {}, "ControlSetpoint.vel() missing 1 required positional argument: 'velocity'"),
    (ControlSetpoint.vel, (1, 2), {}, "ControlSetpoint.vel() takes 1 positional arguments but 2 were given"),
    (ControlSetpoint.vel, (1, 2), {"zz": 3}, "ControlSetpoint.vel() takes 1 positional arguments but 2 were given"),
    (ControlSetpoint.vel, (1,), {"velocity": 2}, "ControlSetpoint.vel() got multiple values for argument 'velocity'"),
    (ControlSetpoint.vel, (), {"velocity": 1, "extra": 2}, "ControlSetpoint.vel() got an unexpected keyword argument 'extra'"),
    (ControlSetpoint.force_pos, (), {},
     "ControlSetpoint.force_pos() missing 3 required positional arguments: 'position', 'velocity_limit', and 'torque_ratio'"),
    (ControlSetpoint.force_pos, (1.0,), {},
     "ControlSetpoint.force_pos() missing 2 required positional arguments: 'velocity_limit' and 'torque_ratio'"),
    (ControlSetpoint.force_pos, ("x",), {},
     "ControlSetpoint.force_pos() missing 2 required positional arguments: 'velocity_limit' and 'torque_ratio'"),
    (ControlSetpoint.force_pos, (), {"velocity_limit": 1},
     "ControlSetpoint.force_pos() missing 2 required positional arguments: 'position' and 'torque_ratio'"),
    (ControlSetpoint.force_pos, (1,), {"torque_ratio": 2},
     "ControlSetpoint.force_pos() missing 1 required positional argument: 'velocity_limit'"),
    (ControlSetpoint.force_pos, (1, 2, 3, 4), {}, "ControlSetpoint.force_pos() takes 3 positional arguments but 4 were given"),
]


@pytest.mark.parametrize(("function", "args", "kwargs", "message"), FUNCTION_BINDING_ERRORS)
def test_function_binding_errors(function, args, kwargs, message):
    with pytest.raises(TypeError) as info:
        function(*args, **kwargs)
    assert type(info.value) is TypeError
    assert str(info.value) == message


@pytest.mark.parametrize(
    ("call", "message"),
    [
        (lambda: MitLimits.dm4310(1), "takes no arguments"),
        (lambda: MitLimits.dm4310(x=1), "takes no keyword arguments"),
        (lambda: MitLimits().dmh3510(None), "takes no arguments"),
    ],
)
def test_presets_take_no_arguments(call, message):
    with pytest.raises(TypeError, match=message):
        call()


def test_keyword_and_positional_forms_agree(construct):
    assert repr(construct(MitLimits, 1, 2, t_max=3)) == repr(construct(MitLimits, p_max=1, v_max=2, t_max=3))
    assert repr(construct(MitSetpoint, tau=5, q=1)) == repr(construct(MitSetpoint, 1, 0, 0, 0, 5))
    assert repr(construct(Damiao, master_id=2, motor_id=1)) == "Damiao(motor_id=0x1, master_id=0x2)"
    assert repr(ControlSetpoint.force_pos(torque_ratio=3, position=1, velocity_limit=2)) == repr(
        ControlSetpoint.force_pos(1, 2, 3)
    )


# --- 32-bit float conversion ----------------------------------------------------


class Floaty:
    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value


class Indexy:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class SubFloat(float):
    pass


class SubInt(int):
    pass


FLOAT_MAX = 3.4028234663852886e38
HALF_STEP_ABOVE_MAX = 3.4028235677973366e38  # midway to the next power: a tie, goes to even (inf)

FLOAT_VALUES = [
    0.0, -0.0, 1.5, 0.1, -2.75, 12.566, 3.14159265, 1e-7, 1e10, 1e40, -1e40, 1e-50, -1e-50,
    1e-45, 7.1e-46, 1.17549435e-38, FLOAT_MAX, HALF_STEP_ABOVE_MAX, math.nextafter(HALF_STEP_ABOVE_MAX, 0),
    math.inf, -math.inf, math.nan, 1.0000000596046448,  # midway between 1 and the next float: to even
    3, -1, 0, True, False, 2**24 + 1, 2**63, 10**38, 10**39, SubInt(7),
    SubFloat(2.5), Floaty(-1.0), Floaty(0.3), Floaty(math.nan), Indexy(5), Indexy(2**100),
    Fraction(1, 3), decimal.Decimal("0.1"), decimal.Decimal("-Infinity"),
]


def _float_targets():
    """(id, parameter, make(value) -> object, text(object) -> the value's printed text, read)"""
    targets = []
    for cls, names, prefix in (
        (MitLimits, ("p_max", "v_max", "kp_max", "kd_max", "t_max"), "MitLimits"),
        (MitSetpoint, ("q", "dq", "kp", "kd", "tau"), "MitSetpoint"),
    ):
        for path in path_ids:
            for name in names:
                targets.append((f"{prefix}.{name}[{path}]", name,
                                lambda v, cls=cls, name=name, path=path: CONSTRUCTOR_PATHS[path](cls, **{name: v}),
                                lambda o, name=name: getattr(o, name)))
        targets.append((f"{prefix}.{names[0]}[positional]", names[0],
                        lambda v, cls=cls: cls(v), lambda o, name=names[0]: getattr(o, name)))
    for name in ("q", "dq", "kp", "kd", "tau"):
        targets.append((f"mit_setpoint.{name}", name, lambda v, name=name: mit_setpoint(**{name: v}),
                        lambda o, name=name: getattr(o, name)))
    targets.append(("mit_setpoint.q[positional]", "q", lambda v: mit_setpoint(v), lambda o: o.q))
    targets += [
        ("pos_vel.position", "position", lambda v: ControlSetpoint.pos_vel(v, 0), None),
        ("pos_vel.velocity", "velocity", lambda v: ControlSetpoint.pos_vel(0, velocity=v), None),
        ("vel.velocity", "velocity", lambda v: ControlSetpoint.vel(v), None),
        ("force_pos.position", "position", lambda v: ControlSetpoint.force_pos(v, 0, 0), None),
        ("force_pos.velocity_limit", "velocity_limit", lambda v: ControlSetpoint.force_pos(0, v, 0), None),
        ("force_pos.torque_ratio", "torque_ratio", lambda v: ControlSetpoint.force_pos(0, 0, torque_ratio=v), None),
    ]
    return targets


ALL_FLOAT_TARGETS = _float_targets()
# Every parameter sees a few values; one parameter per callable and call
# path sees the whole tables.
FULL_IDS = {"MitLimits.kd_max", "MitLimits.p_max[positional]", "MitSetpoint.kp", "MitSetpoint.q[positional]",
            "mit_setpoint.kd", "mit_setpoint.q[positional]"}
FLOAT_TARGETS = [t for t in ALL_FLOAT_TARGETS
                 if t[0] in FULL_IDS or t[0].split("[")[0] in FULL_IDS or t[3] is None]
FEW_VALUES = [0.1, -0.0, 1e40, math.nan, True, Indexy(5)]
CONTROL_TEXT = {
    "pos_vel.position": "ControlSetpoint.pos_vel(position={}, velocity=0)",
    "pos_vel.velocity": "ControlSetpoint.pos_vel(position=0, velocity={})",
    "vel.velocity": "ControlSetpoint.vel({})",
    "force_pos.position": "ControlSetpoint.force_pos(position={}, velocity_limit=0, torque_ratio=0)",
    "force_pos.velocity_limit": "ControlSetpoint.force_pos(position=0, velocity_limit={}, torque_ratio=0)",
    "force_pos.torque_ratio": "ControlSetpoint.force_pos(position=0, velocity_limit=0, torque_ratio={})",
}


@pytest.mark.parametrize(("target_id", "param", "make", "read"), FLOAT_TARGETS, ids=[t[0] for t in FLOAT_TARGETS])
@pytest.mark.parametrize("value", FLOAT_VALUES, ids=repr)
def test_float_argument_is_narrowed_to_32_bits(target_id, param, make, read, value):
    check_narrowed(target_id, make, read, value)


@pytest.mark.parametrize(
    ("target_id", "param", "make", "read"), ALL_FLOAT_TARGETS, ids=[t[0] for t in ALL_FLOAT_TARGETS]
)
@pytest.mark.parametrize("value", FEW_VALUES, ids=repr)
def test_every_float_parameter_is_narrowed(target_id, param, make, read, value):
    check_narrowed(target_id, make, read, value)


def check_narrowed(target_id, make, read, value):
    expected = f32_of(value)
    result = make(value)
    if read is None:
        assert repr(result) == CONTROL_TEXT[target_id].format(shortest_text(expected))
    else:
        got = read(result)
        assert type(got) is float
        assert same_float(got, expected), (got, expected)


def test_reference_narrowing_examples():
    # The reference itself, pinned on values whose 32-bit value is known.
    assert f32(0.1) == 0.10000000149011612
    assert f32(12.566) == 12.565999984741211
    assert f32(1e40) == math.inf and f32(-1e40) == -math.inf
    assert f32(HALF_STEP_ABOVE_MAX) == math.inf
    assert f32(math.nextafter(HALF_STEP_ABOVE_MAX, 0)) == FLOAT_MAX
    assert f32(1.0000000596046448) == 1.0
    assert f32_of(True) == 1.0 and f32_of(2**24 + 1) == 2.0**24


class Boom(Exception):
    pass


class MyTypeError(TypeError):
    pass


def raising(error):
    def method(self):
        raise error

    return method


def typeerror_with_cause():
    error = TypeError("no float here")
    error.__cause__ = KeyError("the cause")
    return error


# (id, value factory, expected type, wrapped?) -- a factory, so that each
# run raises a fresh exception object whose identity can be checked.
FLOAT_ERRORS = [
    ("str", lambda: "x", TypeError, True),
    ("None", lambda: None, TypeError, True),
    ("bytes", lambda: b"1", TypeError, True),
    ("list", lambda: [1.0], TypeError, True),
    ("complex", lambda: 1 + 2j, TypeError, True),
    ("limits", lambda: MitLimits(), TypeError, True),
    ("__float__->str", lambda: Floaty("1.0"), TypeError, True),
    ("__index__->str", lambda: Indexy("1"), TypeError, True),
    ("__float__ TypeError with cause", lambda: type("F", (), {"__float__": raising(typeerror_with_cause())})(), TypeError, True),
    ("__float__ TypeError subclass", lambda: type("F", (), {"__float__": raising(MyTypeError("mine"))})(), MyTypeError, False),
    ("__float__ ValueError", lambda: type("F", (), {"__float__": raising(ValueError("bad value"))})(), ValueError, False),
    ("__float__ Boom", lambda: type("F", (), {"__float__": raising(Boom("user"))})(), Boom, False),
    ("__index__ OverflowError", lambda: type("I", (), {"__index__": raising(OverflowError("big"))})(), OverflowError, False),
    ("huge int", lambda: 10**400, OverflowError, False),
    ("huge index", lambda: Indexy(10**400), OverflowError, False),
    ("huge Fraction", lambda: Fraction(10**400, 3), OverflowError, False),
    ("signalling NaN", lambda: decimal.Decimal("sNaN"), ValueError, False),
]
FEW_ERRORS = [e for e in FLOAT_ERRORS if e[0] in ("str", "huge int")]


@pytest.mark.parametrize(("target_id", "param", "make", "read"), FLOAT_TARGETS, ids=[t[0] for t in FLOAT_TARGETS])
@pytest.mark.parametrize(("error_id", "factory", "kind", "wrapped"), FLOAT_ERRORS, ids=[e[0] for e in FLOAT_ERRORS])
def test_float_conversion_errors(target_id, param, make, read, error_id, factory, kind, wrapped):
    check_float_error(param, make, factory, kind, wrapped)


@pytest.mark.parametrize(
    ("target_id", "param", "make", "read"), ALL_FLOAT_TARGETS, ids=[t[0] for t in ALL_FLOAT_TARGETS]
)
@pytest.mark.parametrize(("error_id", "factory", "kind", "wrapped"), FEW_ERRORS, ids=[e[0] for e in FEW_ERRORS])
def test_every_float_parameter_reports_errors(target_id, param, make, read, error_id, factory, kind, wrapped):
    check_float_error(param, make, factory, kind, wrapped)


def check_float_error(param, make, factory, kind, wrapped):
    reference = raised(lambda: as_double(factory()))
    assert type(reference) is kind
    error = raised(lambda: make(factory()))
    assert type(error) is kind
    if wrapped:
        assert str(error) == f"argument '{param}': {reference}"
        assert type(reference.__cause__) is type(error.__cause__)
        if reference.__cause__ is not None:
            assert error.__cause__.args == reference.__cause__.args
    else:
        assert str(error) == str(reference)


def test_unwrapped_errors_are_the_very_objects_raised():
    original = Boom("mine")
    value = type("F", (), {"__float__": raising(original)})()
    assert raised(lambda: MitSetpoint(kd=value)) is original
    assert raised(lambda: MitSetpoint.__new__(MitSetpoint, kd=value)) is original
    assert raised(lambda: mit_setpoint(kd=value)) is original
    assert raised(lambda: ControlSetpoint.vel(value)) is original


@pytest.mark.parametrize(
    ("call", "param"),
    [
        (lambda v: MitLimits(t_max=v), "t_max"),
        (lambda v: MitLimits.__new__(MitLimits, t_max=v), "t_max"),
        (lambda v: mit_setpoint(0, v), "dq"),
        (lambda v: ControlSetpoint.force_pos(1, 2, v), "torque_ratio"),
    ],
)
def test_wrapped_error_keeps_the_cause(call, param):
    cause = KeyError("the cause")
    inner = TypeError("no float here")
    inner.__cause__ = cause
    error = raised(lambda: call(type("F", (), {"__float__": raising(inner)})()))
    assert type(error) is TypeError and error is not inner
    assert str(error) == f"argument '{param}': no float here"
    assert error.__cause__ is cause


def test_warning_raised_as_error_passes_through(construct):
    value = Floaty(SubFloat(2.0))  # returning a float subclass is deprecated
    with warnings.catch_warnings():
        warnings.simplefilter("error", DeprecationWarning)
        error = raised(lambda: construct(MitSetpoint, kp=value))
    assert type(error) is DeprecationWarning
    assert "argument" not in str(error)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", DeprecationWarning)
        assert construct(MitSetpoint, kp=value).kp == 2.0


class Counting:
    calls = 0

    def __float__(self):
        Counting.calls += 1
        return 1.0


@pytest.mark.parametrize(
    ("call", "param"),
    [
        (lambda c: MitSetpoint(dq="b", q="a"), "q"),
        (lambda c: MitSetpoint("a", "b"), "q"),
        (lambda c: MitSetpoint.__new__(MitSetpoint, kd=c, dq="x"), "dq"),
        (lambda c: MitLimits(1, "x", t_max=c), "v_max"),
        (lambda c: mit_setpoint(tau=c, kp=None), "kp"),
        (lambda c: ControlSetpoint.pos_vel(velocity=c, position="x"), "position"),
        (lambda c: ControlSetpoint.force_pos(1, "x", c), "velocity_limit"),
        (lambda c: Damiao("a", "b"), "motor_id"),
        (lambda c: Damiao(1, "b", limits=(1,), timeout_ms="x"), "master_id"),
        (lambda c: Damiao(1, 2, limits=5, timeout_ms=None), "limits"),
    ],
)
def test_first_failing_parameter_is_reported_and_later_ones_untouched(call, param):
    Counting.calls = 0
    error = raised(lambda: call(Counting()))
    assert type(error) is TypeError
    assert str(error).startswith(f"argument '{param}': ")
    assert Counting.calls == 0


# --- integer conversions ----------------------------------------------------------


def index_error(value) -> str:
    return str(raised(lambda: operator.index(value)))


@pytest.mark.parametrize("param", ["motor_id", "master_id"])
@pytest.mark.parametrize(
    ("value", "expected"),
    [(0, 0), (1, 1), (65535, 65535), (True, 1), (False, 0), (Indexy(7), 7), (SubInt(300), 300)],
    ids=repr,
)
def test_u16_accepted(construct, param, value, expected):
    handle = construct(Damiao, **{"motor_id": 3, "master_id": 4, param: value})
    got = getattr(handle, param)
    assert type(got) is int and got == expected


@pytest.mark.parametrize("param", ["motor_id", "master_id"])
@pytest.mark.parametrize(
    ("value", "kind", "message"),
    [
        (65536, OverflowError, "out of range integral type conversion attempted"),
        (-1, OverflowError, "out of range integral type conversion attempted"),
        (Indexy(70000), OverflowError, "out of range integral type conversion attempted"),
        (2**63, OverflowError, None),
        (-(2**63) - 1, OverflowError, None),
        (2**200, OverflowError, None),
        (1.0, TypeError, "argument '{param}': " + index_error(1.0)),
        (None, TypeError, "argument '{param}': " + index_error(None)),
        ("1", TypeError, "argument '{param}': " + index_error("1")),
        (decimal.Decimal(1), TypeError, "argument '{param}': " + index_error(decimal.Decimal(1))),
        (Indexy("1"), TypeError, "argument '{param}': " + index_error(Indexy("1"))),
        (type("I", (), {"__index__": raising(ValueError("v"))})(), ValueError, "v"),
    ],
    ids=repr,
)
def test_u16_rejected(construct, param, value, kind, message):
    error = raised(lambda: construct(Damiao, **{"motor_id": 3, "master_id": 4, param: value}))
    assert type(error) is kind
    if message is None:
        assert "argument" not in str(error)  # the interpreter's own error, not renamed
    else:
        assert str(error) == message.format(param=param)


@pytest.mark.parametrize(
    ("value", "kind", "message"),
    [
        (-1, OverflowError, None),
        (-(2**70), OverflowError, None),
        (2**64, OverflowError, None),
        (Indexy(-5), OverflowError, None),
        (None, TypeError, "argument 'timeout_ms': " + index_error(None)),
        (20.0, TypeError, "argument 'timeout_ms': " + index_error(20.0)),
        ("20", TypeError, "argument 'timeout_ms': " + index_error("20")),
        (Indexy(1.5), TypeError, "argument 'timeout_ms': " + index_error(Indexy(1.5))),
    ],
    ids=repr,
)
def test_u64_rejected(construct, value, kind, message):
    error = raised(lambda: construct(Damiao, 1, 2, timeout_ms=value))
    assert type(error) is kind
    if message is None:
        assert "argument" not in str(error)
    else:
        assert str(error) == message


# --- by-value instance conversion -----------------------------------------------------


class Outer:
    class Inner:
        pass


INSTANCE_MISMATCHES = [
    (1.0, "float"), (None, "NoneType"), (3, "int"), ((1, 2), "tuple"), (MitSetpoint(), "MitSetpoint"),
    (MitLimits(), "MitLimits"), (ControlSetpoint.vel(1), "ControlSetpoint"), (Damiao(1, 2), "Damiao"),
    (MitLimits, "type"), (Outer.Inner(), "Outer.Inner"),
]


@pytest.mark.parametrize(
    ("value", "type_name"), [m for m in INSTANCE_MISMATCHES if m[1] != "MitSetpoint"], ids=repr
)
def test_setpoint_must_be_a_mit_setpoint(value, type_name):
    for call in (lambda: ControlSetpoint.mit(value), lambda: ControlSetpoint.mit(setpoint=value)):
        error = raised(call)
        assert type(error) is TypeError
        assert str(error) == f"argument 'setpoint': '{type_name}' object cannot be converted to 'MitSetpoint'"


@pytest.mark.parametrize(
    ("value", "type_name"), [m for m in INSTANCE_MISMATCHES if m[1] not in ("NoneType", "MitLimits")], ids=repr
)
def test_limits_must_be_mit_limits(construct, value, type_name):
    error = raised(lambda: construct(Damiao, 1, 2, value))
    assert type(error) is TypeError
    assert str(error) == f"argument 'limits': '{type_name}' object cannot be converted to 'MitLimits'"


# --- references ------------------------------------------------------------------------


def test_arguments_are_not_leaked(construct):
    value = 1.25 + 0.0  # a float object of its own
    bad = Floaty("not a float")
    index = Indexy(9)
    setpoint = MitSetpoint()
    limits = MitLimits()
    before = [sys.getrefcount(o) for o in (value, bad, index, setpoint, limits)]
    for _ in range(200):
        construct(MitLimits, value, kd_max=value)
        construct(MitSetpoint, value, value, value, value, tau=value)
        mit_setpoint(value, dq=value)
        ControlSetpoint.mit(setpoint)
        ControlSetpoint.force_pos(value, velocity_limit=value, torque_ratio=value)
        construct(Damiao, index, index, limits, index)
        raised(lambda: construct(MitSetpoint, value, bad))
        raised(lambda: construct(MitSetpoint, value, zz=value))
        raised(lambda: construct(Damiao, index, index, limits, bad))
        raised(lambda: construct(Damiao, index, 70000, limits))
        raised(lambda: ControlSetpoint.pos_vel(value, bad))
        raised(lambda: ControlSetpoint.mit(setpoint, setpoint=setpoint))
    after = [sys.getrefcount(o) for o in (value, bad, index, setpoint, limits)]
    assert after == before


# --- a fault raised back through Python code -------------------------------------------


class Faulting:
    """A number whose conversion runs into an internal fault of the module."""

    def __init__(self, testing):
        self.testing = testing

    def __float__(self):
        self.testing.panic("inner fault")

    __index__ = __float__


@pytest.mark.parametrize(
    "call",
    [
        lambda v: MitLimits(p_max=v),
        lambda v: MitSetpoint.__new__(MitSetpoint, v),
        lambda v: mit_setpoint(tau=v),
        lambda v: ControlSetpoint.vel(v),
        lambda v: Damiao(v, 1),
        lambda v: Damiao(1, 2, timeout_ms=v),
    ],
    ids=["MitLimits", "MitSetpoint.__new__", "mit_setpoint", "ControlSetpoint.vel", "Damiao.motor_id",
         "Damiao.timeout_ms"],
)
def test_panic_from_a_conversion_is_resumed(testing, capfd, call):
    error = raised(lambda: call(Faulting(testing)))
    assert type(error).__name__ == "PanicException"
    assert error.args == ("inner fault",)
    report = capfd.readouterr().err
    # A PanicException fetched back from Python is not an ordinary error:
    # the fault is reported again, with the Python stack, and resumed.
    assert "Python stack trace below:" in report
