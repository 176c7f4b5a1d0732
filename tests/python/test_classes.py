"""What Python sees of the five type objects and of their instances as
objects: names, docs, signatures, finality, immutability, identity."""

import copy
import ctypes
import gc
import inspect
import pickle
import sys
import weakref

import pytest

import velquist
from velquist import ControlSetpoint, Damiao, MitLimits, MitSetpoint, MotorState

PRESETS = ["dm3507", "dm4310", "dm4310p", "dm4340", "dm4340p", "dm6006", "dm6248p", "dm8006", "dm8009",
           "dm10010", "dm10010l", "dmg6215", "dmh3510", "dmh6220", "dmjh11"]
FACTORIES = ["mit", "pos_vel", "vel", "force_pos"]

# class, text signature, __doc__, attributes in order, static methods in order
CLASSES = [
    (MitLimits, "(p_max=12.5, v_max=30.0, kp_max=500.0, kd_max=5.0, t_max=10.0)", "",
     ["p_max", "v_max", "kp_max", "kd_max", "t_max"], PRESETS),
    (MitSetpoint, "(q=0.0, dq=0.0, kp=0.0, kd=0.0, tau=0.0)", "", ["q", "dq", "kp", "kd", "tau"], []),
    (ControlSetpoint, None, None, ["mode"], FACTORIES),
    (MotorState, None, None, ["motor_id", "error", "position", "velocity", "torque", "t_mos", "t_rotor"], []),
    (Damiao, "(motor_id, master_id, limits=None, timeout_ms=20)", "", ["motor_id", "master_id"], []),
]
ALL_CLASSES = [c[0] for c in CLASSES]
by_class = pytest.mark.parametrize(("cls", "signature", "doc", "attributes", "statics"), CLASSES,
                                   ids=[c[0].__name__ for c in CLASSES])

Py_TPFLAGS_BASETYPE = 1 << 10
Py_TPFLAGS_HAVE_GC = 1 << 14


def samples():
    """One fresh instance of each class, made without the testing hooks."""
    return [MitLimits(), MitSetpoint(), ControlSetpoint.vel(1.0), Damiao(1, 2)]


@pytest.fixture
def all_samples(testing):
    return samples() + [testing.motor_state(1, 0, 1.5, -0.25, 0.1, 30, 28)]


@by_class
def test_names(cls, signature, doc, attributes, statics):
    name = cls.__name__
    assert getattr(velquist, name) is cls
    assert cls.__qualname__ == name
    assert cls.__module__ == "velquist"
    assert repr(cls) == f"<class 'velquist.{name}'>"
    assert type(cls) is type


@by_class
def test_doc_and_signature(cls, signature, doc, attributes, statics):
    assert cls.__text_signature__ == signature
    assert cls.__doc__ == doc


@pytest.mark.parametrize(
    ("cls", "text"),
    [
        (MitLimits, "(p_max=12.5, v_max=30.0, kp_max=500.0, kd_max=5.0, t_max=10.0)"),
        (MitSetpoint, "(q=0.0, dq=0.0, kp=0.0, kd=0.0, tau=0.0)"),
        (Damiao, "(motor_id, master_id, limits=None, timeout_ms=20)"),
    ],
)
def test_inspect_reports_constructor_signature(cls, text):
    assert str(inspect.signature(cls)) == text


@by_class
def test_class_contents(cls, signature, doc, attributes, statics):
    contents = list(vars(cls))
    assert set(contents) == {"__new__", "__repr__", "__doc__", "__module__", *attributes, *statics}
    assert [n for n in contents if n in attributes] == attributes
    assert [n for n in contents if n in statics] == statics
    for name in attributes:
        descriptor = vars(cls)[name]
        assert inspect.isgetsetdescriptor(descriptor)
        expected_doc = "Numeric control mode (matches the value written to register 10)." if name == "mode" else ""
        assert descriptor.__doc__ == expected_doc
    for name in statics:
        assert type(vars(cls)[name]) is staticmethod


