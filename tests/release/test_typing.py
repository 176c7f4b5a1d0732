"""The installed stub: mypy --strict and basedpyright flag exactly the marked lines of the samples, and nothing
in the other samples or in the examples; stubtest sees no difference from the module."""

import json
import os
import re
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).parent
SAMPLES = sorted((HERE / "typing_samples").glob("*.py"))
CHECKED = [*SAMPLES, *sorted((HERE.parents[1] / "examples").glob("*.py"))]
# Away from the source tree and its paths: only the installed package answers `import velquist`.
ENV = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "MYPYPATH")}


def run(*args, cwd):
    return subprocess.run(args, cwd=cwd, env=ENV, capture_output=True, text=True, timeout=600)


def marked(checker):
    """(file name, line, rule) of each `checker[rule]` marker in the checked files."""
    lines = [(path.name, n, line) for path in CHECKED for n, line in enumerate(path.read_text().splitlines(), 1)]
    return {(name, n, rule) for name, n, line in lines for rule in re.findall(rf"\b{checker}\[(\w[\w-]*)\]", line)}


def test_mypy_flags_exactly_the_marked_lines(tmp_path):
    result = run(sys.executable, "-m", "mypy", "--strict", "--cache-dir", tmp_path, *CHECKED, cwd=tmp_path)
    found = re.findall(r"^(?:.*/)?([\w.]+\.py):(\d+): error: .*\[([a-z-]+)\]$", result.stdout, re.M)
    flagged = {(name, int(n), rule) for name, n, rule in found}
    assert len(flagged) > 20 and flagged == marked("mypy"), result.stdout + result.stderr


def test_basedpyright_flags_exactly_the_marked_lines(tmp_path):
    # basedpyright comes with requirements/release-checks.txt, beside this interpreter (with its own node).
    checker = Path(sys.executable).parent / "basedpyright"
    result = run(checker, "--outputjson", "--level", "error", "--pythonpath", sys.executable, *CHECKED, cwd=tmp_path)
    report = json.loads(result.stdout)
    diagnostics = [d for d in report["generalDiagnostics"] if d["severity"] == "error"]
    flagged = {(Path(d["file"]).name, d["range"]["start"]["line"] + 1, d.get("rule", "")) for d in diagnostics}
    assert len(flagged) > 20 and flagged == marked("pyright"), json.dumps(diagnostics, indent=1)


def test_stubtest_finds_no_difference_from_the_module(tmp_path):
    result = run(sys.executable, "-m", "mypy.stubtest", "velquist", cwd=tmp_path)
    assert result.returncode == 0, result.stdout + result.stderr
