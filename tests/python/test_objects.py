"""What Python sees of the module object, the five type objects and their instances; and internal faults,
which reach Python as PanicException with the default report on standard error: on any thread, resumed
after a trip through Python code, and from deallocation."""

import copy
import ctypes
import gc
import importlib.metadata
import inspect
import pickle
import re
import subprocess
import sys
import threading
import weakref

import interpreter
import pytest

import model as m
import velquist
from model import LIMITS, PRESETS, SETPOINT, STATE
from velquist import ControlSetpoint, Damiao, MitLimits, MitSetpoint, MotorState, mit_setpoint

MODE_DOC = "Numeric control mode (matches the value written to register 10)."
ALL = ["__version__", "MitLimits", "MitSetpoint", "ControlSetpoint", "MotorState", "Damiao", "mit_setpoint"]
FACTORIES = {"mit": ("(setpoint)", "MIT impedance setpoint (control mode 1).")}
FACTORIES |= {"pos_vel": ("(position, velocity)", "POS_VEL setpoint (control mode 2).")}
FACTORIES |= {"vel": ("(velocity)", "VEL setpoint (control mode 3).")}
FACTORIES |= {"force_pos": ("(position, velocity_limit, torque_ratio)", "FORCE_POS setpoint (control mode 4).")}
get_slot = ctypes.pythonapi.PyType_GetSlot
get_slot.restype, get_slot.argtypes = ctypes.c_void_p, [ctypes.py_object, ctypes.c_int]
# text signature, attributes in order, static methods in order
CLASSES = {MitLimits: ("(p_max=12.5, v_max=30.0, kp_max=500.0, kd_max=5.0, t_max=10.0)", LIMITS, tuple(PRESETS))}
CLASSES[MitSetpoint] = ("(q=0.0, dq=0.0, kp=0.0, kd=0.0, tau=0.0)", SETPOINT, ())
CLASSES |= {ControlSetpoint: (None, ("mode",), tuple(FACTORIES)), MotorState: (None, STATE, ())}
CLASSES[Damiao] = ("(motor_id, master_id, limits=None, timeout_ms=20)", ("motor_id", "master_id"), ())


def test_module_object():
    assert velquist.__all__ == ALL and type(velquist.__all__) is list
    # The version is written once, in the project's metadata; the build hands it to the module.
    installed = importlib.metadata.version("velquist")
    assert (velquist.__version__, velquist.__doc__, velquist.__name__) == (installed, "", "velquist")
    scope = {}
    exec("from velquist import *", scope)
    assert sorted(scope) == sorted([*ALL, "__builtins__"])
    f, doc = velquist.mit_setpoint, "Build a `MitSetpoint` (handy when keyword args are awkward)."
    assert (f.__name__, f.__qualname__, f.__module__, f.__self__) == ("mit_setpoint", f.__name__, "velquist", velquist)
    assert (f.__text_signature__, f.__doc__) == (CLASSES[MitSetpoint][0], doc)


