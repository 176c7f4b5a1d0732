"""MitLimits: defaults, 32-bit read-back, printed form and the presets."""

import math
import struct

import pytest

from helpers import CONSTRUCTOR_PATHS, f32, fields, same_fields, same_float, shortest_text
from velquist import MitLimits

NAMES = ("p_max", "v_max", "kp_max", "kd_max", "t_max")

PRESETS = [
    ("dm3507", 12.566, 50.0, 500.0, 5.0, 5.0),
    ("dm4310", 12.5, 30.0, 500.0, 5.0, 10.0),
    ("dm4310p", 12.5, 50.0, 500.0, 5.0, 10.0),
    ("dm4340", 12.5, 10.0, 500.0, 5.0, 28.0),
    ("dm4340p", 12.5, 10.0, 500.0, 5.0, 28.0),
    ("dm6006", 12.5, 45.0, 500.0, 5.0, 20.0),
    ("dm6248p", 12.566, 20.0, 500.0, 5.0, 120.0),
    ("dm8006", 12.5, 45.0, 500.0, 5.0, 40.0),
    ("dm8009", 12.5, 45.0, 500.0, 5.0, 54.0),
    ("dm10010", 12.5, 20.0, 500.0, 5.0, 200.0),
    ("dm10010l", 12.5, 25.0, 500.0, 5.0, 200.0),
    ("dmg6215", 12.5, 45.0, 500.0, 5.0, 10.0),
    ("dmh3510", 12.5, 280.0, 500.0, 5.0, 1.0),
    ("dmh6220", 12.5, 45.0, 500.0, 5.0, 10.0),
    ("dmjh11", 12.5, 10.0, 500.0, 5.0, 12.0),
]


def text(values) -> str:
    return "MitLimits(" + ", ".join(f"{n}={shortest_text(f32(v))}" for n, v in zip(NAMES, values, strict=True)) + ")"


@pytest.fixture(params=list(CONSTRUCTOR_PATHS))
def construct(request):
    return CONSTRUCTOR_PATHS[request.param]


def test_defaults(construct):
    limits = construct(MitLimits)
    assert fields(limits) == (12.5, 30.0, 500.0, 5.0, 10.0)
    assert all(type(v) is float for v in fields(limits))
    assert repr(limits) == "MitLimits(p_max=12.5, v_max=30, kp_max=500, kd_max=5, t_max=10)"
    assert same_fields(limits, MitLimits.dm4310())


