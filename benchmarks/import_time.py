"""Import time of velquist against the floor's (a minimal C extension), as a
ratio measured in one run.

Each round starts two fresh interpreters, in alternating order, that import
`logging` first (velquist's bridge needs it, and most programs have it
loaded already), then time `import velquist` or `import velquist_floor`.
Both libraries are copied into one temporary directory, so the finder does
the same work for each. The minimum over all rounds is the least disturbed
import of each; only their ratio is reported.

Run through scripts/run-benchmarks (which builds both), or on its own with
both modules importable:

    python benchmarks/import_time.py [--rounds N] [--quick] [--readme CONTRIBUTING.md]
"""

from __future__ import annotations

import argparse
import importlib.util
import platform
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

MODULES = ("velquist", "velquist_floor")
BOUND = 3.0

CHILD = """
import logging, sys, time
sys.path.insert(0, sys.argv[1])
start = time.perf_counter_ns()
__import__(sys.argv[2])
print(time.perf_counter_ns() - start)
"""


def library_of(name: str) -> Path:
    spec = importlib.util.find_spec(name)
    if spec is None or spec.origin is None:
        raise SystemExit(f"{name} is not importable: build it first (scripts/run-benchmarks)")
    return Path(spec.origin)


def import_ns(directory: Path, name: str) -> int:
    done = subprocess.run(
        [sys.executable, "-I", "-c", CHILD, str(directory), name],
        capture_output=True,
        text=True,
        check=True,
        timeout=60,
    )
    return int(done.stdout)


def measure(rounds: int) -> dict[str, int]:
    """The least import time of each module, in nanoseconds."""
    best = dict.fromkeys(MODULES, sys.maxsize)
    with tempfile.TemporaryDirectory(prefix="velquist-import-") as tmp:
        directory = Path(tmp)
        for name in MODULES:
            shutil.copy2(library_of(name), directory)
        for i in range(rounds):
            for name in MODULES if i % 2 == 0 else reversed(MODULES):
                best[name] = min(best[name], import_ns(directory, name))
    return best


def report(best: dict[str, int], rounds: int) -> str:
    ratio = best["velquist"] / best["velquist_floor"]
    return "\n".join(
        [
            f"CPython {platform.python_version()} on {platform.machine()}, min of {rounds} fresh interpreters each,"
            " alternating; `import logging` done first.",
            "",
            "| target | ratio | bound | met |",
            "| --- | ---: | --- | :---: |",
            f"| import velquist / import of the floor | {ratio:.2f} | ≤ {BOUND:g} | {'yes' if ratio <= BOUND else 'no'} |",
        ]
    )


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=100, help="fresh interpreters per module (default 100)")
    parser.add_argument("--quick", action="store_true", help="5 rounds: a smoke run, not a measurement")
    parser.add_argument(
        "--readme", type=Path, help="also put the table into the Performance section of this file (CONTRIBUTING.md)"
    )
    # The other options of scripts/run-benchmarks belong to benchmarks/run.py.
    args, _ = parser.parse_known_args(argv)
    rounds = 5 if args.quick else args.rounds
    table = report(measure(rounds), rounds)
    print(table)
    if args.readme is not None:
        from run import write_readme  # the benchmark runner beside this file

        write_readme(args.readme, table, "import time")
    return 0


if __name__ == "__main__":
    sys.exit(main())