@pytest.mark.parametrize("main_first", [True, False])
def test_sub_interpreters_are_refused(main_first):
    pytest.importorskip("_interpreters")
    script = "import _interpreters\nif %s: import velquist\nfor config in ('isolated', 'legacy', 'legacy'):\n"
    script += "    failure = _interpreters.exec(_interpreters.create(config), 'import velquist')\n"
    script += "    print(failure.type.__name__, failure.msg)\nimport velquist\nprint(repr(velquist.MitLimits.dm4340()))"
    proc = subprocess.run([sys.executable, "-c", script % main_first], capture_output=True, text=True, timeout=120)
    refused = "ImportError velquist does not yet support sub-interpreters; it can only be imported in the interpreter that first imported it"
    own = "ImportError module velquist does not support loading in subinterpreters"
    want = [own, *[own if interpreter.refuses_single_phase_in_legacy_subinterpreter() else refused] * 2]
    assert proc.stdout.splitlines() == [*want, repr(MitLimits.dm4340())], proc.stderr[-2000:]


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
    assert tuple(n for n in contents if n in attributes) == attributes
    assert tuple(n for n in contents if n in statics) == statics
    for attr in attributes:  # only the mode's getter has a doc
        assert inspect.isgetsetdescriptor(vars(cls)[attr]) and vars(cls)[attr].__doc__ == MODE_DOC * (attr == "mode")
    assert (cls.__bases__, cls.__mro__) == ((object,), (cls, object))
    assert not cls.__flags__ & (1 << 10 | 1 << 14)  # neither a base type nor collected
    assert (cls.__dictoffset__, cls.__weakrefoffset__, cls.__itemsize__) == (0, 0, 0)
    calls = [lambda: type("Sub", (cls,), {}), lambda: object.__new__(cls)]
    calls += [lambda: cls(), lambda: cls(1, mode=2), lambda: cls.__new__(cls, 1), lambda: type.__call__(cls, x=1)]
    for refused in calls[: None if signature is None else 2]:  # the last four: classes with no constructor
        error = pytest.raises(TypeError, refused).value
        assert refused in calls[:2] or str(error) == f"No constructor defined for {name}"
    for key in statics:  # presets and factories
        fn, (text, doc) = getattr(cls, key), FACTORIES.get(key, ("()", None))
        assert (fn.__name__, fn.__qualname__, fn.__text_signature__, fn.__doc__) == (key, f"{name}.{key}", text, doc)
        assert type(vars(cls)[key]) is staticmethod and str(inspect.signature(fn)) == text
        assert text != "()" or fn() is not fn() and type(getattr(cls(), key)()) is cls


def samples(testing):
    state = testing.motor_state(1, 0, 1.5, -0.25, 0.1, 30, 28)
    return [MitLimits(), MitSetpoint(), ControlSetpoint.vel(1.0), Damiao(1, 2), state]


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


def test_exclusively_borrowed_instances_are_refused_and_new_ones_start_unborrowed():
    uses = {MitLimits: lambda o: Damiao(1, 2, o), MitSetpoint: ControlSetpoint.mit}  # as an argument
    for make in (MitLimits, MitSetpoint, lambda: ControlSetpoint.vel(1.0), lambda: Damiao(1, 2)):
        old = make()
        ctypes.c_uint64.from_address(id(old) + sys.getsizeof(old) - 8).value = 2**64 - 1  # borrow word: taken
        for use in (repr, uses.get(make, repr)):  # as the receiver
            assert str(pytest.raises(RuntimeError, use, old).value) == "Already mutably borrowed"
        del old
        repr(make())  # allocated in the same block


@pytest.mark.parametrize("cls", CLASSES, ids=lambda c: c.__name__)
def test_native_repr_checks_its_receiver(testing, cls):
    """The repr function called directly, past the interpreter's own type check (the getters share the check)."""
    native_repr = ctypes.PYFUNCTYPE(ctypes.py_object, ctypes.py_object)(get_slot(cls, 66))  # Py_tp_repr
    own = next(o for o in samples(testing) if type(o) is cls)
    assert native_repr(own) == repr(own)
    for wrong in (3, None, MitSetpoint() if cls is not MitSetpoint else MitLimits()):
        error = pytest.raises(TypeError, native_repr, wrong).value
        assert str(error) == f"'{type(wrong).__qualname__}' object cannot be converted to '{cls.__name__}'"


DOC = "\nThe exception raised when native code called from Python panics.\n\nLike SystemExit, this exception is derived from BaseException so that\nit will typically propagate all the way through the stack and cause the\nPython interpreter to exit.\n"
BANNER = "--- A panic is being resumed after fetching a PanicException from Python. ---\nPython stack trace below:\nTraceback (most recent call last):\n"
HOOK = r"python/testing\w*\.cpp"


def report(message, source, thread="[^'\n]+"):  # the default panic report; the path up to src/ may be relative
    return re.compile(rf"\nthread '{thread}' panicked at (\S*/)?src/{source}:\d+:\d+:\n{re.escape(message)}\n")


