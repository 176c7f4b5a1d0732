"""Every callable on every call path against the reference model: binding, conversions, errors (type,
text, cause), values read back and printed."""

import decimal
import fractions
import math
import warnings

import pytest
from hypothesis import event, given, settings
from hypothesis import strategies as st

import model as m
from velquist import ControlSetpoint, Damiao, MitLimits, MitSetpoint, mit_setpoint


@pytest.mark.parametrize(("which", "args", "kwargs", "kind", "text"), m.LITERAL_ERRORS)
def test_model_gives_the_literal_error_texts(which, args, kwargs, kind, text):
    # the module's own errors for these calls, on every path: the cases of test_reliability
    assert m.same_error(m.reference(which, args, kwargs)[1], kind(text))


UserError, SubFloat, SubInt = map(type, ["UserError", "SubFloat", "SubInt"], [(Exception,), (float,), (int,)], [{}] * 3)
KeyName = type("KeyName", (str,), {})  # a keyword name that is a str subclass: matched by its text


def outcome(value):  # a dunder method returning, or raising, `value`
    return lambda self: (_ for _ in ()).throw(value) if isinstance(value, BaseException) else value


RAISED = [UserError("u"), TypeError("t"), TypeError("caused"), ValueError("v"), OverflowError("o"), KeyboardInterrupt()]
RAISED[2].__cause__ = KeyError("the cause")
odd = [st.sampled_from([1.5, -0.0, math.nan, 2**64, 65536, -1, 10**400, True, None, "1", *RAISED]), st.floats()]
odd += [st.integers(), st.builds(SubFloat, st.floats()), st.builds(SubInt, st.integers(-3, 70000))]
dunder_outcomes = st.one_of(*odd)


@st.composite
def dunder_objects(draw):
    """Plain objects or int/float subclasses whose __float__ and/or __index__ return or raise anything."""
    base = draw(st.sampled_from([object, int, float]))
    names = draw(st.sampled_from([("__float__",), ("__index__",), ("__float__", "__index__")]))
    cls = type("Odd", (base,), {name: outcome(draw(dunder_outcomes)) for name in names})
    return cls() if base is object else cls(draw(st.integers(0, 300)))


FLT_MAX = 3.4028234663852886e38
EDGES = [-0.0, math.nan, math.inf, 5e-324, FLT_MAX, float.fromhex("0x1.ffffffp127"), 1.0000000596046448]
EDGES += [float.fromhex("0x1.fffffefffffffp127"), 2**63, -(2**63), 2**64 - 1, 2**64, 2**1024, 255, 256]
kinds = [st.floats(), st.floats(width=32), st.integers(), st.integers(-5, 70000), st.booleans(), st.sampled_from(EDGES)]
kinds += [st.builds(SubFloat, st.floats()), st.builds(SubInt, st.integers()), st.fractions(max_denominator=1000)]
numbers = st.one_of(*kinds, st.decimals(allow_nan=True, places=3))
OTHERS = [decimal.Decimal("sNaN"), fractions.Fraction(10**400, 3), [], (), object(), MitLimits, ...]
kinds = [numbers, dunder_objects(), st.none(), st.text(max_size=3), st.binary(max_size=2)]
kinds += [st.complex_numbers(max_magnitude=9), st.sampled_from(OTHERS), st.builds(MitLimits)]
kinds += [st.builds(MitSetpoint, st.floats()), st.builds(Damiao, st.integers(0, 9), st.integers(0, 9))]
anything = st.one_of(*kinds, st.builds(ControlSetpoint.vel, st.floats()))
ids = [st.integers(0, 255), st.integers(0, 255), st.integers(0, 65535), st.builds(SubInt, st.integers(0, 300))]
ids = st.one_of(*ids, st.booleans())
VALID = dict.fromkeys(["motor_id", "master_id", "error", "t_mos", "t_rotor"], ids)
VALID |= {"timeout_ms": st.integers(0, 2**64 - 1), "limits": st.one_of(st.none(), st.builds(MitLimits, st.floats()))}
VALID["setpoint"] = st.builds(mit_setpoint, st.floats(), kd=st.floats(width=32))


@st.composite
def arguments(draw, c):
    """Mostly a valid binding (so conversions and results are reached), with
    values mostly valid; sometimes surplus, unknown, odd or repeated names."""
    names, wild = c.names, draw(st.integers(0, 4)) == 0
    if wild:
        args = draw(st.lists(anything, max_size=len(names) + 1))
        keys = draw(st.lists(st.sampled_from([*names, "bogus", "\udc80", "p_max\x00"]), unique=True, max_size=3))
    else:
        count = draw(st.integers(0, len(names)))
        args = [draw(VALID.get(n, numbers) if draw(st.integers(0, 5)) else anything) for n in names[:count]]
        kept = [n for i, n in enumerate(names) if i >= count and draw(st.integers(0, 9)) < (9 if i < c.required else 5)]
        keys = draw(st.permutations(kept))
    keys = [KeyName(k) if draw(st.integers(0, 5)) == 0 else k for k in keys]
    return args, {k: draw(VALID.get(k, numbers) if not wild and draw(st.integers(0, 5)) else anything) for k in keys}


@settings(max_examples=m.scaled(1000))
@given(which=st.sampled_from(list(m.CALLABLES)), data=st.data())
def test_calls_match_the_model(which, data):
    path = data.draw(st.integers(0, len(m.CALLABLES[which].paths) - 1))
    args, kwargs = data.draw(arguments(m.CALLABLES[which]))
    event(f"{which} {m.reference(which, args, kwargs)[0]}")
    with warnings.catch_warnings():
        # a dunder returning a float subclass warns; as an error the warning
        # is one more exception that must pass through unchanged
        warnings.simplefilter("error")
        error, want = m.call_checked(which, path, args, kwargs)
    assert want not in RAISED or error is want  # what user code raised is passed on itself, not a copy


Index = type("Index", (), {"__index__": lambda self: 1500})  # not an int, but one through __index__
Unnamed = type("Unnamed", (), {"__qualname__": "\udc80"})  # a type name not encodable as UTF-8


def test_odd_objects_literally(testing):
    assert testing.damiao_fields(Damiao(1, 2, timeout_ms=Index()))[3:] == (1, 500_000_000)
    refused = "argument 'limits': '<failed to extract type name>' object cannot be converted to 'MitLimits'"
    assert str(pytest.raises(TypeError, Damiao, 1, 2, Unnamed()).value) == refused
