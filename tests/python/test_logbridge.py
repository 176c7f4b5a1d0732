"""The logging bridge as Python sees it, through the installed bridge as native events go."""

import itertools
import logging
import os
import subprocess
import sys

import pytest
from hypothesis import HealthCheck, example, given, settings
from hypothesis import strategies as st

import model

prefixes = (f"vqtest{n}" for n in itertools.count())  # the cache lives for the process: fresh targets
LEVELS = (5, 10, 20, 30, 40)  # Trace to Error: the probe order
NAMES = {"a": "a", "a::b": "a.b", "a.b": "a.b", "a::b::c": "a.b.c", "a:::b": "a.:b", "::": "."}  # target: logger name


class Spy(logging.Logger):
    """Unregistered loggers recording the bridge's calls; the call `fail` (or its method) raises `error` once."""

    @staticmethod
    def call(*call):
        Spy.calls.append(call)
        if Spy.fail in (call, call[0]):
            Spy.fail = None
            raise Spy.error

    @staticmethod
    def get(name=None):
        if name is None:  # pytest's own logging asks for the root logger
            return logging.root
        return Spy.call("getLogger", name) or Spy.loggers.setdefault(name, Spy(name, logging.DEBUG))

    def isEnabledFor(self, level):
        return self.call("isEnabledFor", level) or level >= self.level

    def makeRecord(self, *args):
        return self.call("makeRecord") or super().makeRecord(*args)

    def handle(self, record):
        self.call("handle")
        Spy.records.append(record)


@pytest.fixture
def spy(monkeypatch):
    Spy.calls, Spy.records, Spy.loggers, Spy.fail = [], [], {}, None
    monkeypatch.setattr(logging, "getLogger", Spy.get)
    return Spy


def expected_calls(level, target, name, python_level, limits):
    """The bridge's calls for one event; `limits` is the model's cache."""
    if level < max(10, limits.get(target, 0)):  # the default limit is Debug
        return []
    calls = [] if target in limits else [("getLogger", name)]
    calls += [("isEnabledFor", level)] + [("makeRecord",), ("handle",)] * (level >= python_level)
    if target not in limits:
        accepted = [n for n in LEVELS if n >= python_level] + [99]  # 99: accepts none, Off
        calls += [("isEnabledFor", n) for n in LEVELS if n <= accepted[0]]
        limits[target] = accepted[0]
    return calls


STEP = st.tuples(st.sampled_from(list(NAMES)), st.sampled_from(LEVELS), st.sampled_from([None, *LEVELS, 50]))


@settings(max_examples=model.scaled(60), suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(st.lists(STEP, max_size=8), st.sampled_from([(None, None), ("src/motor.cpp", 77), ("f", 2**32 - 1)]))
# Cached Warn: later Info/Debug dropped natively even once the logger is more verbose.
@example([("a", 20, 30), ("a", 20, 10), ("a", 10, None), ("a", 30, 40), ("a", 5, 5)], (None, None))
# "a::b" then "a" keeps the child; "a.b" reaches the same logger but has its own entry.
@example([("a::b", 30, None), ("a", 30, None), ("a::b", 30, None), ("a.b", 30, None)], (None, None))
@example([("a", 40, 50), ("a", 40, 5)], (None, None))  # cached Off
def test_bridge_against_model(testing, spy, steps, where):
    prefix, limits = next(prefixes), {}
    for target, level, python_level in steps:
        target, name = f"{prefix}::{target}", f"{prefix}.{NAMES[target]}"
        logger, spy.calls, spy.records = spy.get(name), [], []  # that call is not the bridge's
        logger.setLevel(python_level or logger.level)
        testing.log(level, target, "50%s done", *where)
        assert spy.calls == expected_calls(level, target, name, logger.level, limits)
        assert testing.enabled(level, target) == (level >= max(10, limits.get(target, 0)))
        got = [(r.name, r.levelno, r.pathname, r.lineno, r.msg, r.args, r.exc_info) for r in spy.records]
        assert got == [(name, level, where[0], where[1] or 0, "50%s done", (), None)] * len(got)


FAILURES = [("getLogger", RuntimeError("no logger"), "RuntimeError: no logger")]
FAILURES += [("makeRecord", ValueError("no record"), "ValueError: no record")]
FAILURES += [("handle", SystemExit(3), "SystemExit: 3")]  # shown like any other error; the process goes on
FAILURES += [(("isEnabledFor", 5), KeyError("probe"), "KeyError: 'probe'")]  # after the record: Trace is cached


@pytest.mark.parametrize("fail, error, shown", FAILURES)
def test_python_error_is_printed_and_event_dropped(testing, spy, capsys, fail, error, shown):
    target = f"{next(prefixes)}::e"
    spy.fail, spy.error = fail, error
    testing.log(20, target, "first")
    err = capsys.readouterr().err
    assert err.startswith("Traceback (most recent call last):\n") and err.endswith(f"\n{shown}\n")
    probed, spy.calls = fail == ("isEnabledFor", 5), []
    assert len(spy.records) == probed
    testing.log(20, target, "second")
    assert spy.calls[0] == (("isEnabledFor", 20) if probed else ("getLogger", target.replace("::", ".")))
    assert len(spy.records) == 1 + probed


def test_import_with_failing_allocations_then_bridge_references():
    pytest.importorskip("_testcapi")
    script = """if 1:
        import builtins, sys, types, _testcapi
        from interpreter import counted
        # Names built at run time, whose counts show the bridge's references where they are counted.
        names = [a + b for a, b in [("get", "Logger"), ("isEnabled", "For"), ("make", "Record")]]
        held = [types.ModuleType("logging"), *map(sys.intern, names)]
        held = [h for h in held if counted(h)]
        sys.modules["logging"], real_import, errors = held[0], builtins.__import__, []
        before = [sys.getrefcount(held[i]) for i in range(len(held))]
        def failing_import(name, *args):  # the n-th allocation after the import of `logging` fails
            module = real_import(name, *args)
            if name == "logging":
                _testcapi.set_nomemory(n, n + 1)
            return module
        builtins.__import__ = failing_import
        for n in range(200):
            try:
                import velquist
                break
            except BaseException as e:
                errors.append(f"{type(e).__name__}: {e}")
            finally:
                _testcapi.remove_mem_hooks()
        print(errors[0], {sys.getrefcount(held[i]) - before[i] for i in range(len(held))}, sep="\\n")
    """
    where = {"cwd": os.path.dirname(__file__), "timeout": 60}  # where `interpreter` is found
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, **where)
    error = "PyErr { type: <class 'MemoryError'>, value: MemoryError(), traceback: None }"
    assert done.stdout == f"PanicException: Failed to initialize python logging: {error}\n{{1}}\n"  # the bridge's own


def test_published_ceiling(testing):
    assert testing.max_level() == "Debug"  # the default limit, with an empty per-target table