@pytest.mark.parametrize("name", PRESETS)
def test_preset_method(name):
    method = getattr(MitLimits, name)
    assert method.__name__ == name
    assert method.__qualname__ == f"MitLimits.{name}"
    assert method.__text_signature__ == "()"
    assert method.__doc__ is None
    assert str(inspect.signature(method)) == "()"


@pytest.mark.parametrize(
    ("name", "signature", "doc"),
    [
        ("mit", "(setpoint)", "MIT impedance setpoint (control mode 1)."),
        ("pos_vel", "(position, velocity)", "POS_VEL setpoint (control mode 2)."),
        ("vel", "(velocity)", "VEL setpoint (control mode 3)."),
        ("force_pos", "(position, velocity_limit, torque_ratio)", "FORCE_POS setpoint (control mode 4)."),
    ],
)
def test_factory_method(name, signature, doc):
    method = getattr(ControlSetpoint, name)
    assert method.__name__ == name
    assert method.__qualname__ == f"ControlSetpoint.{name}"
    assert method.__text_signature__ == signature
    assert method.__doc__ == doc
    assert str(inspect.signature(method)) == signature


@by_class
def test_type_layout(cls, signature, doc, attributes, statics):
    assert cls.__bases__ == (object,)
    assert cls.__mro__ == (cls, object)
    assert not cls.__flags__ & Py_TPFLAGS_BASETYPE
    assert not cls.__flags__ & Py_TPFLAGS_HAVE_GC
    assert cls.__dictoffset__ == 0
    assert cls.__weakrefoffset__ == 0
    assert cls.__itemsize__ == 0


@pytest.mark.parametrize("cls", ALL_CLASSES, ids=lambda c: c.__name__)
def test_cannot_be_subclassed(cls):
    with pytest.raises(TypeError, match="not an acceptable base type"):
        type("Sub", (cls,), {})
    with pytest.raises(TypeError):
        exec(f"class Sub(velquist.{cls.__name__}): pass", {"velquist": velquist})


@pytest.mark.parametrize("cls", [ControlSetpoint, MotorState], ids=lambda c: c.__name__)
@pytest.mark.parametrize(
    "call",
    [
        lambda c: c(),
        lambda c: c(1, 2, 3),
        lambda c: c(mode=1),
        lambda c: c.__new__(c),
        lambda c: c.__new__(c, 1, x=2),
        lambda c: type.__call__(c),
    ],
)
def test_no_constructor(cls, call):
    with pytest.raises(TypeError) as info:
        call(cls)
    assert str(info.value) == f"No constructor defined for {cls.__name__}"


@pytest.mark.parametrize("cls", ALL_CLASSES, ids=lambda c: c.__name__)
def test_object_new_cannot_bypass_the_constructor(cls):
    # An instance that skipped the class's own new slot would hold no record.
    with pytest.raises(TypeError):
        object.__new__(cls)


def test_instances_are_immutable(all_samples):
    for obj in all_samples:
        cls = type(obj)
        attributes = next(c[3] for c in CLASSES if c[0] is cls)
        before = repr(obj)
        for name in attributes:
            value = getattr(obj, name)
            with pytest.raises(AttributeError):
                setattr(obj, name, value)
            with pytest.raises(AttributeError):
                delattr(obj, name)
        with pytest.raises(AttributeError):
            obj.extra = 1
        with pytest.raises(AttributeError):
            obj.__dict__  # noqa: B018
        assert repr(obj) == before


def test_no_weak_references(all_samples):
    for obj in all_samples:
        with pytest.raises(TypeError):
            weakref.ref(obj)


def test_identity_equality_and_hash(all_samples):
    twins = samples()
    for a, b in zip(samples(), twins, strict=True):
        assert repr(a) == repr(b)
        assert a != b and not (a == b)
        assert a == a
        assert hash(a) == object.__hash__(a)
        with pytest.raises(TypeError):
            a < b  # noqa: B015
    for obj in all_samples:
        assert str(obj) == repr(obj)
        assert not gc.is_tracked(obj)


