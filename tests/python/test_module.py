"""The module object: its contents, re-initialisation, sub-interpreters and
the exception that carries internal faults."""

import importlib
import importlib.util
import subprocess
import sys
import textwrap

import pytest

import velquist

ALL = ["__version__", "MitLimits", "MitSetpoint", "ControlSetpoint", "MotorState", "Damiao", "mit_setpoint"]
CLASSES = ["MitLimits", "MitSetpoint", "ControlSetpoint", "MotorState", "Damiao"]


def run_python(code: str) -> subprocess.CompletedProcess:
    """Run `code` in a fresh interpreter, so that a crash cannot take the suite down."""
    return subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True, timeout=60
    )


def test_module_attributes():
    assert velquist.__all__ == ALL
    assert type(velquist.__all__) is list
    assert velquist.__version__ == "1.1.0"
    assert velquist.__doc__ == ""
    assert velquist.__name__ == "velquist"
    for name in ALL:
        assert hasattr(velquist, name)


def test_star_import_gives_exactly_the_public_names():
    scope = {}
    exec("from velquist import *", scope)
    scope.pop("__builtins__")
    assert sorted(scope) == sorted(ALL)
    assert "_testing" not in scope


def test_mit_setpoint_function_object():
    f = velquist.mit_setpoint
    assert type(f).__name__ == "builtin_function_or_method"
    assert f.__name__ == "mit_setpoint"
    assert f.__qualname__ == "mit_setpoint"
    assert f.__module__ == "velquist"
    assert f.__self__ is velquist
    assert f.__text_signature__ == "(q=0.0, dq=0.0, kp=0.0, kd=0.0, tau=0.0)"
    assert f.__doc__ == "Build a `MitSetpoint` (handy when keyword args are awkward)."


def test_reimport_returns_the_cached_module():
    before = {name: getattr(velquist, name) for name in ALL}
    all_list = velquist.__all__
    saved = sys.modules.pop("velquist")
    try:
        again = importlib.import_module("velquist")
        assert again is saved
        assert again.__all__ is all_list
        assert again.__all__ == ALL  # the body did not run a second time
        for name, value in before.items():
            assert getattr(again, name) is value
    finally:
        sys.modules["velquist"] = saved


def test_reimport_in_fresh_process():
    result = run_python(
        """
        import sys
        import velquist
        first = velquist
        classes = [velquist.MitLimits, velquist.Damiao]
        del sys.modules["velquist"]
        import velquist
        assert velquist is first
        assert [velquist.MitLimits, velquist.Damiao] == classes
        assert velquist.__all__.count("MitLimits") == 1
        print(repr(velquist.Damiao(1, 2)))
        """
    )
    assert result.returncode == 0, result.stderr
    assert result.stdout == "Damiao(motor_id=0x1, master_id=0x2)\n"


needs_interpreters = pytest.mark.skipif(
    importlib.util.find_spec("_interpreters") is None, reason="no _interpreters module"
)

# The sub-interpreter refuses the import; the main interpreter's module
# keeps working afterwards.
SUBINTERPRETER_SCRIPT = """
import _interpreters
{before}
interp = _interpreters.create({config!r})
probe = '''
try:
    import velquist
except ImportError as error:
    print("ImportError:", error)
else:
    print("imported")
'''
failure = _interpreters.run_string(interp, probe)
assert failure is None, failure
_interpreters.destroy(interp)
import velquist
print(repr(velquist.MitLimits.dm4340()))
"""


@needs_interpreters
@pytest.mark.parametrize("config", ["legacy", "isolated"])
@pytest.mark.parametrize("main_first", [True, False], ids=["main-first", "sub-first"])
def test_subinterpreter_import_is_refused(config, main_first):
    script = SUBINTERPRETER_SCRIPT.format(before="import velquist" if main_first else "", config=config)
    result = run_python(script)
    assert result.returncode == 0, result.stderr
    first, second = result.stdout.splitlines()
    assert first.startswith("ImportError: ")
    if config == "legacy":
        # The interpreter lets the legacy kind run the module's own check.
        assert "sub-interpreters" in first
    assert second == "MitLimits(p_max=12.5, v_max=10, kp_max=500, kd_max=5, t_max=28)"


# --- PanicException -----------------------------------------------------------


def panic_exception(testing, message="boom"):
    with pytest.raises(BaseException) as info:
        testing.panic(message)
    return info.value


def test_panic_exception_type(testing):
    error = panic_exception(testing)
    kind = type(error)
    assert f"{kind.__module__}.{kind.__qualname__}" == "pyo3_runtime.PanicException"
    assert kind.__name__ == "PanicException"
    assert kind.__bases__ == (BaseException,)
    assert not issubclass(kind, Exception)
    assert "SystemExit" in kind.__doc__ and "BaseException" in kind.__doc__
    assert type(panic_exception(testing, "again")) is kind  # one cached type
    assert not hasattr(velquist, "PanicException")
    assert "PanicException" not in dir(velquist)
    assert all(value is not kind for value in vars(velquist).values())


def test_panic_is_not_caught_by_except_exception(testing):
    caught_by = None
    try:
        try:
            testing.panic("deep fault")
        except Exception:  # noqa: BLE001 - this must not match
            caught_by = "Exception"
    except BaseException as error:  # noqa: BLE001
        caught_by = type(error).__name__
    assert caught_by == "PanicException"


@pytest.mark.parametrize("message", ["msg", "", "héllo ✓ wörld", "two\nlines"])
def test_panic_message(testing, capfd, message):
    error = panic_exception(testing, message)
    assert error.args == (message,)
    assert str(error) == message
    report = capfd.readouterr().err
    assert message in report  # the default report goes to standard error
    # The interpreter goes on working after a contained fault.
    assert repr(velquist.MitSetpoint(1)) == "MitSetpoint(q=1, dq=0, kp=0, kd=0, tau=0)"


def test_panic_with_non_text_payload(testing):
    error = panic_exception(testing, None)
    assert len(error.args) == 1
    (sentence,) = error.args
    assert isinstance(sentence, str)
    assert "panic" in sentence.lower()


def test_panic_in_fresh_process_leaves_interpreter_usable():
    result = run_python(
        """
        import velquist
        hooks = getattr(velquist, "_testing", None)
        if hooks is None:
            print("skip")
        else:
            for i in range(3):
                try:
                    hooks.panic(f"fault {i}")
                except BaseException as error:
                    print(type(error).__name__, error)
        """
    )
    assert result.returncode == 0, result.stderr
    if result.stdout == "skip\n":
        pytest.skip("needs the testing build")
    assert result.stdout.splitlines() == [f"PanicException fault {i}" for i in range(3)]
