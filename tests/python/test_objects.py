"""What Python sees of the module object, the five type objects and their instances."""

import copy
import ctypes
import gc
import importlib
import inspect
import pickle
import subprocess
import sys
import weakref

import pytest

import velquist
from model import LIMITS, PRESETS, SETPOINT, STATE
from velquist import ControlSetpoint, Damiao, MitLimits, MitSetpoint, MotorState

ALL = ["__version__", "MitLimits", "MitSetpoint", "ControlSetpoint", "MotorState", "Damiao", "mit_setpoint"]
FACTORIES = {"mit": ("(setpoint)", "MIT impedance setpoint (control mode 1)."),
             "pos_vel": ("(position, velocity)", "POS_VEL setpoint (control mode 2)."),
             "vel": ("(velocity)", "VEL setpoint (control mode 3)."),
             "force_pos": ("(position, velocity_limit, torque_ratio)", "FORCE_POS setpoint (control mode 4).")}
CLASSES = {  # text signature, attributes in order, static methods in order
    MitLimits: ("(p_max=12.5, v_max=30.0, kp_max=500.0, kd_max=5.0, t_max=10.0)", LIMITS, tuple(PRESETS)),
    MitSetpoint: ("(q=0.0, dq=0.0, kp=0.0, kd=0.0, tau=0.0)", SETPOINT, ()),
    ControlSetpoint: (None, ("mode",), tuple(FACTORIES)), MotorState: (None, STATE, ()),
    Damiao: ("(motor_id, master_id, limits=None, timeout_ms=20)", ("motor_id", "master_id"), ())}


def test_module_object():
    assert velquist.__all__ == ALL and type(velquist.__all__) is list
    assert (velquist.__version__, velquist.__doc__, velquist.__name__) == ("1.1.0", "", "velquist")
    scope = {}
    exec("from velquist import *", scope)
    assert sorted(scope) == sorted([*ALL, "__builtins__"])
    f = velquist.mit_setpoint
    assert (f.__name__, f.__qualname__, f.__module__, f.__self__) == ("mit_setpoint", "mit_setpoint", "velquist", velquist)
    assert (f.__text_signature__, f.__doc__) == (CLASSES[MitSetpoint][0],
                                                 "Build a `MitSetpoint` (handy when keyword args are awkward).")
    saved = sys.modules.pop("velquist")
    try:
        assert importlib.import_module("velquist") is saved and saved.__all__ == ALL  # the body did not run again
    finally:
        sys.modules["velquist"] = saved


@pytest.mark.parametrize("main_first", [True, False])
def test_sub_interpreters_are_refused(main_first):
    pytest.importorskip("_interpreters")
    script = ("import _interpreters\nif %s: import velquist\nfor config in ('isolated', 'legacy', 'legacy'):\n"
              "    i = _interpreters.create(config)\n    failure = _interpreters.exec(i, 'import velquist')\n"
              "    _interpreters.destroy(i)\n    print(failure.type.__name__, failure.msg)\n"
              "import velquist\nprint(repr(velquist.MitLimits.dm4340()))" % main_first)
    proc = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=120)
    refused = "ImportError velquist does not yet support sub-interpreters; it can only be imported in the " \
              "interpreter that first imported it"
    assert proc.stdout.splitlines() == ["ImportError module velquist does not support loading in subinterpreters",
                                        refused, refused, repr(MitLimits.dm4340())], proc.stderr[-2000:]