def test_no_copy_or_pickle_support(all_samples):
    # The default protocol would make a fresh default object and silently
    # lose the values, so refusing is the only sound outcome.
    for obj in all_samples:
        for operation in (copy.copy, copy.deepcopy, pickle.dumps):
            with pytest.raises(TypeError):
                operation(obj)


def test_statics_are_callable_on_instances():
    assert repr(MitLimits(1).dm4340()) == repr(MitLimits.dm4340())
    assert repr(ControlSetpoint.vel(1).pos_vel(1, 2)) == "ControlSetpoint.pos_vel(position=1, velocity=2)"
    assert type(MitLimits.dm4310()) is MitLimits
    assert type(ControlSetpoint.vel(1.0)) is ControlSetpoint


def test_instances_hold_no_class_references(testing):
    def counts():
        return [sys.getrefcount(c) for c in ALL_CLASSES]

    before = counts()
    for _ in range(1000):
        MitLimits(1.0)
        MitLimits.dmh3510()
        MitSetpoint()
        velquist.mit_setpoint(q=1)
        ControlSetpoint.mit(MitSetpoint())
        ControlSetpoint.force_pos(1, 2, 3)
        testing.motor_state(1, 2, 3.0, 4.0, 5.0, 6, 7)
        Damiao(1, 2, MitLimits())
        testing.damiao_fields(Damiao(3, 4))
        repr(Damiao(1, 2))
    kept = [MitLimits() for _ in range(10)]
    assert counts() == [before[0] + 10, *before[1:]]
    del kept
    assert counts() == before


# --- the receiver check of the slots, reached by hand -----------------------------------

Py_tp_repr = 66
Py_tp_getset = 73


class GetSetDef(ctypes.Structure):
    _fields_ = [("name", ctypes.c_char_p), ("get", ctypes.c_void_p), ("set", ctypes.c_void_p),
                ("doc", ctypes.c_char_p), ("closure", ctypes.c_void_p)]


def type_slot(cls, slot):
    get_slot = ctypes.pythonapi.PyType_GetSlot
    get_slot.restype = ctypes.c_void_p
    get_slot.argtypes = [ctypes.py_object, ctypes.c_int]
    return get_slot(cls, slot)


def native_repr(cls):
    return ctypes.PYFUNCTYPE(ctypes.py_object, ctypes.py_object)(type_slot(cls, Py_tp_repr))


def native_getters(cls):
    table = ctypes.cast(type_slot(cls, Py_tp_getset), ctypes.POINTER(GetSetDef))
    getter_type = ctypes.PYFUNCTYPE(ctypes.py_object, ctypes.py_object, ctypes.c_void_p)
    getters = {}
    i = 0
    while table[i].name is not None:
        assert table[i].set is None  # read-only attributes have no setter
        getters[table[i].name.decode()] = getter_type(table[i].get)
        i += 1
    return getters


WRONG_RECEIVERS = [(3, "int"), (None, "NoneType"), (MitSetpoint(), "MitSetpoint"), (MitLimits(), "MitLimits"),
                   (Damiao(1, 2), "Damiao")]


@pytest.mark.parametrize("cls", ALL_CLASSES, ids=lambda c: c.__name__)
def test_slots_check_the_receiver(cls, all_samples):
    own = next(o for o in all_samples if type(o) is cls)
    assert native_repr(cls)(own) == repr(own)
    getters = native_getters(cls)
    attributes = next(c[3] for c in CLASSES if c[0] is cls)
    assert list(getters) == attributes
    for name, getter in getters.items():
        assert getter(own, None) == getattr(own, name)
    for wrong, type_name in WRONG_RECEIVERS:
        if type(wrong) is cls:
            continue
        message = f"'{type_name}' object cannot be converted to '{cls.__name__}'"
        with pytest.raises(TypeError) as info:
            native_repr(cls)(wrong)
        assert str(info.value) == message
        for getter in getters.values():
            with pytest.raises(TypeError) as info:
                getter(wrong, None)
            assert str(info.value) == message
