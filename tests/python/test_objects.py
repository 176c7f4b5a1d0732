"""What Python sees of the module object, the five type objects and their
instances: names, docs, signatures, flags, immutability, identity."""

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
from model import PRESETS
from velquist import ControlSetpoint, Damiao, MitLimits, MitSetpoint, MotorState

ALL = ["__version__", "MitLimits", "MitSetpoint", "ControlSetpoint", "MotorState", "Damiao", "mit_setpoint"]
FACTORIES = {"mit": ("(setpoint)", "MIT impedance setpoint (control mode 1)."),
             "pos_vel": ("(position, velocity)", "POS_VEL setpoint (control mode 2)."),
             "vel": ("(velocity)", "VEL setpoint (control mode 3)."),
             "force_pos": ("(position, velocity_limit, torque_ratio)", "FORCE_POS setpoint (control mode 4).")}
# class: text signature, attributes in order, static methods in order
CLASSES = {
    MitLimits: ("(p_max=12.5, v_max=30.0, kp_max=500.0, kd_max=5.0, t_max=10.0)",
                ["p_max", "v_max", "kp_max", "kd_max", "t_max"], list(PRESETS)),
    MitSetpoint: ("(q=0.0, dq=0.0, kp=0.0, kd=0.0, tau=0.0)", ["q", "dq", "kp", "kd", "tau"], []),
    ControlSetpoint: (None, ["mode"], list(FACTORIES)),
    MotorState: (None, ["motor_id", "error", "position", "velocity", "torque", "t_mos", "t_rotor"], []),
    Damiao: ("(motor_id, master_id, limits=None, timeout_ms=20)", ["motor_id", "master_id"], []),
}


def test_module_object():
    assert velquist.__all__ == ALL and type(velquist.__all__) is list
    assert (velquist.__version__, velquist.__doc__, velquist.__name__) == ("1.1.0", "", "velquist")
    scope = {}
    exec("from velquist import *", scope)
    assert sorted(scope) == sorted([*ALL, "__builtins__"])
    f = velquist.mit_setpoint
    assert (f.__name__, f.__qualname__, f.__module__, f.__self__) == ("mit_setpoint", "mit_setpoint", "velquist", velquist)
    assert f.__text_signature__ == "(q=0.0, dq=0.0, kp=0.0, kd=0.0, tau=0.0)"
    assert f.__doc__ == "Build a `MitSetpoint` (handy when keyword args are awkward)."
    saved = sys.modules.pop("velquist")
    try:
        assert importlib.import_module("velquist") is saved and saved.__all__ == ALL  # the body did not run again
    finally:
        sys.modules["velquist"] = saved


SUBINTERPRETERS = """
import _interpreters, sys
def attempt(config):
    interp = _interpreters.create(config)
    failure = _interpreters.exec(interp, "import velquist")
    _interpreters.destroy(interp)
    print(failure.type.__name__, failure.msg)
if sys.argv[1] == "main-first":
    import velquist
for config in ("isolated", "legacy", "legacy"):
    attempt(config)
import velquist
print(repr(velquist.MitLimits.dm4340()))
"""


@pytest.mark.parametrize("order", ["main-first", "sub-first"])
def test_sub_interpreters_are_refused(order):
    pytest.importorskip("_interpreters")
    proc = subprocess.run([sys.executable, "-c", SUBINTERPRETERS, order], capture_output=True, text=True, timeout=120)
    assert proc.returncode == 0, proc.stderr[-2000:]
    refused = "ImportError velquist does not yet support sub-interpreters; it can only be imported in the " \
              "interpreter that first imported it"
    assert proc.stdout.splitlines() == [
        "ImportError module velquist does not support loading in subinterpreters", refused, refused,
        "MitLimits(p_max=12.5, v_max=10, kp_max=500, kd_max=5, t_max=28)"]


