"""Fuzzing: every callable with arbitrary Python objects, positional and by
keyword, on every call path. Each outcome is compared with a reference
model of binding and conversion (reliability_calls.reference): the same
value, or the same exception with the same message and cause; never a
PanicException or SystemError. Slots reached by hand with a receiver of
the wrong class, through the interpreter's descriptors and directly
through the slot functions, fail with TypeError only."""

import ctypes
import decimal
import fractions
import math
import struct
import sys
import warnings

from hypothesis import HealthCheck, event, given, settings
from hypothesis import strategies as st

import reliability_calls as rc
import velquist
from helpers import MyTypeError, SubFloat, SubInt, UserBaseError, UserError
from velquist import ControlSetpoint, Damiao, MitLimits, MitSetpoint, MotorState, mit_setpoint

FUZZ = settings(max_examples=300, deadline=None, database=None,
                suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large])
FLT_MAX = struct.unpack("<f", struct.pack("<I", 0x7F7FFFFF))[0]
HALFWAY = float.fromhex("0x1.ffffffp127")  # between FLT_MAX and 2**128: rounds to the infinity

# --- arbitrary objects ------------------------------------------------------------------


def raising(error):
    def method(self):
        raise error
    return method


def returning(value):
    return lambda self: value


CAUSED = TypeError("caused")
CAUSED.__cause__ = KeyError("the cause")

dunder_outcomes = st.one_of(
    st.sampled_from([1.5, -0.0, math.nan, math.inf, 2**64, -(2**63) - 1, 65535, 65536, -1, 10**400, True]),
    st.floats(), st.integers(), st.none(), st.text(max_size=2),
    st.builds(SubFloat, st.floats()), st.builds(SubInt, st.integers(-3, 70000)),
    st.sampled_from([UserError("f"), UserBaseError("e"), MyTypeError("m"), TypeError("t"), CAUSED, ValueError("v"),
                     OverflowError("o"), MemoryError("pretend"), ZeroDivisionError("z")]),
)


@st.composite
def dunder_objects(draw):
    """Objects (plain, or int/float subclasses) whose __float__ and/or
    __index__ return or raise anything."""
    base = draw(st.sampled_from([object, int, float]))
    namespace = {}
    for name in draw(st.sampled_from([("__float__",), ("__index__",), ("__float__", "__index__")])):
        outcome = draw(dunder_outcomes)
        namespace[name] = raising(outcome) if isinstance(outcome, BaseException) else returning(outcome)
    cls = type(f"Odd{base.__name__.title()}", (base,), namespace)
    if base is object:
        return cls()
    return cls(draw(st.integers(-3, 70000)) if base is int else draw(st.floats()))


numbers = st.one_of(
    st.floats(), st.floats(width=32), st.integers(), st.integers(-5, 70000), st.booleans(),
    st.sampled_from([0.0, -0.0, math.nan, -math.nan, math.inf, -math.inf, 5e-324, FLT_MAX, -FLT_MAX, HALFWAY,
                     math.nextafter(HALFWAY, 0), 1e39, 2**63, -(2**63), 2**63 - 1, 2**64 - 1, 2**64, 2**1024,
                     -(2**1024), 65535, 65536, -1]),
    st.builds(SubFloat, st.floats()), st.builds(SubInt, st.integers()),
)
others = st.one_of(
    st.none(), st.text(max_size=3), st.binary(max_size=3), st.complex_numbers(max_magnitude=1e10),
    st.fractions(max_denominator=1000), st.decimals(allow_nan=True, places=3),
    st.sampled_from([decimal.Decimal("sNaN"), fractions.Fraction(10**400, 3), [], (), {}, object(), MitLimits,
                     int, float, velquist, ..., NotImplemented]),
)
module_objects = st.one_of(
    st.builds(MitLimits), st.builds(MitSetpoint, st.floats()), st.builds(Damiao, st.integers(0, 9), st.integers(0, 9)),
    st.builds(ControlSetpoint.vel, st.floats()), st.builds(ControlSetpoint.mit, st.builds(MitSetpoint)),
)
anything = st.one_of(numbers, dunder_objects(), others, module_objects)
# arguments of calls that bind: mostly numbers, so that whole calls succeed
# often enough, and every later parameter is reached
argument = st.one_of(numbers, numbers, numbers, numbers, anything)
small_ints = st.one_of(st.integers(0, 65535), st.integers(0, 65535), st.builds(SubInt, st.integers(0, 65535)),
                       st.booleans(), anything)
BIASED = {
    "motor_id": small_ints, "master_id": small_ints, "timeout_ms": small_ints,
    "limits": st.one_of(st.none(), st.builds(MitLimits, st.floats()), anything),
    "setpoint": st.one_of(st.builds(MitSetpoint, st.floats()), st.builds(mit_setpoint), anything),
}


