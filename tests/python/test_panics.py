"""Internal faults reach Python as PanicException, with the default report on standard error: on any
thread, resumed after a trip through Python code, and from deallocation."""

import ctypes
import re
import sys
import threading

import pytest

import model as m
import velquist
from velquist import Damiao, MitLimits, MitSetpoint

DOC = ("\nThe exception raised when native code called from Python panics.\n\nLike SystemExit, this exception is derived "
       "from BaseException so that\nit will typically propagate all the way through the stack and cause the\nPython "
       "interpreter to exit.\n")
BANNER = ("--- A panic is being resumed after fetching a PanicException from Python. ---\n"
          "Python stack trace below:\nTraceback (most recent call last):\n")
HOOK = r"python/testing\w*\.cpp"


def report(message, source, thread="[^'\n]+"):
    """The default panic report; the path up to src/ may be absolute or relative."""
    return re.compile(rf"\nthread '{thread}' panicked at (\S*/)?src/{source}:\d+:\d+:\n{re.escape(message)}\n")


def panic(testing, message):
    with pytest.raises(BaseException) as info:
        testing.panic(message)
    return info.value


@pytest.mark.parametrize("message", ["msg", "", "héllo ✓", "two\nlines", None])
def test_panic_exception(testing, capfd, message):
    try:
        testing.panic(message)
    except Exception:  # noqa: BLE001 - must not match
        pytest.fail("caught as Exception")
    except BaseException as error:  # noqa: BLE001
        kind, expected = type(error), message if message is not None else "panic from native code with a non-text payload"
        assert m.is_panic(error) and kind.__name__ == "PanicException" and kind.__bases__ == (BaseException,)
        assert kind.__doc__ == DOC and kind is type(panic(testing, "again"))
        assert error.args == (expected,) and str(error) == expected
        assert all(value is not kind for value in vars(velquist).values())
    assert message is None or report(message, HOOK).search(capfd.readouterr().err)
    m.smoke()


def test_panic_report_names_the_thread(testing, capfd):
    prctl = ctypes.CDLL(None).prctl  # PR_SET_NAME (15) names the calling thread

    for name in (b"vq-worker", b""):
        thread = threading.Thread(target=lambda n=name: prctl(15, n, 0, 0, 0) or panic(testing, f"from {n!r}"))
        thread.start()
        thread.join()
    err = capfd.readouterr().err
    assert report("from b'vq-worker'", HOOK, "vq-worker").search(err) and report("from b''", HOOK, "<unnamed>").search(err)


@pytest.mark.parametrize("call", [lambda v: MitLimits(p_max=v), lambda v: MitSetpoint.__new__(MitSetpoint, 1, v),
                                  m.CALLABLES["mit_setpoint"].paths[0], m.CALLABLES["vel"].paths[0],
                                  lambda v: Damiao(v, 1), lambda v: type.__call__(Damiao, 1, 2, timeout_ms=v)])
def test_panic_passed_back_through_python_is_resumed(testing, capfd, call):
    faulting = type("Faulting", (), {"__float__": lambda self: testing.panic("inner fault")})
    faulting.__index__ = faulting.__float__
    error = pytest.raises(BaseException, call, faulting()).value
    assert m.is_panic(error) and error.args == ("inner fault",)
    err = capfd.readouterr().err
    first = report("inner fault", HOOK).search(err)
    assert first and err.index(BANNER) == first.end() and report("inner fault", r"frame/error\.cpp").search(err), err


def test_fault_in_deallocation_is_reported_as_unraisable(capfd, monkeypatch):
    get_slot = ctypes.pythonapi.PyType_GetSlot
    get_slot.restype, get_slot.argtypes = ctypes.c_void_p, [ctypes.py_object, ctypes.c_int]
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
