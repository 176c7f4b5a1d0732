"""The stub that the build in use generated is the shipped one, byte for byte."""

from pathlib import Path

import velquist


def test_generated_stub_is_the_shipped_one():
    # Installed beside the module; in a CMake build tree, where src/stubs writes it.
    here = Path(velquist.__file__).parent
    found = [p for d in ("velquist-stubs", "src/stubs/velquist-stubs") if (p := here / d / "__init__.pyi").is_file()]
    assert found, f"no generated stub beside {velquist.__file__}"
    assert found[0].read_bytes() == (Path(__file__).parents[2] / "stubs/velquist-stubs/__init__.pyi").read_bytes()
