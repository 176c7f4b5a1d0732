"""Leaks: every callable, on its success and on its error paths, leaves the
number of allocated blocks, the reference counts of its arguments and of
the five classes where they were, over many repeated calls."""

import gc
import logging
import sys
import types

import pytest

import reliability_calls as rc
import velquist

CALLS = 10_000
ROUNDS = 3
BLOCK_TOLERANCE = 8  # interpreter caches (free lists, method caches) may settle by a few
CLASSES = [getattr(velquist, n) for n in ("MitLimits", "MitSetpoint", "ControlSetpoint", "MotorState", "Damiao")]
CASES = rc.build_cases()


def watched_objects(case):
    """The objects a call hands to the module: closure values and literal
    constants of the case's function, and the classes."""
    objects = list(CLASSES)
    function = case.call
    if isinstance(function, types.FunctionType):
        objects += [cell.cell_contents for cell in function.__closure__ or ()]
        objects += [c for c in function.__code__.co_consts if c is not None and not isinstance(c, types.CodeType)]
    return objects


def repeat(case, count):
    call = case.call
    if isinstance(case.expect, BaseException):
        kind = type(case.expect)
        for _ in range(count):
            try:
                call()
            except kind:
                pass
    else:
        for _ in range(count):
            call()


def measure(run, watched):
    """(fewest blocks gained over one of ROUNDS rounds of `run()`, reference
    counts of `watched` that moved). A leak gains in every round; a cache
    settling gains in one only."""
    gc.collect()
    gc.disable()
    try:
        # warm up in the collector state of the measurement: caches fill differently with it on
        run()
        refs_before = [sys.getrefcount(o) for o in watched]
        gains = []
        for _ in range(ROUNDS):
            blocks_before = sys.getallocatedblocks()
            run()
            gains.append(sys.getallocatedblocks() - blocks_before)
        refs_after = [sys.getrefcount(o) for o in watched]
    finally:
        gc.enable()
    moved = [(repr(o)[:60], a, b) for o, a, b in zip(watched, refs_before, refs_after) if a != b]
    return min(gains), moved


@pytest.mark.parametrize("case", CASES, ids=[c.name for c in CASES])
def test_repeated_calls_leave_memory_and_reference_counts_flat(case):
    case.run_checked()
    gained, moved = measure(lambda: repeat(case, CALLS), watched_objects(case))
    assert not moved, f"reference counts moved over {CALLS} calls: {moved}"
    assert gained <= BLOCK_TOLERANCE, f"{gained} blocks more after {CALLS} calls, in every round"


class Discard(logging.Handler):
    def emit(self, record):
        pass


class Failing(logging.Handler):
    def emit(self, record):
        raise RuntimeError("handler fails")


class Sink:
    """Stands in for sys.stderr: the bridge prints a failed event's traceback."""

    def write(self, text):
        return len(text)

    def flush(self):
        pass


LOG_PATHS = {
    "forwarded": (Discard, logging.DEBUG, 20),
    "rejected by the logger": (Discard, logging.ERROR, 20),
    "handler raises": (Failing, logging.DEBUG, 20),
}


@pytest.mark.parametrize("path", list(LOG_PATHS))
def test_repeated_native_log_events_leave_memory_flat(testing, path, monkeypatch):
    handler_class, level, event_level = LOG_PATHS[path]
    name = f"vqleak{len(path)}{handler_class.__name__}{level}"
    logger = logging.getLogger(name)
    logger.addHandler(handler_class())
    logger.setLevel(level)
    logger.propagate = False
    monkeypatch.setattr(sys, "stderr", Sink())
    target, message = f"{name}::motor", "state %d"
    log = testing.log

    def run():
        for _ in range(CALLS):
            log(event_level, target, message, None, None)

    gained, moved = measure(run, (logger, target, message))
    assert not moved
    assert gained <= BLOCK_TOLERANCE, f"{gained} blocks more after {CALLS} events, in every round"
