"""The logging bridge as Python sees it: events from the testing hooks go
through the installed bridge exactly as native events do."""

import itertools
import logging
import subprocess
import sys
import textwrap

import pytest

_prefixes = itertools.count()


@pytest.fixture
def prefix():
    # The bridge's cache lives for the process: every test needs targets of its own.
    return f"vqtest{next(_prefixes)}"


class Collect(logging.Handler):
    def __init__(self):
        super().__init__(logging.NOTSET)
        self.records = []

    def emit(self, record):
        self.records.append(record)


@pytest.fixture
def collect(prefix):
    """A handler on the prefix's Python logger, level DEBUG, not propagating."""
    logger = logging.getLogger(prefix)
    handler = Collect()
    logger.addHandler(handler)
    logger.setLevel(logging.DEBUG)
    logger.propagate = False
    yield handler
    logger.removeHandler(handler)


class Spy:
    """Stands in for `logging.getLogger`, handing out unregistered loggers
    whose isEnabledFor, makeRecord and handle calls are recorded."""

    def __init__(self, level, fail=None):
        self.level = level
        self.fail = fail
        self.calls = []
        self.loggers = {}
        self.records = []

    def _maybe_fail(self, method):
        if self.fail == method:
            self.fail = None
            raise RuntimeError(f"{method} fails")

    def __call__(self, name=None):
        self.calls.append(("getLogger", name))
        self._maybe_fail("getLogger")
        spy = self

        class SpyLogger(logging.Logger):
            def isEnabledFor(self, level):
                spy.calls.append(("isEnabledFor", level))
                spy._maybe_fail(f"isEnabledFor({level})")
                spy._maybe_fail("isEnabledFor")
                # Unregistered loggers miss the cache clearing of setLevel,
                # so answer without the cache.
                return self.manager.disable < level and level >= self.getEffectiveLevel()

            def makeRecord(self, *args):
                spy.calls.append(("makeRecord",))
                spy._maybe_fail("makeRecord")
                return super().makeRecord(*args)

            def handle(self, record):
                spy.calls.append(("handle",))
                spy._maybe_fail("handle")
                spy.records.append(record)

        logger = SpyLogger(name, self.level)
        self.loggers[name] = logger
        return logger

    def take(self):
        calls, self.calls = self.calls, []
        return calls


@pytest.fixture
def spy(monkeypatch):
    def install(level, fail=None):
        s = Spy(level, fail)
        monkeypatch.setattr(logging, "getLogger", s)
        return s

    return install


def probe_calls(*levels):
    return [("isEnabledFor", level) for level in levels]


@pytest.mark.parametrize("level", [40, 30, 20, 10])
@pytest.mark.parametrize("file, line", [("src/motor.cpp", 77), (None, None)])
def test_record_fields(testing, prefix, collect, level, file, line):
    testing.log(level, f"{prefix}::a::b::c", "50%s done %d", file, line)
    [record] = collect.records
    assert (record.name, record.levelno, record.levelname) == (
        f"{prefix}.a.b.c",
        level,
        logging.getLevelName(level),
    )
    assert (record.pathname, record.lineno) == (file, line or 0)
    # No arguments: the message reaches handlers without %-formatting.
    assert (record.msg, record.args, record.exc_info) == ("50%s done %d", (), None)
    assert record.getMessage() == "50%s done %d"


@pytest.mark.parametrize(
    "target, name",
    [("a::b::c", "a.b.c"), ("a:::b", "a.:b"), ("a.b", "a.b"), ("x::", "x."), ("é::ü", "é.ü")],
)
def test_target_becomes_logger_name(testing, prefix, collect, target, name):
    testing.log(30, f"{prefix}::{target}", "m")
    assert [r.name for r in collect.records] == [f"{prefix}.{name}"]


def test_empty_target_reaches_root_logger(testing):
    root = logging.getLogger()
    handler = Collect()
    root.addHandler(handler)
    try:
        testing.log(40, "", "to the root")
    finally:
        root.removeHandler(handler)
    # The record carries the name asked for, not the root logger's own.
    assert [(r.name, r.getMessage()) for r in handler.records] == [("", "to the root")]