class KeyName(str):
    """A keyword name that is a str subclass (matched by its text)."""


@st.composite
def arguments(draw, names):
    """Positional and keyword arguments. Mostly a valid binding, so that the
    conversions are reached; sometimes too many, unknown, odd or twice-given
    names."""
    wild = draw(st.integers(0, 4)) == 0
    if wild:
        positional = draw(st.lists(anything, max_size=len(names) + 2))
        pool = [*names, "bogus", "é", "\ud800", "p_max\x00"]
        keys = draw(st.lists(st.sampled_from(pool), unique=True, max_size=len(names) + 1))
    else:
        count = draw(st.integers(0, len(names)))
        positional = [draw(BIASED.get(name, argument)) for name in names[:count]]
        keys = draw(st.lists(st.sampled_from(names[count:]), unique=True)) if count < len(names) else []
    keys = [KeyName(k) if draw(st.integers(0, 5)) == 0 else k for k in keys]
    return positional, {k: draw(anything if wild else BIASED.get(k, argument)) for k in keys}


# --- the callables and their call paths --------------------------------------------------------

PATHS = {
    "MitLimits": [MitLimits, lambda *a, **k: MitLimits.__new__(MitLimits, *a, **k),
                  lambda *a, **k: type.__call__(MitLimits, *a, **k)],
    "MitSetpoint": [MitSetpoint, lambda *a, **k: MitSetpoint.__new__(MitSetpoint, *a, **k),
                    lambda *a, **k: type.__call__(MitSetpoint, *a, **k)],
    "Damiao": [Damiao, lambda *a, **k: Damiao.__new__(Damiao, *a, **k),
               lambda *a, **k: type.__call__(Damiao, *a, **k)],
    "mit_setpoint": [mit_setpoint],
    "mit": [ControlSetpoint.mit, ControlSetpoint.vel(0).mit],  # on the class and on an instance
    "pos_vel": [ControlSetpoint.pos_vel],
    "vel": [ControlSetpoint.vel],
    "force_pos": [ControlSetpoint.force_pos],
}
TARGETS = [(which, i) for which, paths in PATHS.items() for i in range(len(paths))]


def outcome_of(call):
    try:
        return call(), None
    except BaseException as error:  # noqa: BLE001 - anything may come out; that is the point
        return None, error


@settings(FUZZ, max_examples=1500)
@given(data=st.data(), target=st.sampled_from(TARGETS))
def test_calls_match_the_reference_model(data, target):
    which, path = target
    call = PATHS[which][path]
    positional, kwargs = data.draw(arguments(rc.SIGNATURES[which].names))
    with warnings.catch_warnings():
        # dunders returning subclasses warn; as errors the warning is one
        # more exception that must pass through unchanged
        warnings.simplefilter("error")
        kind, want = rc.reference(which, positional, kwargs)
        result, error = outcome_of(lambda: call(*positional, **kwargs))
    event(f"{which}: {type(error).__name__ if error is not None else 'built'}")
    if error is not None:
        assert not rc.is_panic(error) and type(error) is not SystemError, repr(error)
    if kind == "raises":
        assert error is not None, f"expected {want!r}, got {result!r}"
        assert rc.same_error(error, want), f"got {type(error).__name__}: {error} / want {type(want).__name__}: {want}"
    else:
        assert error is None, f"expected success, got {type(error).__name__}: {error}"
        rc.check_result(which, result, want)


@FUZZ
@given(args=st.lists(anything, max_size=3), kwargs=st.dictionaries(st.sampled_from(["a", "motor_id"]), anything,
                                                                      max_size=2))
def test_classes_without_constructor_refuse_everything(args, kwargs):
    for cls in (ControlSetpoint, MotorState):
        for call in (cls, lambda *a, c=cls, **k: c.__new__(c, *a, **k),
                     lambda *a, c=cls, **k: type.__call__(c, *a, **k)):
            _, error = outcome_of(lambda: call(*args, **kwargs))
            assert type(error) is TypeError and str(error) == f"No constructor defined for {cls.__name__}"


# --- slots reached by hand --------------------------------------------------------------------

GETTERS = {
    MitLimits: rc.LIMIT_NAMES, MitSetpoint: rc.SETPOINT_NAMES, ControlSetpoint: ("mode",),
    MotorState: rc.MOTOR_STATE_NAMES, Damiao: ("motor_id", "master_id"),
}
Py_tp_repr = 66