@pytest.mark.parametrize("cls", CLASSES, ids=lambda c: c.__name__)
def test_type_objects(cls):
    signature, attributes, statics = CLASSES[cls]
    name = cls.__name__
    assert getattr(velquist, name) is cls and type(cls) is type
    assert (cls.__qualname__, cls.__module__, repr(cls)) == (name, "velquist", f"<class 'velquist.{name}'>")
    assert (cls.__text_signature__, cls.__doc__) == (signature, None if signature is None else "")
    if signature is not None:
        assert str(inspect.signature(cls)) == signature
    contents = list(vars(cls))
    assert set(contents) == {"__new__", "__repr__", "__doc__", "__module__", *attributes, *statics}
    assert [n for n in contents if n in attributes] == attributes and [n for n in contents if n in statics] == statics
    for attr in attributes:
        assert inspect.isgetsetdescriptor(vars(cls)[attr])
        assert vars(cls)[attr].__doc__ == (
            "Numeric control mode (matches the value written to register 10)." if attr == "mode" else "")
    assert (cls.__bases__, cls.__mro__) == ((object,), (cls, object))
    assert not cls.__flags__ & (1 << 10 | 1 << 14)  # neither a base type nor collected
    assert (cls.__dictoffset__, cls.__weakrefoffset__, cls.__itemsize__) == (0, 0, 0)
    with pytest.raises(TypeError, match="not an acceptable base type"):
        type("Sub", (cls,), {})
    with pytest.raises(TypeError):
        object.__new__(cls)


@pytest.mark.parametrize("name", FACTORIES)
def test_factory_methods(name):
    method = getattr(ControlSetpoint, name)
    assert type(vars(ControlSetpoint)[name]) is staticmethod
    assert (method.__name__, method.__qualname__) == (name, f"ControlSetpoint.{name}")
    assert (method.__text_signature__, method.__doc__) == FACTORIES[name]
    assert str(inspect.signature(method)) == FACTORIES[name][0]


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
            with pytest.raises(AttributeError):
                setattr(obj, name, getattr(obj, name))
            with pytest.raises(AttributeError):
                delattr(obj, name)
        with pytest.raises(AttributeError):
            obj.extra = 1
        assert repr(obj) == repr(twin) == before == str(obj)
        assert obj != twin and obj == obj and hash(obj) == object.__hash__(obj) and not gc.is_tracked(obj)
        for refused in (weakref.ref, copy.copy, copy.deepcopy, pickle.dumps, lambda o: o < o):
            with pytest.raises(TypeError):
                refused(obj)


def type_slot(cls, slot):
    get_slot = ctypes.pythonapi.PyType_GetSlot
    get_slot.restype, get_slot.argtypes = ctypes.c_void_p, [ctypes.py_object, ctypes.c_int]
    return get_slot(cls, slot)


class GetSetDef(ctypes.Structure):
    _fields_ = [("name", ctypes.c_char_p), ("get", ctypes.c_void_p), ("set", ctypes.c_void_p),
                ("doc", ctypes.c_char_p), ("closure", ctypes.c_void_p)]


@pytest.mark.parametrize("cls", CLASSES, ids=lambda c: c.__name__)
def test_native_slots_check_their_receiver(testing, cls):
    """The repr and getter functions called directly, past the interpreter's own type checks."""
    own = next(o for o in samples(testing) if type(o) is cls)
    functions = {"__repr__": ctypes.PYFUNCTYPE(ctypes.py_object, ctypes.py_object)(type_slot(cls, 66))}
    table = ctypes.cast(type_slot(cls, 73), ctypes.POINTER(GetSetDef))
    for i in range(len(CLASSES[cls][1])):
        assert table[i].set is None
        getter = ctypes.PYFUNCTYPE(ctypes.py_object, ctypes.py_object, ctypes.c_void_p)(table[i].get)
        functions[table[i].name.decode()] = lambda o, g=getter: g(o, None)
    assert list(functions)[1:] == CLASSES[cls][1]
    for name, function in functions.items():
        assert function(own) == (repr(own) if name == "__repr__" else getattr(own, name))
        for wrong in (3, None, MitSetpoint() if cls is not MitSetpoint else MitLimits()):
            with pytest.raises(TypeError) as info:
                function(wrong)
            assert str(info.value) == f"'{type(wrong).__qualname__}' object cannot be converted to '{cls.__name__}'"