@pytest.mark.parametrize("cls", CLASSES, ids=lambda c: c.__name__)
def test_type_objects(cls):
    signature, attributes, statics = CLASSES[cls]
    name = cls.__name__
    assert getattr(velquist, name) is cls and type(cls) is type
    assert (cls.__qualname__, cls.__module__, repr(cls)) == (name, "velquist", f"<class 'velquist.{name}'>")
    assert (cls.__text_signature__, cls.__doc__) == (signature, None if signature is None else "")
    assert signature is None or str(inspect.signature(cls)) == signature
    contents = list(vars(cls))
    assert set(contents) == {"__new__", "__repr__", "__doc__", "__module__", *attributes, *statics}
    assert tuple(n for n in contents if n in attributes) == attributes and tuple(
        n for n in contents if n in statics) == statics
    for attr in attributes:
        assert inspect.isgetsetdescriptor(vars(cls)[attr]) and vars(cls)[attr].__doc__ == (
            "Numeric control mode (matches the value written to register 10)." if attr == "mode" else "")
    assert (cls.__bases__, cls.__mro__) == ((object,), (cls, object))
    assert not cls.__flags__ & (1 << 10 | 1 << 14)  # neither a base type nor collected
    assert (cls.__dictoffset__, cls.__weakrefoffset__, cls.__itemsize__) == (0, 0, 0)
    for refused in (lambda: type("Sub", (cls,), {}), lambda: object.__new__(cls)):
        pytest.raises(TypeError, refused)
    for static in statics:  # presets and factories
        method, (text, doc) = getattr(cls, static), FACTORIES.get(static, ("()", None))
        assert type(vars(cls)[static]) is staticmethod and (method.__name__, method.__qualname__) == (static, f"{name}.{static}")
        assert (method.__text_signature__, method.__doc__) == (text, doc) and str(inspect.signature(method)) == text
        assert text != "()" or method() is not method() and type(getattr(cls(), static)()) is cls


@pytest.mark.parametrize("cls", [ControlSetpoint, MotorState], ids=lambda c: c.__name__)
def test_no_constructor(cls):
    for call in (lambda: cls(), lambda: cls(1, mode=2), lambda: cls.__new__(cls, 1), lambda: type.__call__(cls, x=1)):
        with pytest.raises(TypeError) as info:
            call()
        assert str(info.value) == f"No constructor defined for {cls.__name__}"


def samples(testing):
    return [MitLimits(), MitSetpoint(), ControlSetpoint.vel(1.0), Damiao(1, 2),
            testing.motor_state(1, 0, 1.5, -0.25, 0.1, 30, 28)]


def test_instances_are_immutable_values_without_equality(testing):
    for obj, twin in zip(samples(testing), samples(testing)):
        before = repr(obj)
        for name in CLASSES[type(obj)][1]:
            pytest.raises(AttributeError, setattr, obj, name, getattr(obj, name))
            pytest.raises(AttributeError, delattr, obj, name)
        pytest.raises(AttributeError, setattr, obj, "extra", 1)
        assert repr(obj) == repr(twin) == before == str(obj)
        assert obj != twin and obj == obj and hash(obj) == object.__hash__(obj) and not gc.is_tracked(obj)
        for refused in (weakref.ref, copy.copy, copy.deepcopy, pickle.dumps, lambda o: o < o):
            pytest.raises(TypeError, refused, obj)


class GetSetDef(ctypes.Structure):
    _fields_ = [("name", ctypes.c_char_p), ("get", ctypes.c_void_p), ("set", ctypes.c_void_p),
                ("doc", ctypes.c_char_p), ("closure", ctypes.c_void_p)]


@pytest.mark.parametrize("cls", CLASSES, ids=lambda c: c.__name__)
def test_native_slots_check_their_receiver(testing, cls):
    """The repr and getter functions called directly, past the interpreter's own type checks."""
    get_slot = ctypes.pythonapi.PyType_GetSlot
    get_slot.restype, get_slot.argtypes = ctypes.c_void_p, [ctypes.py_object, ctypes.c_int]
    functions = {"__repr__": ctypes.PYFUNCTYPE(ctypes.py_object, ctypes.py_object)(get_slot(cls, 66))}  # Py_tp_repr
    table = ctypes.cast(get_slot(cls, 73), ctypes.POINTER(GetSetDef))  # Py_tp_getset
    for d in table[:len(CLASSES[cls][1])]:
        getter = ctypes.PYFUNCTYPE(ctypes.py_object, ctypes.py_object, ctypes.c_void_p)(d.get)
        functions[d.name.decode()] = lambda o, g=getter: g(o, None)
        assert d.set is None
    assert tuple(functions)[1:] == CLASSES[cls][1]
    own = next(o for o in samples(testing) if type(o) is cls)
    for name, function in functions.items():
        assert function(own) == (repr(own) if name == "__repr__" else getattr(own, name))
        for wrong in (3, None, MitSetpoint() if cls is not MitSetpoint else MitLimits()):
            with pytest.raises(TypeError) as info:
                function(wrong)
            assert str(info.value) == f"'{type(wrong).__qualname__}' object cannot be converted to '{cls.__name__}'"
