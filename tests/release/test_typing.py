"""The shipped type stub: installed where type checkers find it, equal to
the checked-in copy, accepted by stubtest against the real module, and
strict enough that mypy flags wrong calls in user code."""

import os
import pathlib
import re
import shutil
import subprocess
import sys

import pytest

import velquist

SAMPLES = pathlib.Path(__file__).parent / "typing_samples"
CHECKED_IN_STUB = pathlib.Path(__file__).parents[2] / "stubs" / "velquist-stubs" / "__init__.pyi"
MYPY_LINE = re.compile(r"^(?P<file>[^:]+):(?P<line>\d+): (?P<severity>error|note): (?P<message>.*?)(?:  \[(?P<code>[a-z-]+)\])?$")
MARKER = re.compile(r"# error: \[(?P<code>[a-z-]+)\]")


def run_tool(args, cwd):
    """Runs a checker of this environment away from the source tree, so only
    the installed package and its stub can answer `import velquist`."""
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "MYPYPATH")}
    return subprocess.run([sys.executable, "-m", *args], cwd=cwd, env=env, capture_output=True, text=True, timeout=300)


@pytest.fixture(scope="module")
def mypy_errors(tmp_path_factory):
    """mypy --strict over both samples: {file name: {(line, code), ...}}."""
    work = tmp_path_factory.mktemp("typing")
    for sample in SAMPLES.glob("*.py"):
        shutil.copy(sample, work / sample.name)
    result = run_tool(["mypy", "--strict", "--show-error-codes", "--cache-dir", str(work / "cache"),
                       "correct_usage.py", "wrong_usage.py"], work)
    errors = {"correct_usage.py": set(), "wrong_usage.py": set()}
    for line in result.stdout.splitlines():
        m = MYPY_LINE.match(line)
        if m and m["severity"] == "error":
            errors[m["file"]].add((int(m["line"]), m["code"]))
    assert result.returncode in (0, 1), result.stdout + result.stderr
    return errors, result.stdout


def test_stub_is_installed_beside_the_extension():
    stub = pathlib.Path(velquist.__file__).parent / "velquist-stubs" / "__init__.pyi"
    assert stub.is_file()
    assert stub.read_text() == CHECKED_IN_STUB.read_text(), (
        "stubs/velquist-stubs/__init__.pyi differs from the stub the build generated; "
        "regenerate it with velquist_stubgen --output")


def test_mypy_accepts_correct_usage(mypy_errors):
    errors, output = mypy_errors
    assert errors["correct_usage.py"] == set(), output


def test_mypy_flags_exactly_the_wrong_calls(mypy_errors):
    errors, output = mypy_errors
    expected = set()
    for number, text in enumerate((SAMPLES / "wrong_usage.py").read_text().splitlines(), start=1):
        if m := MARKER.search(text):
            expected.add((number, m["code"]))
    assert len(expected) > 20
    assert errors["wrong_usage.py"] == expected, output


def test_stubtest_finds_no_difference_from_the_module(tmp_path):
    result = run_tool(["mypy.stubtest", "velquist"], tmp_path)
    assert result.returncode == 0, result.stdout + result.stderr