def panic(testing, message):
    return pytest.raises(m.panic_type(), testing.panic, message).value


@pytest.mark.parametrize("message", ["msg", "", "héllo ✓", "two\nlines", None])
def test_panic_exception(testing, capfd, message):
    m.panic_type(), capfd.readouterr()  # the type is made by a panic of its own
    error, err = panic(testing, message), capfd.readouterr().err
    kind, expected = type(error), message if message is not None else "panic from native code with a non-text payload"
    # one report for each panic, a payload that is not text too
    assert report(expected, HOOK if message is not None else r"frame/call_frame\.hpp").fullmatch(err), err
    # not an Exception: `except Exception` lets it through
    assert m.is_panic(error) and kind.__name__ == "PanicException" and kind.__bases__ == (BaseException,)
    assert kind.__doc__ == DOC and kind is type(panic(testing, "again"))
    assert error.args == (expected,) and str(error) == expected
    assert all(value is not kind for value in vars(velquist).values())
    m.smoke()


def test_panic_report_names_the_thread(testing, capfd):
    prctl = ctypes.CDLL(None).prctl  # PR_SET_NAME (15) names the calling thread
    for name, shown in ((b"vq-worker", "vq-worker"), (b"", "<unnamed>")):
        thread = threading.Thread(target=lambda: prctl(15, name, 0, 0, 0) or panic(testing, f"from {name!r}"))
        thread.start(), thread.join()
        assert report(f"from {name!r}", HOOK, shown).search(capfd.readouterr().err)


RESUMED = [lambda v: MitLimits(p_max=v), lambda v: MitSetpoint.__new__(MitSetpoint, 1, v), mit_setpoint]
RESUMED += [ControlSetpoint.vel, lambda v: Damiao(v, 1), lambda v: type.__call__(Damiao, 1, 2, timeout_ms=v)]


def raise_in_python(text):  # a PanicException that Python code makes itself
    raise m.panic_type()(text)


# what `__float__` or `__index__` does: the argument of the PanicException then seen, the report it made
INNER = [(lambda t: t.panic("inner fault"), "inner fault", report("inner fault", HOOK))]
INNER += [(lambda t: raise_in_python("\udc80"), "<unprintable>", re.compile(""))]  # not encodable as UTF-8


@pytest.mark.parametrize("call", RESUMED)
@pytest.mark.parametrize("inner, text, reported", INNER)
def test_panic_passed_back_through_python_is_resumed(testing, capfd, call, inner, text, reported):
    faulting = type("Faulting", (), {"__float__": lambda self: inner(testing)})
    faulting.__index__ = faulting.__float__
    error = pytest.raises(m.panic_type(), call, faulting()).value
    assert m.is_panic(error) and error.args == (text,)
    err = capfd.readouterr().err  # the report, then only the banner and the traceback: no second report
    end = reported.match(err).end()
    assert err[end:].startswith(BANNER) and "panicked" not in err[end:], err
    assert err.splitlines()[-1].startswith("pyo3_runtime.PanicException: "), err  # the traceback's last line


def test_fault_in_deallocation_is_reported_as_unraisable(capfd, monkeypatch):
    words = (ctypes.c_void_p * 64).from_address(id(MitSetpoint))
    index = [w for w in range(64) if words[w] == get_slot(MitSetpoint, 74)][0]  # tp_free (Py_tp_free is 74)
    seen, victim = [], MitSetpoint(1.0)
    monkeypatch.setattr(sys, "unraisablehook", seen.append)
    words[index] = None
    try:
        del victim
    finally:
        words[index] = get_slot(object, 74)
    assert m.is_panic(seen[0].exc_value) and seen[0].exc_value.args == ("PyBaseObject_Type should have tp_free",)
    assert report("PyBaseObject_Type should have tp_free", r"frame/class_object\.hpp").search(capfd.readouterr().err)
    m.smoke()
