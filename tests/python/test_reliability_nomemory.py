"""Allocation failure: every allocation of every callable, and of the module
initialisation, is made to fail in turn.

The loops run in a driver subprocess (this file run as a script) that forks
once per attempt, so each attempt starts from the same state and a crash is
reported as a failed attempt instead of killing the test run. An attempt
fails allocations [n, n + 1) ("single") or [n, ...) ("persistent") around
one call; the loop goes on until three attempts in a row see the normal
outcome. After each attempt the child removes the hooks and checks that
the call and a few others work normally again.
"""

import collections
import json
import os
import re
import signal
import subprocess
import sys
import time

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
ATTEMPT_TIMEOUT = 20.0  # seconds; generous for sanitizer builds
# persistent first: its length (every allocation of the call) bounds the
# single-failure sweep from below
MODES = {"persistent": lambda n: (n, 0), "single": lambda n: (n, n + 1)}
UNDER_SANITIZER = bool(os.environ.get("VELQUIST_SANITIZER_RUN"))

try:
    import _testcapi
except ImportError:  # interpreters built without the test modules
    _testcapi = None

pytestmark = pytest.mark.skipif(
    _testcapi is None or not hasattr(_testcapi, "set_nomemory"), reason="needs _testcapi.set_nomemory")


# --- the driver (runs in the subprocess) -----------------------------------------------


def fork_attempt(child, quiet=True):
    """Runs `child()` (returning a JSON-able report) in a forked process.
    Returns the report, or {"crash": ...} / {"hang": ...}."""
    read_end, write_end = os.pipe()
    pid = os.fork()
    if pid == 0:
        os.close(read_end)
        if quiet:  # panic reports are expected; sanitizer reports go to their log files
            devnull = os.open(os.devnull, os.O_WRONLY)
            os.dup2(devnull, 2)
        try:
            report = child()
        except BaseException as error:  # noqa: BLE001 - report, never unwind into the fork loop
            report = {"driver_error": f"{type(error).__name__}: {error}"}
        os.write(write_end, json.dumps(report).encode())
        os._exit(0)
    os.close(write_end)
    deadline = time.monotonic() + ATTEMPT_TIMEOUT
    status = None
    while True:
        done, status = os.waitpid(pid, os.WNOHANG)
        if done:
            break
        if time.monotonic() > deadline:
            os.kill(pid, signal.SIGKILL)
            os.waitpid(pid, 0)
            os.close(read_end)
            return {"hang": True}
        time.sleep(0.0005)
    data = b""
    while chunk := os.read(read_end, 65536):
        data += chunk
    os.close(read_end)
    if status != 0:
        how = f"signal {os.WTERMSIG(status)}" if os.WIFSIGNALED(status) else f"exit {os.WEXITSTATUS(status)}"
        return {"crash": how}
    return json.loads(data)


def with_failing_allocations(bounds, call):
    """(result, error) of `call()` while allocations in `bounds` fail."""
    try:
        _testcapi.set_nomemory(*bounds)
        try:
            return call(), None
        finally:
            _testcapi.remove_mem_hooks()
    except BaseException as error:  # noqa: BLE001
        return None, error


def setdefault_fault_present():
    """Whether this interpreter's PyDict_SetDefaultRef reports success for an
    insertion it could not make (CPython 3.13.0). That fault corrupts the
    dictionary, so it is probed in a forked child."""
    import ctypes

    setdefault = ctypes.pythonapi.PyDict_SetDefaultRef
    setdefault.argtypes = [ctypes.py_object, ctypes.py_object, ctypes.py_object, ctypes.c_void_p]
    setdefault.restype = ctypes.c_int

    def probe():
        for start in range(64):
            d = {f"key{i}": i for i in range(5)}  # a full table: the next key needs a resize
            key = "".join(["new", "key"])
            _, error = with_failing_allocations((start, 0), lambda: setdefault(d, key, object(), None))
            if error is None:
                return {"fault": False}
            if key not in d and len(d) != 5:
                return {"fault": True}
        return {"fault": False}

    return bool(fork_attempt(probe).get("fault"))


def classify_call(case, result, error, rc):
    if error is None:
        if case.kind == "log" and result == 0:
            return "dropped"  # the bridge drops an event it cannot deliver; the caller goes on
        ok = not isinstance(case.expect, BaseException) and case.expect(result)
        return "clean" if ok else f"bad: returned {result!r}"
    if isinstance(case.expect, BaseException):
        if rc.same_error(error, case.expect):
            return "clean"
        # documented fallbacks when a name cannot be read
        for fallback in (re.sub(r"'[^']*' object cannot be converted", "'<failed to extract type name>' object "
                                "cannot be converted", str(case.expect)),
                         str(case.expect).rsplit("for ", 1)[0] + "for <unknown>"):
            if type(error) is type(case.expect) and str(error) == fallback:
                return "fallback"
    if type(error) is MemoryError:
        return "MemoryError"
    if rc.is_panic(error):
        prefix = {"factory": "called `Result::unwrap()` on an `Err` value",
                  "getter": "Python API call failed", "repr": "Python API call failed"}.get(case.kind)
        if prefix is not None and str(error).startswith(prefix):
            return "PanicException"
    return f"bad: {type(error).__qualname__}: {str(error)[:200]}"


