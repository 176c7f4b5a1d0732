"""The installed stub: mypy --strict flags exactly the marked sample lines, stubtest sees no difference."""

import os
import re
import subprocess
import sys
from pathlib import Path

SAMPLES = sorted((Path(__file__).parent / "typing_samples").glob("*.py"))
# Away from the source tree and its paths: only the installed package answers `import velquist`.
ENV = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "MYPYPATH")}


def run(*args, cwd):
    return subprocess.run([sys.executable, "-m", *args], cwd=cwd, env=ENV, capture_output=True, text=True, timeout=300)


def test_mypy_flags_exactly_the_marked_lines(tmp_path):
    result = run("mypy", "--strict", "--cache-dir", str(tmp_path), *map(str, SAMPLES), cwd=tmp_path)
    flagged = set(re.findall(r"(\w+\.py):(\d+): error: .*\[([a-z-]+)\]$", result.stdout, re.M))
    lines = [(s.name, n, line) for s in SAMPLES for n, line in enumerate(s.read_text().splitlines(), 1)]
    marked = {(name, str(n), code) for name, n, line in lines for code in re.findall(r"# error: \[([a-z-]+)\]", line)}
    assert len(marked) > 10 and flagged == marked, result.stdout + result.stderr


def test_stubtest_finds_no_difference_from_the_module(tmp_path):
    result = run("mypy.stubtest", "velquist", cwd=tmp_path)
    assert result.returncode == 0, result.stdout + result.stderr
