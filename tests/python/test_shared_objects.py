"""Threads sharing the module's objects for a while, from a fresh interpreter so that every first use (interned
keyword names, the PanicException type, the logger cache) is raced too: they construct, read, print, panic and log
at once; nothing fails and every log event reaches Python exactly once. Run as a script it is that fresh process.
VELQUIST_STRESS_SECONDS sets how long (short by default; the free-threaded stage runs it longer)."""

import collections
import json
import logging
import os
import subprocess
import sys
import threading
import time

THREADS = 8
SECONDS = float(os.environ.get("VELQUIST_STRESS_SECONDS", "1"))


def gil_enabled():
    return getattr(sys, "_is_gil_enabled", lambda: True)()


def stress(seconds, threads):
    from velquist import ControlSetpoint, Damiao, MitLimits, MitSetpoint, _testing, mit_setpoint

    records, handler = [], logging.Handler()
    handler.emit = lambda record: records.append(record.getMessage())
    logger = logging.getLogger("vqstress")
    logger.handlers[:], logger.propagate = [handler], False
    logger.setLevel(logging.DEBUG)

    limits, setpoint = MitLimits(0.5, 2, 3, 4, 5), MitSetpoint(0.1, kd=2.5)
    shared = [limits, setpoint, Damiao(0x7FF, 2, limits), ControlSetpoint.mit(setpoint), MitLimits.dm4340()]
    texts = list(map(repr, shared))
    damiao_text = "Damiao(motor_id=0x1, master_id=0x2)"
    start, sent, failures, panic_types = threading.Barrier(threads), [0] * threads, [], set()

    def work(k):
        try:
            start.wait()
            try:
                _testing.panic(f"thread {k}")  # the first panics race to create the type
            except BaseException as error:  # noqa: BLE001
                panic_types.add(type(error))
            deadline, i = time.monotonic() + seconds, 0
            while time.monotonic() < deadline:
                assert list(map(repr, shared)) == texts
                assert limits.kp_max == 3.0 and setpoint.kd == 2.5 and shared[3].mode == 1
                assert repr(Damiao(1, master_id=2, limits=limits, timeout_ms=5)) == damiao_text
                assert MitSetpoint(q=0.1, kd=2.5).kd == mit_setpoint(kd=2.5, q=0.1).kd == 2.5
                assert ControlSetpoint.force_pos(position=1, velocity_limit=2, torque_ratio=0.5).mode == 4
                # new targets keep arriving, so threads store into the cache at once all along
                _testing.log(20, f"vqstress::t{k % 4}::n{i % 64}::e{i // 8}", f"{k} {i}", "src/stress.cpp", i)
                sent[k], i = i + 1, i + 1
        except BaseException as error:  # noqa: BLE001
            failures.append(f"thread {k}: {error!r}")

    workers = [threading.Thread(target=work, args=(k,)) for k in range(threads)]
    [t.start() for t in workers]
    [t.join() for t in workers]
    wanted = collections.Counter(f"{k} {i}" for k in range(threads) for i in range(sent[k]))
    got, types = collections.Counter(records), sorted(f"{t.__module__}.{t.__qualname__}" for t in panic_types)
    lost, extra = sum((wanted - got).values()), sum((got - wanted).values())
    return dict(failures=failures, events=sum(sent), lost=lost, extra=extra, panic_types=types, gil=gil_enabled())


def test_threads_share_objects_construct_read_print_and_log(testing):
    env = {k: v for k, v in os.environ.items() if k != "PYTHONWARNINGS"}
    where = {"cwd": os.path.dirname(__file__), "env": env, "capture_output": True, "text": True}
    proc = subprocess.run([sys.executable, "-W", "error", __file__], timeout=SECONDS + 120, **where)
    assert proc.returncode == 0, proc.stderr[-3000:]
    report = json.loads(proc.stdout)
    print(f"{THREADS} threads, {SECONDS} s, {report['events']} events, GIL {'on' if report['gil'] else 'off'}")
    assert report["failures"] == [] and report["events"] >= THREADS, report
    assert report["lost"] == report["extra"] == 0, report
    assert report["panic_types"] == ["pyo3_runtime.PanicException"], report


if __name__ == "__main__":
    before = gil_enabled()
    import velquist  # noqa: F401 - with -W error, a warning that it turned the GIL on fails here

    assert gil_enabled() == before, "importing velquist turned the GIL on"
    json.dump(stress(SECONDS, THREADS), sys.stdout)
