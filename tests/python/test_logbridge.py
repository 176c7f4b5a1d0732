"""The logging bridge as Python sees it: events from the testing hooks go
through the installed bridge exactly as native events do."""

import contextlib
import itertools
import logging
import subprocess
import sys

import pytest
from hypothesis import example, given, settings, strategies as st

_prefixes = itertools.count()
LEVELS = (5, 10, 20, 30, 40)  # Trace to Error: the probe order
OFF = 99  # the cached limit of a logger that accepts no level


def fresh_prefix():
    # The bridge's cache lives for the process: every case needs targets of its own.
    return f"vqtest{next(_prefixes)}"


class SpyLogger(logging.Logger):
    """An unregistered logger recording the bridge's calls on its spy."""

    def __init__(self, spy, name, level):
        super().__init__(name, level)
        self.spy = spy

    def isEnabledFor(self, level):
        self.spy.call("isEnabledFor", level)
        return level >= self.level

    def makeRecord(self, *args):
        self.spy.call("makeRecord")
        return super().makeRecord(*args)

    def handle(self, record):
        self.spy.call("handle")
        self.spy.records.append(record)


class Spy:
    """Stands in for `logging.getLogger`: one SpyLogger per name. The call
    equal to `fail` (or of that method) raises `error`, once."""

    def __init__(self):
        self.calls, self.records, self.loggers = [], [], {}
        self.fail = self.error = None

    def call(self, *call):
        self.calls.append(call)
        if self.fail in (call, call[0]):
            self.fail = None
            raise self.error

    def logger(self, name):
        return self.loggers.setdefault(name, SpyLogger(self, name, logging.DEBUG))

    def __call__(self, name):
        self.call("getLogger", name)
        return self.logger(name)

    def take(self):
        calls, self.calls = self.calls, []
        return calls


@contextlib.contextmanager
def spying():
    real, logging.getLogger = logging.getLogger, Spy()
    try:
        yield logging.getLogger
    finally:
        logging.getLogger = real


def expected_calls(level, target, name, python_level, limits):
    """The bridge's calls for one event; updates `limits`, the model cache."""
    if level < max(10, limits.get(target, 0)):  # the default limit is Debug
        return []
    calls = [] if target in limits else [("getLogger", name)]
    calls.append(("isEnabledFor", level))
    if level >= python_level:
        calls += [("makeRecord",), ("handle",)]
    if target not in limits:
        accepted = [n for n in LEVELS if n >= python_level]
        probed = LEVELS[: LEVELS.index(accepted[0]) + 1] if accepted else LEVELS
        calls += [("isEnabledFor", n) for n in probed]
        limits[target] = accepted[0] if accepted else OFF
    return calls


step = st.tuples(st.sampled_from(["a", "a::b", "a.b", "a::b::c", "a:::b", "::"]), st.sampled_from(LEVELS),
                 st.sampled_from([None, 5, 10, 20, 30, 40, 50]))


@settings(derandomize=True, database=None, max_examples=60)
@given(st.lists(step, max_size=8), st.sampled_from([(None, None), ("src/motor.cpp", 77), ("f", 2**32 - 1)]))
# Cached Warn: later Info/Debug dropped natively even after the logger is made more verbose.
@example([("a", 20, 30), ("a", 20, 10), ("a", 10, None), ("a", 30, 40), ("a", 5, 5)], (None, None))
# "a::b" then "a" keeps the child; "a.b" reaches the same logger but has its own entry.
@example([("a::b", 30, None), ("a", 30, None), ("a::b", 30, None), ("a.b", 30, None)], (None, None))
@example([("a", 40, 50), ("a", 40, 5)], (None, None))  # cached Off
def test_bridge_against_model(testing, steps, where):
    prefix, limits = fresh_prefix(), {}
    with spying() as spy:
        for target, level, python_level in steps:
            target = f"{prefix}::{target}"
            name = target.replace("::", ".")
            if python_level is not None:
                spy.logger(name).setLevel(python_level)
            testing.log(level, target, "50%s done", *where)
            assert spy.take() == expected_calls(level, target, name, spy.logger(name).level, limits)
            assert testing.enabled(level, target) == (level >= max(10, limits.get(target, 0)))
            if spy.records:
                record = spy.records.pop()
                fields = (record.name, record.levelno, record.pathname, record.lineno, record.msg, record.args)
                assert fields == (name, level, where[0], where[1] or 0, "50%s done", ())
                assert record.exc_info is None and record.getMessage() == "50%s done"


def test_records_reach_registered_loggers(testing):
    prefix = fresh_prefix()
    records = []
    handler = logging.Handler()
    handler.emit = records.append
    logging.getLogger(prefix).setLevel(logging.DEBUG)
    logging.getLogger().addHandler(handler)
    try:
        testing.log(10, f"{prefix}::a::b::c", "%s", "src/motor.cpp", 7)
        testing.log(30, f"{prefix}::a:::b", "x")
        testing.log(40, "", "to the root")  # getLogger("") is the root logger
    finally:
        logging.getLogger().removeHandler(handler)
    names = [(r.name.replace(prefix, "P"), r.levelname, r.pathname, r.lineno, r.getMessage()) for r in records]
    assert names == [
        ("P.a.b.c", "DEBUG", "src/motor.cpp", 7, "%s"),
        ("P.a.:b", "WARNING", None, 0, "x"),
        ("", "ERROR", None, 0, "to the root"),
    ]


@pytest.mark.parametrize(
    "fail, error, shown",
    [
        ("getLogger", RuntimeError("no logger"), "RuntimeError: no logger"),
        (("isEnabledFor", 20), LookupError("no answer"), "LookupError: no answer"),
        ("makeRecord", ValueError("no record"), "ValueError: no record"),
        # Shown like any other error, not ending the process.
        ("handle", SystemExit(3), "SystemExit: 3"),
        # The probe comes after the record: its failure caches the limit Trace.
        (("isEnabledFor", 5), RuntimeError("no probe"), "RuntimeError: no probe"),
    ],
)
def test_python_error_is_printed_and_event_dropped(testing, capsys, fail, error, shown):
    target = f"{fresh_prefix()}::err"
    with spying() as spy:
        spy.fail, spy.error = fail, error
        testing.log(20, target, "first")
        err = capsys.readouterr().err
        assert err.startswith("Traceback (most recent call last):\n") and err.endswith(f"\n{shown}\n")
        probe_failed = fail == ("isEnabledFor", 5)
        assert len(spy.records) == probe_failed
        spy.take()
        testing.log(20, target, "second")
        assert spy.take()[0] == (("isEnabledFor", 20) if probe_failed else ("getLogger", target.replace("::", ".")))
        assert len(spy.records) == 1 + probe_failed


def test_failed_logging_import_fails_the_module_import():
    script = (
        "import sys\nsys.modules['logging'] = None\ntry:\n    import velquist\n"
        "except BaseException as e:\n    print(type(e).__name__, e, sep=': ')\n"
        "del sys.modules['logging']\nimport velquist\nprint(velquist._testing.enabled(10, 'x'))\n"
    )
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
    assert done.stdout == (
        "PanicException: Failed to initialize python logging: PyErr { type: <class 'ModuleNotFoundError'>, "
        "value: ModuleNotFoundError('import of logging halted; None in sys.modules'), traceback: None }\nTrue\n"
    )
