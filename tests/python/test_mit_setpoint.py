"""MitSetpoint and mit_setpoint: one procedure behind two entries."""

import math

import pytest

from helpers import CONSTRUCTOR_PATHS, fields, same_fields, same_float
from velquist import MitSetpoint, mit_setpoint

# Every way of building a setpoint: the class on its three paths and the function.
BUILDERS = {name: (lambda path: lambda *a, **k: CONSTRUCTOR_PATHS[path](MitSetpoint, *a, **k))(name)
            for name in CONSTRUCTOR_PATHS}
BUILDERS["function"] = mit_setpoint


@pytest.fixture(params=list(BUILDERS))
def build(request):
    return BUILDERS[request.param]


CASES = [
    ((), {}, (0.0, 0.0, 0.0, 0.0, 0.0), "MitSetpoint(q=0, dq=0, kp=0, kd=0, tau=0)"),
    ((1.5,), {"kd": 0.5}, (1.5, 0.0, 0.0, 0.5, 0.0), "MitSetpoint(q=1.5, dq=0, kp=0, kd=0.5, tau=0)"),
    ((1, 2, 3, 4, 5), {}, (1.0, 2.0, 3.0, 4.0, 5.0), "MitSetpoint(q=1, dq=2, kp=3, kd=4, tau=5)"),
    ((), {"tau": 5, "q": 1}, (1.0, 0.0, 0.0, 0.0, 5.0), "MitSetpoint(q=1, dq=0, kp=0, kd=0, tau=5)"),
    ((3.14159265,), {}, (3.1415927410125732, 0.0, 0.0, 0.0, 0.0), "MitSetpoint(q=3.1415927, dq=0, kp=0, kd=0, tau=0)"),
    ((), {"kp": 1e6}, (0.0, 0.0, 1e6, 0.0, 0.0), "MitSetpoint(q=0, dq=0, kp=1000000, kd=0, tau=0)"),
    ((), {"kp": 1000}, (0.0, 0.0, 1000.0, 0.0, 0.0), "MitSetpoint(q=0, dq=0, kp=1000, kd=0, tau=0)"),
    ((), {"tau": 1e39}, (0.0, 0.0, 0.0, 0.0, math.inf), "MitSetpoint(q=0, dq=0, kp=0, kd=0, tau=inf)"),
    ((math.nan,), {}, (math.nan, 0.0, 0.0, 0.0, 0.0), "MitSetpoint(q=NaN, dq=0, kp=0, kd=0, tau=0)"),
    ((-0.0, -1e-50, -math.inf), {"kd": -2.5, "tau": -0.1},
     (-0.0, -0.0, -math.inf, -2.5, -0.10000000149011612), "MitSetpoint(q=-0, dq=-0, kp=-inf, kd=-2.5, tau=-0.1)"),
    ((True,), {"dq": False}, (1.0, 0.0, 0.0, 0.0, 0.0), "MitSetpoint(q=1, dq=0, kp=0, kd=0, tau=0)"),
]


@pytest.mark.parametrize(("args", "kwargs", "expected", "printed"), CASES)
def test_values_and_printed_form(build, args, kwargs, expected, printed):
    setpoint = build(*args, **kwargs)
    assert type(setpoint) is MitSetpoint
    for got, want in zip(fields(setpoint), expected, strict=True):
        assert type(got) is float
        assert same_float(got, want)
    assert repr(setpoint) == printed


def test_function_and_class_agree():
    for args, kwargs, _, _ in CASES:
        assert same_fields(mit_setpoint(*args, **kwargs), MitSetpoint(*args, **kwargs))


@pytest.mark.parametrize(
    ("call", "message"),
    [
        (lambda: MitSetpoint(1, 2, 3, 4, 5, 6), "MitSetpoint.__new__() takes from 0 to 5 positional arguments but 6 were given"),
        (lambda: MitSetpoint(qq=1), "MitSetpoint.__new__() got an unexpected keyword argument 'qq'"),
        (lambda: MitSetpoint(1.0, q=2.0), "MitSetpoint.__new__() got multiple values for argument 'q'"),
        (lambda: mit_setpoint(1, 2, 3, 4, 5, 6), "mit_setpoint() takes from 0 to 5 positional arguments but 6 were given"),
        (lambda: mit_setpoint(qq=1.0), "mit_setpoint() got an unexpected keyword argument 'qq'"),
        (lambda: mit_setpoint(1.0, q=2.0), "mit_setpoint() got multiple values for argument 'q'"),
    ],
)
def test_binding_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def test_first_bad_value_is_named(build):
    with pytest.raises(TypeError) as info:
        build("a", "b")
    assert str(info.value) == "argument 'q': must be real number, not str"
    for name in ("q", "dq", "kp", "kd", "tau"):
        with pytest.raises(TypeError, match=f"^argument '{name}': "):
            build(**{name: None})


def test_values_are_not_checked_against_limits():
    # a gain above every preset's kp_max is stored as given
    assert MitSetpoint(kp=1000).kp == 1000.0
    assert mit_setpoint(kd=-5).kd == -5.0


def test_identity_semantics():
    a, b = MitSetpoint(1), MitSetpoint(1)
    assert a != b and a == a
    assert hash(a) == object.__hash__(a)
