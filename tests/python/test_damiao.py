"""Damiao: identifiers, stored limits and time-out, printed form."""

import math

import pytest

from helpers import CONSTRUCTOR_PATHS, fields, raised, same_fields
from velquist import Damiao, MitLimits, MitSetpoint

DEFAULT_LIMITS = (12.5, 30.0, 500.0, 5.0, 10.0)


@pytest.fixture(params=list(CONSTRUCTOR_PATHS))
def construct(request):
    return CONSTRUCTOR_PATHS[request.param]


def stored(testing, handle):
    motor_id, master_id, limits, secs, nanos = testing.damiao_fields(handle)
    assert type(limits) is MitLimits
    return motor_id, master_id, fields(limits), secs, nanos


@pytest.mark.parametrize(
    ("args", "kwargs", "printed", "expected"),
    [
        ((1, 2), {}, "Damiao(motor_id=0x1, master_id=0x2)", (1, 2, DEFAULT_LIMITS, 0, 20_000_000)),
        ((1, 17), {}, "Damiao(motor_id=0x1, master_id=0x11)", (1, 17, DEFAULT_LIMITS, 0, 20_000_000)),
        ((0, 0), {}, "Damiao(motor_id=0x0, master_id=0x0)", (0, 0, DEFAULT_LIMITS, 0, 20_000_000)),
        ((65535, 255), {}, "Damiao(motor_id=0xffff, master_id=0xff)", (65535, 255, DEFAULT_LIMITS, 0, 20_000_000)),
        ((0xABC, 0xABC), {}, "Damiao(motor_id=0xabc, master_id=0xabc)", (0xABC, 0xABC, DEFAULT_LIMITS, 0, 20_000_000)),
        ((True, 2), {}, "Damiao(motor_id=0x1, master_id=0x2)", (1, 2, DEFAULT_LIMITS, 0, 20_000_000)),
        ((1, 2, None), {}, "Damiao(motor_id=0x1, master_id=0x2)", (1, 2, DEFAULT_LIMITS, 0, 20_000_000)),
        ((1, 2), {"limits": None}, "Damiao(motor_id=0x1, master_id=0x2)", (1, 2, DEFAULT_LIMITS, 0, 20_000_000)),
        ((1, 2, MitLimits.dm4340()), {}, "Damiao(motor_id=0x1, master_id=0x2)",
         (1, 2, (12.5, 10.0, 500.0, 5.0, 28.0), 0, 20_000_000)),
        ((1, 2), {"timeout_ms": 0}, "Damiao(motor_id=0x1, master_id=0x2)", (1, 2, DEFAULT_LIMITS, 0, 0)),
        ((1, 2), {"timeout_ms": 1500}, "Damiao(motor_id=0x1, master_id=0x2)", (1, 2, DEFAULT_LIMITS, 1, 500_000_000)),
        ((1, 2, None, 999), {}, "Damiao(motor_id=0x1, master_id=0x2)", (1, 2, DEFAULT_LIMITS, 0, 999_000_000)),
        ((1, 2, None, 2**64 - 1), {}, "Damiao(motor_id=0x1, master_id=0x2)",
         (1, 2, DEFAULT_LIMITS, (2**64 - 1) // 1000, 615_000_000)),
        ((), {"timeout_ms": 7, "master_id": 9, "motor_id": 8}, "Damiao(motor_id=0x8, master_id=0x9)",
         (8, 9, DEFAULT_LIMITS, 0, 7_000_000)),
    ],
)
def test_construction(testing, construct, args, kwargs, printed, expected):
    handle = construct(Damiao, *args, **kwargs)
    assert type(handle) is Damiao
    assert repr(handle) == printed
    assert str(handle) == printed
    assert (handle.motor_id, handle.master_id) == expected[:2]
    assert type(handle.motor_id) is int and type(handle.master_id) is int
    assert stored(testing, handle) == expected


def test_limits_are_copied(testing):
    limits = MitLimits(math.inf, -1.0, 0.0, 2.5, 1e-7)
    handle = Damiao(1, 2, limits)
    copy = testing.damiao_fields(handle)[2]
    assert copy is not limits
    assert same_fields(copy, limits)
    assert testing.damiao_fields(handle)[2] is not copy  # a new object each time
    nan_limits = MitLimits(t_max=math.nan)
    assert same_fields(testing.damiao_fields(Damiao(1, 2, nan_limits))[2], nan_limits)


@pytest.mark.parametrize("value", [3, "handle", None, MitLimits(), Damiao])
def test_damiao_fields_refuses_non_handles(testing, value):
    with pytest.raises(TypeError):
        testing.damiao_fields(value)


@pytest.mark.parametrize(
    ("args", "kwargs", "kind", "message"),
    [
        ((65536, 1), {}, OverflowError, "out of range integral type conversion attempted"),
        ((-1, 1), {}, OverflowError, "out of range integral type conversion attempted"),
        ((70000, 1), {}, OverflowError, "out of range integral type conversion attempted"),
        ((1, 65536), {}, OverflowError, "out of range integral type conversion attempted"),
        ((1.0, 2), {}, TypeError, "argument 'motor_id': 'float' object cannot be interpreted as an integer"),
        ((1, "2"), {}, TypeError, "argument 'master_id': 'str' object cannot be interpreted as an integer"),
        ((1, 2), {"timeout_ms": None}, TypeError, "argument 'timeout_ms': 'NoneType' object cannot be interpreted as an integer"),
        ((1, 2), {"limits": (12.5, 30.0, 500.0, 5.0, 10.0)}, TypeError,
         "argument 'limits': 'tuple' object cannot be converted to 'MitLimits'"),
        ((1, 2), {"limits": MitSetpoint()}, TypeError, "argument 'limits': 'MitSetpoint' object cannot be converted to 'MitLimits'"),
        # parameters are converted in order: limits is reported before timeout_ms
        ((1, 2), {"timeout_ms": -1, "limits": 5}, TypeError, "argument 'limits': 'int' object cannot be converted to 'MitLimits'"),
        ((1,), {}, TypeError, "Damiao.__new__() missing 1 required positional argument: 'master_id'"),
        ((), {}, TypeError, "Damiao.__new__() missing 2 required positional arguments: 'motor_id' and 'master_id'"),
        ((), {"master_id": 2}, TypeError, "Damiao.__new__() missing 1 required positional argument: 'motor_id'"),
    ],
)
def test_errors(construct, args, kwargs, kind, message):
    error = raised(lambda: construct(Damiao, *args, **kwargs))
    assert type(error) is kind
    assert str(error) == message


@pytest.mark.parametrize("timeout", [-1, 2**64, -(2**64)])
def test_timeout_out_of_range(construct, timeout):
    error = raised(lambda: construct(Damiao, 1, 2, timeout_ms=timeout))
    assert type(error) is OverflowError
    assert "timeout_ms" not in str(error)


def test_hidden_fields_and_read_only():
    handle = Damiao(1, 2, MitLimits(), 5)
    for name in ("limits", "timeout_ms", "timeout"):
        with pytest.raises(AttributeError):
            getattr(handle, name)
    with pytest.raises(AttributeError):
        handle.motor_id = 3
    assert handle.motor_id == 1
    assert repr(handle) == "Damiao(motor_id=0x1, master_id=0x2)"


def test_identity_semantics():
    a, b = Damiao(1, 2), Damiao(1, 2)
    assert a != b and a == a
    assert hash(a) == object.__hash__(a)