def call_child(case, bounds, rc):
    def child():
        result, error = with_failing_allocations(bounds, case.call)
        report = {"outcome": classify_call(case, result, error, rc)}
        del result, error
        try:
            case.run_checked()
            rc.smoke()
        except BaseException as after:  # noqa: BLE001
            report["unusable"] = f"{type(after).__name__}: {after}"
        return report
    return child


def sweep(make_child, limit=20000, at_least=0):
    """Attempts n = 0, 1, 2, ... until three in a row are clean (and at least
    `at_least` attempts: a failure the interpreter swallows looks clean)."""
    outcomes = collections.Counter()
    problems = []
    streak = 0
    for n in range(limit):
        report = make_child(n)
        if "crash" in report or "hang" in report or "driver_error" in report:
            outcome = "crash" if "crash" in report else "hang" if "hang" in report else "driver error"
            problems.append((n, report))
        else:
            outcome = report["outcome"]
            if outcome.startswith("bad") or "unusable" in report:
                problems.append((n, report))
        outcomes[outcome.split(":")[0]] += 1
        streak = streak + 1 if outcome == "clean" else 0
        if streak >= 3 and n + 1 >= at_least:
            return {"attempts": n + 1, "failed_points": n + 1 - outcomes["clean"], "outcomes": dict(outcomes),
                    "problems": problems, "end": n - 3}
    problems.append((limit, "never reached the normal outcome"))
    return {"attempts": limit, "failed_points": limit, "outcomes": dict(outcomes), "problems": problems,
            "end": limit}


TRACEBACK_FAULT = "bad: SystemError: error return without exception set"


def interpreter_fault_offsets(summary):
    """Where, counted back from the last failing allocation, the interpreter
    itself replaced an exception by this SystemError."""
    return {summary["end"] - n for n, report in summary["problems"]
            if isinstance(report, dict) and report.get("outcome") == TRACEBACK_FAULT and "unusable" not in report}


def discount(summary, offsets):
    """Drops the SystemErrors found at the same place for a call that never
    reaches the module (the interpreter's own, while the exception leaves
    the calling frames)."""
    kept = []
    for n, report in summary["problems"]:
        if summary["end"] - n in offsets and isinstance(report, dict) and report.get("outcome") == TRACEBACK_FAULT \
                and "unusable" not in report:
            summary["outcomes"]["bad"] -= 1
            summary["outcomes"]["interpreter"] = summary["outcomes"].get("interpreter", 0) + 1
        else:
            kept.append((n, report))
    summary["problems"] = kept[:10]
    return summary


def drive_calls(kinds):
    sys.path.insert(0, HERE)
    import reliability_calls as rc

    cases = [c for c in rc.build_cases() if c.kind in kinds]
    results = []
    # cold: nothing called yet in this process (names not interned, the
    # panic type not created); warm: after one normal call of each case
    # the same call shape around a C function that raises without reaching
    # the module shows where the interpreter's own faults fall
    control = rc.Case("len(1)", "error", lambda: len(1), TypeError("object of type 'int' has no len()"))
    control.run_checked()
    offsets = {mode: interpreter_fault_offsets(sweep(lambda n: fork_attempt(call_child(control, bounds(n), rc))))
               for mode, bounds in MODES.items()}
    # the sanitizer run keeps the cold phase only: forks are slow there
    for phase in ("cold",) if UNDER_SANITIZER else ("cold", "warm"):
        if phase == "warm":
            rc.panic_type()
            for case in cases:
                case.run_checked()
        for case in cases:
            at_least = 0
            for mode, bounds in MODES.items():
                if case.kind == "log" and mode == "persistent":
                    # With every later allocation failing, this interpreter's
                    # own exception unwinding spins inside logging's Python
                    # code (a plain logger.info hangs the same way); each
                    # failure point alone is still swept.
                    continue
                summary = sweep(lambda n: fork_attempt(call_child(case, bounds(n), rc)), at_least=at_least)
                at_least = summary["attempts"]
                if case.kind == "error":
                    discount(summary, offsets[mode])
                summary["problems"] = summary["problems"][:10]
                summary.update(name=case.name, kind=case.kind, phase=phase, mode=mode)
                results.append(summary)
    return results


MODULE_NAMES = ["__version__", "MitLimits", "MitSetpoint", "ControlSetpoint", "MotorState", "Damiao",
                "mit_setpoint"]
CLASS_NAMES = MODULE_NAMES[1:6]


