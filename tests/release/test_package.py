"""The package as an index and its users see it: the wheel and the sdist pass twine's strict check, the wheel's
contents check and the metadata schema; both carry the licence; pyroma asks only for what needs a public
address; the examples run against the installed module."""

import re
import subprocess
import sys
import tarfile
import zipfile
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
DIST = ROOT / "build" / "dist"
TOOLS = Path(sys.executable).parent  # requirements/release-checks.txt installs them beside this interpreter


def dist(pattern):
    found = sorted(DIST.glob(pattern))
    if len(found) != 1:
        pytest.skip(f"no single {pattern} in {DIST} (scripts/run-tests builds them)")
    return found[0]


def check(tool, *args):
    """Runs a check tool from the project root (where its settings live); its output if it passes."""
    if not (TOOLS / tool).exists():
        pytest.skip(f"{tool} not installed (requirements/release-checks.txt)")
    result = subprocess.run([TOOLS / tool, *map(str, args)], cwd=ROOT, capture_output=True, text=True, timeout=600)
    assert result.returncode == 0, result.stdout + result.stderr
    return result.stdout


def test_wheel_and_sdist_pass_the_index_checks():
    wheel, sdist = dist("velquist-*.whl"), dist("velquist-*.tar.gz")
    check("twine", "check", "--strict", wheel, sdist)
    check("check-wheel-contents", wheel)
    check("validate-pyproject", ROOT / "pyproject.toml")


def test_both_carry_the_licence_and_its_expression():
    licence = (ROOT / "LICENSE").read_bytes()
    with zipfile.ZipFile(dist("velquist-*.whl")) as wheel:
        info = next(n for n in wheel.namelist() if n.endswith(".dist-info/METADATA"))
        metadata = wheel.read(info).decode()
        assert wheel.read(info.replace("METADATA", "licenses/LICENSE")) == licence
    with tarfile.open(dist("velquist-*.tar.gz")) as sdist:
        member = next(m for m in sdist.getmembers() if m.name.count("/") == 1 and m.name.endswith("/LICENSE"))
        assert sdist.extractfile(member).read() == licence
    assert re.search(r"^Metadata-Version: 2\.[4-9]$", metadata, re.M)
    assert "\nLicense-Expression: MIT\n" in metadata and "\nLicense-File: LICENSE\n" in metadata


def test_pyroma_asks_only_for_a_public_address():
    out = check("pyroma", dist("velquist-*.tar.gz"))
    complaints = out.split("-" * 30)[2].strip().splitlines()
    # An author e-mail and a home page both need an address the project does not have yet.
    assert all(re.search(r"author-email|'url' field", c) for c in complaints), out


@pytest.mark.parametrize("example", sorted((ROOT / "examples").glob("*.py")), ids=lambda p: p.name)
def test_example_runs_against_the_installed_module(example, tmp_path):
    # From a folder of its own, so only the installed module answers `import velquist`.
    result = subprocess.run([sys.executable, example], cwd=tmp_path, capture_output=True, text=True, timeout=300)
    assert result.returncode == 0, result.stdout + result.stderr
