"""Checks of the build that users install: no testing hooks, one export."""

import pathlib
import shutil
import subprocess

import pytest

import velquist


def test_released_build_has_no_testing_hooks():
    assert not hasattr(velquist, "_testing")
    assert "_testing" not in velquist.__all__


@pytest.mark.skipif(shutil.which("nm") is None, reason="nm not installed")
def test_library_exports_only_the_init_function():
    library = pathlib.Path(velquist.__file__)
    assert library.name.startswith("velquist.cpython-313")
    out = subprocess.run(["nm", "-D", "--defined-only", str(library)], check=True, capture_output=True, text=True)
    symbols = [line.split()[-1] for line in out.stdout.splitlines() if line.strip()]
    assert symbols == ["PyInit_velquist"]