def _direct_slots():
    """The native getter and repr functions themselves, called through
    ctypes so that only the module's own receiver check stands between a
    wrong object and the record. Empty where the layout is not known."""
    if sys.implementation.name != "cpython" or sys.version_info[:2] != (3, 13):
        return {}
    getter_type = ctypes.PYFUNCTYPE(ctypes.py_object, ctypes.py_object, ctypes.c_void_p)
    repr_type = ctypes.PYFUNCTYPE(ctypes.py_object, ctypes.py_object)
    get_slot = ctypes.pythonapi.PyType_GetSlot
    get_slot.restype = ctypes.c_void_p
    get_slot.argtypes = [ctypes.py_object, ctypes.c_int]
    slots = {}
    for cls, names in GETTERS.items():
        slots[(cls, "__repr__")] = repr_type(get_slot(cls, Py_tp_repr))
        for name in names:
            descriptor = cls.__dict__[name]
            # PyGetSetDescrObject: PyDescr_COMMON (header, type, name, qualname), then the PyGetSetDef
            definition = ctypes.c_void_p.from_address(id(descriptor) + 5 * ctypes.sizeof(ctypes.c_void_p)).value
            def_name = ctypes.c_char_p.from_address(definition).value
            if def_name != name.encode():
                return {}
            get = ctypes.c_void_p.from_address(definition + ctypes.sizeof(ctypes.c_void_p)).value
            slots[(cls, name)] = getter_type(get)
    return slots


DIRECT = _direct_slots()


def motor_state():
    hooks = getattr(velquist, "_testing", None)
    return None if hooks is None else hooks.motor_state(7, 8, 0.5, -1.0, 2.0, 30, 31)


receivers = st.one_of(
    anything,
    st.builds(lambda: motor_state() or MitLimits()),
    st.sampled_from([MitLimits, MotorState, type, None, 0]),
)
slot_names = st.sampled_from([(cls, name) for cls, names in GETTERS.items() for name in (*names, "__repr__")])


@FUZZ
@given(slot=slot_names, receiver=receivers)
def test_slots_by_hand_refuse_receivers_of_the_wrong_class(slot, receiver):
    cls, name = slot
    right = type(receiver) is cls
    expected = (repr(receiver) if name == "__repr__" else getattr(receiver, name)) if right else None
    if name == "__repr__":
        ways = [lambda: cls.__repr__(receiver), lambda: cls.__dict__["__repr__"](receiver)]
    else:
        ways = [lambda: cls.__dict__[name].__get__(receiver), lambda: cls.__dict__[name].__get__(receiver, cls)]
    for way in ways:
        result, error = outcome_of(way)
        if receiver is None and name != "__repr__":
            # __get__(None) is the interpreter's own refusal; __get__(None, cls) the descriptor
            assert type(error) is TypeError or result is cls.__dict__[name]
        elif right:
            assert error is None and (result == expected or result != result)
        else:
            assert type(error) is TypeError, repr(error)
    if (cls, name) in DIRECT:
        direct = DIRECT[(cls, name)]
        result, error = outcome_of(lambda: direct(receiver) if name == "__repr__" else direct(receiver, None))
        if right:
            assert error is None and (result == expected or result != result)
        else:
            assert type(error) is TypeError
            assert str(error) == f"'{type(receiver).__qualname__}' object cannot be converted to '{cls.__name__}'"


@FUZZ
@given(cls=st.sampled_from([MitLimits, MitSetpoint, Damiao, ControlSetpoint, MotorState]),
       subtype=st.one_of(st.sampled_from([MitLimits, MitSetpoint, Damiao, ControlSetpoint, MotorState, int, float,
                                          object, type, bool, SubInt]), anything))
def test_new_by_hand_with_any_first_argument(cls, subtype):
    args = (1, 2) if cls is Damiao else ()
    result, error = outcome_of(lambda: cls.__new__(subtype, *args))
    if subtype is cls and cls in (ControlSetpoint, MotorState):
        assert type(error) is TypeError and str(error) == f"No constructor defined for {cls.__name__}"
    elif subtype is cls:
        assert error is None and type(result) is cls
    else:
        assert type(error) is TypeError, repr(error)
    # object.__new__ is refused for every class: none of them has object's constructor
    _, error = outcome_of(lambda: object.__new__(cls))
    assert type(error) is TypeError


def test_copy_and_pickle_are_refused_not_faked():
    import copy
    import pickle

    values = [MitLimits(), MitSetpoint(), ControlSetpoint.vel(1), Damiao(1, 2)]
    if motor_state() is not None:
        values.append(motor_state())
    for value in values:
        for attempt in (lambda: copy.copy(value), lambda: copy.deepcopy(value), lambda: pickle.dumps(value),
                        lambda: pickle.loads(pickle.dumps(value, 0))):
            _, error = outcome_of(attempt)
            assert type(error) is TypeError, (value, error)