def test_dotted_and_colon_targets_are_cached_apart(testing, prefix, spy):
    s = spy(logging.DEBUG)
    for _ in range(2):
        testing.log(20, f"{prefix}::a.b", "dots")
        testing.log(20, f"{prefix}::a::b", "colons")
    # Same Python logger name, two cache paths: each misses once.
    assert [c for c in s.take() if c[0] == "getLogger"] == [("getLogger", f"{prefix}.a.b")] * 2
    assert [r.getMessage() for r in s.records] == ["dots", "colons", "dots", "colons"]


def test_ceiling_and_trace(testing, prefix, collect):
    assert testing.max_level() == "Debug"
    logging.getLogger(prefix).setLevel(1)
    testing.log(5, prefix, "trace")
    assert collect.records == []
    assert [testing.enabled(level, f"{prefix}::fresh") for level in (5, 10, 20, 30, 40)] == [
        False,
        True,
        True,
        True,
        True,
    ]


def test_probe_on_first_store_then_cached_limit(testing, prefix, spy):
    s = spy(logging.WARNING)
    target = f"{prefix}::quiet"
    testing.log(20, target, "first info")
    assert s.take() == [("getLogger", f"{prefix}.quiet"), ("isEnabledFor", 20), *probe_calls(5, 10, 20, 30)]
    assert s.records == []
    assert (testing.enabled(20, target), testing.enabled(30, target)) == (False, True)

    # Made more verbose later: not seen for levels below the cached limit.
    s.loggers[f"{prefix}.quiet"].setLevel(logging.DEBUG)
    testing.log(20, target, "dropped natively")
    testing.log(10, target, "dropped natively")
    assert s.take() == []
    testing.log(30, target, "warned")
    assert s.take() == [("isEnabledFor", 30), ("makeRecord",), ("handle",)]
    assert [r.getMessage() for r in s.records] == ["warned"]

    # Made less verbose: honoured through isEnabledFor.
    s.loggers[f"{prefix}.quiet"].setLevel(logging.ERROR)
    testing.log(30, target, "refused by Python")
    assert s.take() == [("isEnabledFor", 30)]


@pytest.mark.parametrize("how", ["level", "disable"])
def test_logger_refusing_everything_is_cached_off(testing, prefix, spy, how):
    s = spy(logging.CRITICAL + 1 if how == "level" else logging.DEBUG)
    target = f"{prefix}::off"
    if how == "disable":
        logging.disable(logging.ERROR)
    try:
        testing.log(40, target, "refused")
    finally:
        logging.disable(logging.NOTSET)
    assert s.take() == [("getLogger", f"{prefix}.off"), ("isEnabledFor", 40), *probe_calls(5, 10, 20, 30, 40)]
    s.loggers[f"{prefix}.off"].setLevel(logging.DEBUG)
    testing.log(40, target, "still refused")
    assert s.take() == []
    assert not testing.enabled(40, target)


def test_parent_entry_keeps_cached_child(testing, prefix, spy):
    s = spy(logging.DEBUG)
    testing.log(20, f"{prefix}::a::b", "child")
    testing.log(20, f"{prefix}::a", "parent")
    testing.log(20, f"{prefix}::a::b", "child again")
    testing.log(20, f"{prefix}::a", "parent again")
    gets = [c for c in s.take() if c[0] == "getLogger"]
    assert gets == [("getLogger", f"{prefix}.a.b"), ("getLogger", f"{prefix}.a")]
    assert len(s.records) == 4


@pytest.mark.parametrize("method", ["getLogger", "isEnabledFor", "makeRecord", "handle"])
def test_python_error_is_printed_and_event_dropped(testing, prefix, spy, capsys, method):
    s = spy(logging.DEBUG, fail=method)
    target = f"{prefix}::err"
    testing.log(20, target, "lost")
    err = capsys.readouterr().err
    assert "Traceback (most recent call last)" in err
    assert f"RuntimeError: {method} fails" in err
    assert s.records == []
    # Nothing was cached: the next event fetches its logger again.
    s.take()
    testing.log(20, target, "delivered")
    assert s.take()[0] == ("getLogger", f"{prefix}.err")
    assert [r.getMessage() for r in s.records] == ["delivered"]


