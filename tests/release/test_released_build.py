"""Checks of the build that users install: no testing hooks, one export, a
self-contained library (the C++ runtime linked in) and no trace of the
machine that built it."""

import os
import pathlib
import re
import shutil
import subprocess
import sys

import pytest

import velquist

LIBRARY = pathlib.Path(velquist.__file__)
ROOT = pathlib.Path(__file__).resolve().parents[2]
needs_binutils = pytest.mark.skipif(
    not all(shutil.which(tool) for tool in ("nm", "readelf", "strings")), reason="binutils not installed"
)


def tool_output(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout


def test_released_build_has_no_testing_hooks():
    assert not hasattr(velquist, "_testing")
    assert "_testing" not in velquist.__all__


@needs_binutils
def test_library_exports_only_the_init_function():
    assert LIBRARY.name.startswith("velquist.cpython-313")
    out = tool_output("nm", "-D", "--defined-only", str(LIBRARY))
    symbols = [line.split()[-1] for line in out.splitlines() if line.strip()]
    assert symbols == ["PyInit_velquist"]


@needs_binutils
def test_library_needs_no_cxx_runtime():
    dynamic = tool_output("readelf", "-d", "-W", str(LIBRARY))
    needed = re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", dynamic)
    # glibc's own libraries only: no libstdc++, no libgcc_s.
    assert needed and all(re.fullmatch(r"libc\.so\.6|libm\.so\.6|ld-linux[\w.-]*\.so\.\d", n) for n in needed), needed
    versions = tool_output("readelf", "-V", "-W", str(LIBRARY))
    assert not re.search(r"GLIBCXX|CXXABI|GCC_\d", versions), versions


def built_wheel():
    """The wheel the library was installed from: $VELQUIST_WHEEL, else the one
    scripts/run-tests builds into build/dist."""
    if os.environ.get("VELQUIST_WHEEL"):
        return pathlib.Path(os.environ["VELQUIST_WHEEL"])
    wheels = sorted((ROOT / "build" / "dist").glob("velquist-*.whl"))
    if len(wheels) != 1:
        pytest.skip(f"no single wheel in {ROOT / 'build' / 'dist'}")
    return wheels[0]


def test_wheel_references_no_cxx_runtime_versions():
    # auditwheel comes with requirements/release.txt, beside this interpreter.
    auditwheel = pathlib.Path(sys.executable).parent / "auditwheel"
    if not auditwheel.exists():
        pytest.skip("auditwheel not installed (requirements/release.txt)")
    report = subprocess.run([auditwheel, "show", str(built_wheel())], check=True, capture_output=True, text=True)
    text = report.stdout + report.stderr
    assert "is consistent with the" in text, text
    for marker in ("GLIBCXX", "CXXABI", "libstdc++", "libgcc_s"):
        assert marker not in text, text


@needs_binutils
def test_library_holds_no_build_tree_path():
    text = tool_output("strings", "-a", str(LIBRARY))
    assert str(ROOT) not in text
    # The module's own source names, kept for panic reports, are relative to
    # the project root.
    sources = set(re.findall(r"\S*\b(?:frame|python|logbridge|stubs)/\w+\.[ch]pp", text))
    assert sources and all(s.startswith("src/") for s in sources), sources


def test_panic_report_names_a_path_relative_to_the_project_root(tmp_path):
    """A panic thrown and caught inside the library (the C++ runtime linked in)
    becomes PanicException, and its report names the source file relative to
    the project root. The logging bridge panics when `logging` cannot load."""
    script = "import sys\nsys.modules['logging'] = None\nimport velquist\n"
    done = subprocess.run([sys.executable, "-c", script], cwd=tmp_path, capture_output=True, text=True, timeout=60)
    assert done.returncode == 1
    assert re.search(r"^thread '[^']*' panicked at src/logbridge/\w+\.cpp:\d+:\d+:$", done.stderr, re.M), done.stderr
    assert (
        done.stderr.rstrip()
        .splitlines()[-1]
        .startswith("pyo3_runtime.PanicException: Failed to initialize python logging: ")
    ), done.stderr