def classify_init(module, error):
    if error is None:
        return "clean" if getattr(module, "__all__", None) == MODULE_NAMES else f"bad: module {module!r}"
    if type(error) is MemoryError:
        return "MemoryError"
    if isinstance(error, RuntimeError) and str(error) in {
            f"An error occurred while initializing class {c}" for c in CLASS_NAMES}:
        cause = error.__cause__
        if type(cause) is MemoryError or (
                type(cause) is SystemError and str(cause) == "attempted to fetch exception but none was set"):
            return "RuntimeError"
    from reliability_calls import is_panic  # not at the top: it imports the module under test

    if is_panic(error):
        for prefix in ("Failed to initialize python logging: ", "could not append __name__ to __all__",
                       "called `Result::unwrap()` on an `Err` value"):
            if str(error).startswith(prefix):
                return "PanicException"
    return f"bad: {type(error).__qualname__}: {str(error)[:300]} (cause {error.__cause__!r})"


def drive_import(mode):
    """Fails the allocations of the module initialisation itself. The entry
    is called directly, as the import system calls it, because the import
    system of CPython 3.13 does not survive allocation failures of its own
    (it crashes or loops for any extension module); then `import velquist`
    runs normally and must give a working module."""
    import ctypes
    import importlib.util
    import logging  # noqa: F401 - imported by the module body; its own failures are not ours

    sys.path.insert(0, HERE)
    spec = importlib.util.find_spec("velquist")
    assert "velquist" not in sys.modules
    entry = ctypes.PyDLL(spec.origin).PyInit_velquist
    entry.restype = ctypes.py_object
    entry.argtypes = []
    bounds = MODES[mode]

    def attempt(n):
        def child():
            module, error = with_failing_allocations(bounds(n), entry)
            report = {"outcome": classify_init(module, error)}
            try:
                import velquist
                import reliability_calls as rc

                assert velquist.__all__ == MODULE_NAMES
                if module is not None:
                    assert velquist is module
                rc.smoke()
                again = entry()  # a later initialisation returns the same module
                assert again is velquist
            except BaseException as after:  # noqa: BLE001
                report["unusable"] = f"{type(after).__name__}: {after}"
            return report
        return fork_attempt(child)

    summary = sweep(attempt)
    summary["problems"] = summary["problems"][:10]
    summary.update(name="import velquist", kind="import", phase="cold", mode=mode)
    return [summary]


# --- the tests --------------------------------------------------------------------------


def run_driver(*args):
    env = dict(os.environ)
    env.pop("PYTHONWARNINGS", None)
    proc = subprocess.run([sys.executable, __file__, *args], capture_output=True, text=True, env=env,
                          timeout=900, cwd=HERE)
    assert proc.returncode == 0, f"driver failed ({proc.returncode}):\n{proc.stderr[-3000:]}"
    return json.loads(proc.stdout)


def summarise(results):
    lines = []
    for r in results:
        lines.append(f"{r['name']:<34} {r['phase']:<5} {r['mode']:<10} attempts {r['attempts']:>4} "
                     f"outcomes {r['outcomes']}")
    return "\n".join(lines)


@pytest.mark.parametrize("kinds", ["constructor", "factory", "getter,repr,log", "error"])
def test_every_allocation_of_every_call_fails_cleanly(kinds):
    results = run_driver("calls", kinds)
    print(summarise(results))
    problems = [(r["name"], r["phase"], r["mode"], r["problems"]) for r in results if r["problems"]]
    assert not problems, "\n".join(map(repr, problems))
    for r in results:
        # every case but the getters allocates (a float comes from the
        # interpreter's free list, a small int is cached), so some attempt
        # must have hit the failure
        assert r["kind"] == "getter" or r["attempts"] > 3, r


@pytest.mark.parametrize("mode", list(MODES))
def test_every_allocation_of_the_module_initialisation_fails_cleanly(mode):
    fault = run_driver("setdefault-fault")
    if mode == "single" and fault and UNDER_SANITIZER:
        pytest.skip("this interpreter's PyDict_SetDefaultRef hides a failed insertion; the sanitizer "
                    "run would report the interpreter's own crash")
    results = run_driver("import", mode)
    print(summarise(results))
    (r,) = results
    problems = r["problems"]
    if mode == "single" and fault:
        # A failure inside the type builder's dictionary insertions corrupts
        # the type's dictionary in the interpreter itself (not ours): those
        # attempts may crash. Anything else must still be clean.
        problems = [p for p in problems if not (isinstance(p[1], dict) and p[1].get("crash") == "signal 11")]
    assert not problems, "\n".join(map(repr, problems))
    assert r["attempts"] > 50


if __name__ == "__main__":
    what = sys.argv[1]
    if what == "calls":
        out = drive_calls(set(sys.argv[2].split(",")))
    elif what == "import":
        out = drive_import(sys.argv[2])
    elif what == "setdefault-fault":
        out = setdefault_fault_present()
    else:
        raise SystemExit(f"unknown driver {what}")
    json.dump(out, sys.stdout)