def test_failed_probe_caches_trace(testing, prefix, spy, capsys):
    s = spy(logging.DEBUG, fail="isEnabledFor(5)")
    target = f"{prefix}::probe"
    testing.log(20, target, "forwarded before the probe")
    assert s.take() == [
        ("getLogger", f"{prefix}.probe"),
        ("isEnabledFor", 20),
        ("makeRecord",),
        ("handle",),
        ("isEnabledFor", 5),
    ]
    assert "RuntimeError: isEnabledFor(5) fails" in capsys.readouterr().err
    # Cached with Trace: Debug events still ask Python.
    testing.log(10, target, "debug")
    assert s.take() == [("isEnabledFor", 10), ("makeRecord",), ("handle",)]


@pytest.mark.parametrize(
    "raised, shown",
    [("SystemExit(3)", "SystemExit: 3"), ("KeyboardInterrupt()", "KeyboardInterrupt")],
)
def test_base_exception_in_handler_does_not_end_process(testing, raised, shown):
    # In a child process: if the bridge let SystemExit through, it would end it.
    script = textwrap.dedent(
        f"""
        import logging, velquist
        class Raising(logging.Handler):
            def emit(self, record):
                raise {raised}
        logger = logging.getLogger("vqexit")
        logger.addHandler(Raising())
        logger.propagate = False
        velquist._testing.log(40, "vqexit", "raises")
        print("still running")
        """
    )
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
    assert (done.returncode, done.stdout) == (0, "still running\n")
    assert shown in done.stderr


@pytest.mark.parametrize(
    "args, kwargs, error",
    [
        ((7, "t", "m"), {}, ValueError),
        ((2**70, "t", "m"), {}, ValueError),
        (("20", "t", "m"), {}, TypeError),
        ((20, b"t", "m"), {}, TypeError),
        ((20, "t", "m"), {"file": 3}, TypeError),
        ((20, "t", "m"), {"line": 2**32}, OverflowError),
        ((20, "t\ud800", "m"), {}, UnicodeEncodeError),
    ],
)
def test_hook_argument_errors(testing, args, kwargs, error):
    with pytest.raises(error):
        testing.log(*args, **kwargs)
    if not kwargs:
        with pytest.raises(error):
            testing.enabled(*args[:2])


def test_import_after_failure_past_the_bridge_keeps_it():
    pytest.importorskip("_testcapi")
    # Each attempt fails the n-th allocation after the body's import of
    # `logging`: early ones inside the bridge's set-up, later ones after the
    # bridge is installed. Imports after those must still succeed.
    script = textwrap.dedent(
        """
        import builtins, sys, _testcapi
        real_import = builtins.__import__
        outcomes = []
        fail_at = 0

        def hooked(name, *args, **kwargs):
            module = real_import(name, *args, **kwargs)
            if name == "logging":
                outcomes.append("bridge set-up")
                _testcapi.set_nomemory(fail_at, fail_at + 1)
            return module

        builtins.__import__ = hooked
        for fail_at in range(200):
            try:
                import velquist
            except BaseException as e:
                _testcapi.remove_mem_hooks()
                outcomes.append(f"{type(e).__name__}: {e}")
                continue
            _testcapi.remove_mem_hooks()
            break
        builtins.__import__ = real_import
        for line in outcomes:
            print(line)
        import velquist, logging
        print("imported", velquist.__version__, velquist._testing.max_level())
        """
    )
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    lines = done.stdout.splitlines()
    assert lines[-1] == "imported 1.1.0 Debug"
    assert not any("SetLoggerError" in line for line in lines)
    # Some attempt failed after the set-up had finished (bridge installed) ...
    after_install = [
        i
        for i, line in enumerate(lines[:-1])
        if line != "bridge set-up" and not line.startswith("PanicException: Failed to initialize python logging: ")
    ]
    assert after_install and lines[after_install[0] - 1] == "bridge set-up"
    # ... and the next import ran no set-up again and succeeded.
    assert after_install[-1] == len(lines) - 2
    assert any(
        line.startswith("PanicException: Failed to initialize python logging: PyErr { type: <class 'MemoryError'>")
        for line in lines
    )