@pytest.mark.parametrize(
    ("args", "kwargs", "expected", "printed"),
    [
        ((1, 2), {}, (1.0, 2.0, 500.0, 5.0, 10.0), "MitLimits(p_max=1, v_max=2, kp_max=500, kd_max=5, t_max=10)"),
        ((), {"t_max": 3}, (12.5, 30.0, 500.0, 5.0, 3.0), "MitLimits(p_max=12.5, v_max=30, kp_max=500, kd_max=5, t_max=3)"),
        ((True, False), {}, (1.0, 0.0, 500.0, 5.0, 10.0), "MitLimits(p_max=1, v_max=0, kp_max=500, kd_max=5, t_max=10)"),
        ((), {"p_max": -1}, (-1.0, 30.0, 500.0, 5.0, 10.0), "MitLimits(p_max=-1, v_max=30, kp_max=500, kd_max=5, t_max=10)"),
        ((), {"p_max": 1e39}, (math.inf, 30.0, 500.0, 5.0, 10.0),
         "MitLimits(p_max=inf, v_max=30, kp_max=500, kd_max=5, t_max=10)"),
        ((), {"p_max": -1e39}, (-math.inf, 30.0, 500.0, 5.0, 10.0),
         "MitLimits(p_max=-inf, v_max=30, kp_max=500, kd_max=5, t_max=10)"),
        ((), {"p_max": math.nan}, (math.nan, 30.0, 500.0, 5.0, 10.0),
         "MitLimits(p_max=NaN, v_max=30, kp_max=500, kd_max=5, t_max=10)"),
        ((), {"p_max": -math.nan}, (math.nan, 30.0, 500.0, 5.0, 10.0),
         "MitLimits(p_max=NaN, v_max=30, kp_max=500, kd_max=5, t_max=10)"),
        ((), {"p_max": -0.0}, (-0.0, 30.0, 500.0, 5.0, 10.0),
         "MitLimits(p_max=-0, v_max=30, kp_max=500, kd_max=5, t_max=10)"),
        ((), {"p_max": 0.1}, (0.10000000149011612, 30.0, 500.0, 5.0, 10.0),
         "MitLimits(p_max=0.1, v_max=30, kp_max=500, kd_max=5, t_max=10)"),
        ((12.566,), {}, (12.565999984741211, 30.0, 500.0, 5.0, 10.0),
         "MitLimits(p_max=12.566, v_max=30, kp_max=500, kd_max=5, t_max=10)"),
        ((1e-7, 1e10, 1e-45, 0.0, 3.4028234663852886e38), {},
         (f32(1e-7), 1e10, f32(1e-45), 0.0, 3.4028234663852886e38),
         "MitLimits(p_max=0.0000001, v_max=10000000000, kp_max=0.000000000000000000000000000000000000000000001,"
         " kd_max=0, t_max=340282350000000000000000000000000000000)"),
        ((1, 2, 3, 4, 5), {}, (1.0, 2.0, 3.0, 4.0, 5.0), "MitLimits(p_max=1, v_max=2, kp_max=3, kd_max=4, t_max=5)"),
    ],
)
def test_values_and_printed_form(construct, args, kwargs, expected, printed):
    limits = construct(MitLimits, *args, **kwargs)
    for name, got, want in zip(NAMES, fields(limits), expected, strict=True):
        assert same_float(got, want), name
    assert repr(limits) == printed


@pytest.mark.parametrize(
    ("value", "printed"),
    [
        # shortest digits that read back; on an exact tie, the even last digit
        (1468726.25, "1468726.2"),
        (3817322.75, "3817322.8"),
        (260673.125, "260673.12"),
        (4568.84375, "4568.8438"),
        (16777216.0, "16777216"),
        (3.14159265, "3.1415927"),
        (1e6, "1000000"),
        (123456789.0, "123456790"),
        (0.3, "0.3"),
        (2.5e-5, "0.000025"),
        (1.17549435e-38, "0.000000000000000000000000000000000000011754944"),
    ],
)
def test_shortest_text(value, printed):
    assert repr(MitLimits(kd_max=value)) == f"MitLimits(p_max=12.5, v_max=30, kp_max=500, kd_max={printed}, t_max=10)"
    assert shortest_text(f32(value)) == printed  # the reference agrees


@pytest.mark.parametrize(("name", "p_max", "v_max", "kp_max", "kd_max", "t_max"), PRESETS, ids=[p[0] for p in PRESETS])
def test_preset(name, p_max, v_max, kp_max, kd_max, t_max):
    preset = getattr(MitLimits, name)
    limits = preset()
    assert type(limits) is MitLimits
    assert fields(limits) == tuple(f32(v) for v in (p_max, v_max, kp_max, kd_max, t_max))
    assert repr(limits) == text((p_max, v_max, kp_max, kd_max, t_max))
    assert preset() is not limits  # nothing cached
    assert same_fields(preset(), limits)
    assert same_fields(getattr(MitLimits(), name)(), limits)


def test_preset_table_examples():
    assert repr(MitLimits.dm3507()) == "MitLimits(p_max=12.566, v_max=50, kp_max=500, kd_max=5, t_max=5)"
    assert MitLimits.dm3507().p_max == 12.565999984741211
    assert struct.pack(">f", MitLimits.dm6248p().p_max) == bytes.fromhex("41490E56")
    assert MitLimits.dmh3510().v_max == 280.0
    for a, b in (("dm4340p", "dm4340"), ("dmh6220", "dmg6215")):
        first, second = getattr(MitLimits, a)(), getattr(MitLimits, b)()
        assert same_fields(first, second)
        assert first is not second and first != second


def test_equal_values_are_distinct_objects():
    a, b = MitLimits(), MitLimits()
    assert a != b
    assert hash(a) != hash(b) or a is b
