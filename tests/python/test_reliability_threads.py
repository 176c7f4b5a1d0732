"""Threads and interpreters: several Python threads build, read and print
values at once (with thread switches forced inside the conversions), and
sub-interpreters are refused every time while the main interpreter keeps
working."""

import os
import subprocess
import sys
import textwrap
import threading

import pytest

import reliability_calls as rc
from helpers import f32, shortest_text
from velquist import ControlSetpoint, Damiao, MitLimits, MitSetpoint, mit_setpoint

THREADS = 8
ROUNDS = 1500


class Yielding:
    """A float whose conversion lets other threads run in the middle of a call."""

    def __init__(self, value):
        self.value = value

    def __float__(self):
        os.sched_yield()
        return self.value


def expected_work(seed):
    """The values one round builds, and their texts, computed in Python."""
    q, kp = seed * 0.25 + 0.1, float(seed % 97)
    return q, kp, (f"MitSetpoint(q={shortest_text(f32(q))}, dq=0, kp={shortest_text(f32(kp))}, kd=0, tau=0)",
                   f"ControlSetpoint.vel({shortest_text(f32(q))})",
                   f"Damiao(motor_id={seed % 65536:#x}, master_id={(seed * 7) % 65536:#x})")


def work(thread_index, shared, failures):
    try:
        for i in range(ROUNDS):
            seed = thread_index * ROUNDS + i
            q, kp, (sp_text, vel_text, handle_text) = expected_work(seed)
            arg = Yielding(q) if i % 5 == 0 else q
            sp = MitSetpoint(arg, kp=kp) if i % 2 else mit_setpoint(q=arg, kp=kp)
            assert sp.q == f32(q) and sp.kp == f32(kp) and repr(sp) == sp_text
            assert repr(ControlSetpoint.mit(sp)) == "ControlSetpoint.mit(" + sp_text[len("MitSetpoint("):]
            assert repr(ControlSetpoint.vel(arg)) == vel_text
            handle = Damiao(seed % 65536, (seed * 7) % 65536, shared["limits"])
            assert repr(handle) == handle_text and handle.motor_id == seed % 65536
            # the shared objects are read by every thread at once
            assert shared["setpoint"].tau == 0.5 and repr(shared["limits"]) == shared["limits_text"]
            try:
                MitLimits(p_max=Yielding("x") if i % 3 == 0 else "x")
            except TypeError as error:
                assert str(error).startswith("argument 'p_max': ")
            else:
                raise AssertionError("no TypeError")
    except BaseException as error:  # noqa: BLE001 - reported to the main thread
        failures.append((thread_index, repr(error)))


def test_threads_build_read_and_print_at_once():
    limits = MitLimits.dm8009()
    shared = {"limits": limits, "limits_text": repr(limits), "setpoint": MitSetpoint(tau=0.5)}
    failures = []
    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    try:
        threads = [threading.Thread(target=work, args=(k, shared, failures)) for k in range(THREADS)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
    finally:
        sys.setswitchinterval(interval)
    assert not failures, failures
    rc.smoke()


SUBINTERPRETERS = textwrap.dedent("""
    import sys
    sys.path.insert(0, sys.argv[1])
    import _interpreters
    import velquist
    import reliability_calls as rc

    first = velquist.MitLimits(1.0)
    outcomes = []
    for config in ("isolated", "legacy"):
        interp = _interpreters.create(config)
        for _ in range(3):
            failure = _interpreters.exec(interp, "import velquist")
            outcomes.append(None if failure is None else (failure.type.__name__, failure.msg))
        _interpreters.destroy(interp)
        rc.smoke()
    # the main interpreter is unaffected: same module, same classes, working calls
    assert sys.modules["velquist"] is velquist and type(first) is velquist.MitLimits
    import importlib
    del sys.modules["velquist"]
    assert importlib.import_module("velquist") is velquist
    for case in rc.build_cases():
        case.run_checked()
    print(repr(outcomes))
""")


def test_sub_interpreters_are_refused_every_time():
    pytest.importorskip("_interpreters")
    here = os.path.dirname(os.path.abspath(__file__))
    proc = subprocess.run([sys.executable, "-c", SUBINTERPRETERS, here], capture_output=True, text=True, timeout=120)
    assert proc.returncode == 0, proc.stderr[-3000:]
    outcomes = eval(proc.stdout.strip().splitlines()[-1])  # noqa: S307 - our own repr of tuples and strings
    assert len(outcomes) == 6
    for outcome in outcomes:
        assert outcome is not None and outcome[0] == "ImportError", outcome
    # the legacy (shared-lock) interpreters reach the module's own refusal
    for kind, message in outcomes[3:]:
        assert "sub-interpreters" in message
