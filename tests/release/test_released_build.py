"""Checks of the installed released module, run by its own interpreter: no
testing hooks, and panics caught inside it (the C++ runtime linked in) are
reported with paths relative to the project root. The wheel's files are
checked in test_wheels.py."""

import re
import subprocess
import sys

import velquist


def test_released_build_has_no_testing_hooks():
    assert not hasattr(velquist, "_testing")
    assert "_testing" not in velquist.__all__


def test_panic_report_names_a_path_relative_to_the_project_root(tmp_path):
    # The logging bridge panics when `logging` cannot load.
    script = "import sys\nsys.modules['logging'] = None\nimport velquist\n"
    done = subprocess.run([sys.executable, "-c", script], cwd=tmp_path, capture_output=True, text=True, timeout=60)
    assert done.returncode == 1
    assert re.search(r"^thread '[^']*' panicked at src/logbridge/\w+\.cpp:\d+:\d+:$", done.stderr, re.M), done.stderr
    last = done.stderr.rstrip().splitlines()[-1]
    assert last.startswith("pyo3_runtime.PanicException: Failed to initialize python logging: "), done.stderr
