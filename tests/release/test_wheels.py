"""Checks of the wheels that ship, read as files, whatever machine they are for: the module exports one function,
needs nothing but glibc (at the floor of the wheel's tag), holds no trace of the machine that built it, and carries
the stub."""

import io
import os
import pathlib
import re
import subprocess
import sys
import zipfile

import pytest
from elftools.elf.dynamic import DynamicSection
from elftools.elf.elffile import ELFFile
from elftools.elf.gnuversions import GNUVerNeedSection

ROOT = pathlib.Path(__file__).resolve().parents[2]
# $VELQUIST_WHEELS (paths separated by os.pathsep), else what scripts/build-wheels left in dist/.
WHEELS = [pathlib.Path(p) for p in os.environ.get("VELQUIST_WHEELS", "").split(os.pathsep) if p]
WHEELS = WHEELS or sorted((ROOT / "dist").glob("velquist-*.whl"))
# glibc's own libraries: libpthread and libdl are separate up to glibc 2.33.
GLIBC_LIBRARIES = r"libc\.so\.6|libm\.so\.6|libpthread\.so\.0|libdl\.so\.2|ld-linux[\w.-]*\.so\.\d"
MACHINES = {"x86_64": "EM_X86_64", "aarch64": "EM_AARCH64"}

pytestmark = pytest.mark.skipif(not WHEELS, reason="no wheel built (scripts/build-wheels)")


class Wheel:
    def __init__(self, path):
        self.path = path
        self.tag = re.fullmatch(r"velquist-[^-]+-(cp\d+)-(cp\d+t?)-(.+)\.whl", path.name)
        with zipfile.ZipFile(path) as archive:
            self.files = {name: archive.read(name) for name in archive.namelist()}
        [self.module_name] = [n for n in self.files if n.endswith(".so")]
        self.module = self.files[self.module_name]
        self.elf = ELFFile(io.BytesIO(self.module))

    def section(self, kind):
        return next(s for s in self.elf.iter_sections() if isinstance(s, kind))


@pytest.fixture(scope="module", params=WHEELS, ids=lambda p: p.name)
def wheel(request):
    return Wheel(request.param)


def test_wheel_is_tagged_for_the_machine_its_module_runs_on(wheel):
    assert wheel.tag, wheel.path.name
    python, abi, platforms = wheel.tag.groups()
    machine = wheel.elf["e_machine"]
    [arch] = [a for a, m in MACHINES.items() if m == machine]
    assert platforms == f"manylinux2014_{arch}.manylinux_2_17_{arch}"
    assert wheel.module_name == f"velquist.cpython-{abi[2:]}-{arch}-linux-gnu.so"
    assert python == abi.removesuffix("t")  # cp313-cp313, cp313-cp313t


def test_module_exports_only_the_init_function(wheel):
    symbols = wheel.elf.get_section_by_name(".dynsym").iter_symbols()
    exported = [s.name for s in symbols if s["st_shndx"] != "SHN_UNDEF" and s["st_info"]["bind"] != "STB_LOCAL"]
    assert exported == ["PyInit_velquist"]


def test_module_needs_only_glibc_at_the_floor_of_its_tag(wheel):
    needed = [t.needed for t in wheel.section(DynamicSection).iter_tags() if t.entry.d_tag == "DT_NEEDED"]
    assert needed and all(re.fullmatch(GLIBC_LIBRARIES, n) for n in needed), needed
    versions = {(v.name, aux.name) for v, auxes in wheel.section(GNUVerNeedSection).iter_versions() for aux in auxes}
    assert {file for file, _ in versions} <= set(needed)
    assert all(re.fullmatch(r"GLIBC_2\.(\d+)(\.\d+)?", name) for _, name in versions), versions
    assert max(int(name.split(".")[1]) for _, name in versions) <= 17, versions


def test_module_is_stripped_and_holds_no_build_path(wheel):
    assert wheel.elf.get_section_by_name(".symtab") is wheel.elf.get_section_by_name(".debug_info") is None
    assert str(ROOT).encode() not in wheel.module
    assert b"/home/" not in wheel.module and b"/root/" not in wheel.module
    # The module's own source names, kept for panic reports, are relative to the project root.
    sources = set(re.findall(rb"[\w/.-]*\b(?:frame|python|logbridge)/\w+\.cpp", wheel.module))
    assert sources and all(s.startswith(b"src/") for s in sources), sources


def test_wheel_carries_the_stub(wheel):
    assert wheel.files["velquist-stubs/__init__.pyi"] == (ROOT / "stubs/velquist-stubs/__init__.pyi").read_bytes()


def test_auditwheel_agrees_with_the_tag(wheel):
    # auditwheel comes with requirements/release.txt, beside this interpreter.
    auditwheel = pathlib.Path(sys.executable).parent / "auditwheel"
    if not auditwheel.exists():
        pytest.skip("auditwheel not installed (requirements/release.txt)")
    report = subprocess.run([auditwheel, "show", str(wheel.path)], check=True, capture_output=True, text=True)
    text = " ".join((report.stdout + report.stderr).split())
    assert re.search(r'is consistent with the following platform tag: "manylinux_2_17_', text), text
    for marker in ("GLIBCXX", "CXXABI", "libstdc++", "libgcc_s"):
        assert marker not in text, text
