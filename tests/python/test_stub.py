"""The stub that the build in use generated is the shipped one, byte for byte, and its preset docstrings tell
the values the presets hold."""

import ast
from pathlib import Path

import velquist

SHIPPED = Path(__file__).parents[2] / "stubs/velquist-stubs/__init__.pyi"


def test_generated_stub_is_the_shipped_one():
    # Installed beside the module; in a CMake build tree, where src/stubs writes it.
    here = Path(velquist.__file__).parent
    found = [p for d in ("velquist-stubs", "src/stubs/velquist-stubs") if (p := here / d / "__init__.pyi").is_file()]
    assert found, f"no generated stub beside {velquist.__file__}"
    assert found[0].read_bytes() == SHIPPED.read_bytes()


def test_preset_docstrings_tell_the_values_the_presets_hold():
    tree = ast.parse(SHIPPED.read_text())
    limits = next(n for n in tree.body if isinstance(n, ast.ClassDef) and n.name == "MitLimits")
    static = [f for f in limits.body if isinstance(f, ast.FunctionDef) and f.decorator_list]
    presets = {f.name: ast.get_docstring(f) for f in static if ast.unparse(*f.decorator_list) == "staticmethod"}
    assert len(presets) == 15
    for name, doc in presets.items():
        # The values as repr writes them, between "MitLimits(" and ")".
        assert doc == f"The {name} preset: {repr(getattr(velquist.MitLimits, name)())[10:-1]}.", name
