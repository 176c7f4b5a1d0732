"""Instructions per call of the benchmark cases, counted by callgrind.

Where the timing runner gives ratios that wobble with the machine, this
gives exact counts to profile with: every case of benchmarks/run.py runs
`--calls` times in one process under `valgrind --tool=callgrind`, and a
marker call (`os.getppid`, which nothing else here calls) between cases
makes callgrind dump its counters, one file per case. Counts include the
timing loop; its own cost is the row "x (the timing loop alone)".

    PYTHONPATH=build/bench-peers .venv-bench/bin/python benchmarks/instructions.py [--only REGEX] [--keep DIR]

With `--keep DIR` the per-case dumps stay in DIR for `callgrind_annotate`.
"""

from __future__ import annotations

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import run  # noqa: E402  (the cases live in the timing runner)

MARKER = "os_getppid"


def _child(keys: list[str], calls: int) -> None:
    """Runs under callgrind: one dump per case, each preceded by a marker."""
    import timeit

    ns = run._names()
    cases = {c.key: c for c in run.CONSTRUCTION + run.GETTERS + run.REPRS}
    for key in keys:
        case = cases[key]
        timer = timeit.Timer(case.stmt, case.setup, globals=ns)
        timer.timeit(2000)  # specialise the call site before counting
        os.getppid()  # dump: what came before is not this case's
        timer.timeit(calls)
        os.getppid()


def _total(dump: Path) -> int:
    for line in dump.read_text().splitlines():
        if line.startswith("totals:") or line.startswith("summary:"):
            return int(line.split()[1])
    raise ValueError(f"{dump}: no totals line")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--only", help="regular expression: count only cases whose key matches")
    parser.add_argument("--calls", type=int, default=20000)
    parser.add_argument("--keep", type=Path, help="keep the callgrind dumps in this directory")
    parser.add_argument("--child", nargs="*", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.child is not None:
        _child(args.child, args.calls)
        return 0
    if shutil.which("valgrind") is None:
        raise SystemExit("valgrind not found (apt-get install valgrind)")

    ns = run._names()
    cases = [c for c in run.CONSTRUCTION + run.GETTERS + run.REPRS if c.available(ns)]
    if args.only:
        cases = [c for c in cases if re.search(args.only, c.key)]
    out_dir = args.keep or Path(tempfile.mkdtemp(prefix="velquist-callgrind-"))
    out_dir.mkdir(parents=True, exist_ok=True)
    for old in out_dir.glob("callgrind.out*"):
        old.unlink()
    base = out_dir / "callgrind.out"
    cmd = [
        "valgrind",
        "--tool=callgrind",
        f"--callgrind-out-file={base}",
        f"--dump-before={MARKER}",
        "--compress-strings=no",
        "--compress-pos=no",
        sys.executable,
        __file__,
        "--calls",
        str(args.calls),
        "--child",
        *[c.key for c in cases],
    ]
    subprocess.run(cmd, check=True, stderr=subprocess.DEVNULL)
    # Dump k (1-based) ends just before marker k: dumps 2, 4, ... hold the cases.
    dumps = sorted(out_dir.glob("callgrind.out.*"), key=lambda p: int(p.name.rsplit(".", 1)[1]))
    print("| case | instructions per call |")
    print("| --- | ---: |")
    for i, case in enumerate(cases):
        dump = dumps[2 * i + 1]
        print(f"| `{case.label}` | {_total(dump) / args.calls:.0f} |")
        if args.keep:
            dump.rename(out_dir / f"{case.key}.callgrind")
    if not args.keep:
        shutil.rmtree(out_dir)
    return 0


if __name__ == "__main__":
    sys.exit(main())
