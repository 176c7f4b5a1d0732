"""Side-by-side benchmarks of velquist against a hand-written floor type and
peers, reported as ratios measured in one process and one run.

Run through scripts/run-benchmarks, which builds the released module and the
benchmark-only peers first. Only ratios are printed, never absolute times:
they are what stays comparable between machines. Rows whose velquist class
or peer is missing are skipped.
"""

from __future__ import annotations

import argparse
import dataclasses
import platform
import re
import statistics
import sys
import timeit
import typing
from dataclasses import dataclass, field
from pathlib import Path

import velquist

try:
    import velquist_floor
except ImportError:  # peers not built
    velquist_floor = None
try:
    import velquist_nanobind_peer
except ImportError:
    velquist_nanobind_peer = None
try:
    import msgspec
except ImportError:
    msgspec = None


# --- peers written in Python ------------------------------------------------


@dataclasses.dataclass(frozen=True, slots=True)
class FrozenDataclass:
    q: float = 0.0
    dq: float = 0.0
    kp: float = 0.0
    kd: float = 0.0
    tau: float = 0.0


@dataclasses.dataclass(frozen=True, slots=True)
class LimitsDataclass:
    p_max: float = 12.5
    v_max: float = 30.0
    kp_max: float = 500.0
    kd_max: float = 5.0
    t_max: float = 10.0


class Named(typing.NamedTuple):
    q: float = 0.0
    dq: float = 0.0
    kp: float = 0.0
    kd: float = 0.0
    tau: float = 0.0


class Slots:
    __slots__ = ("q", "dq", "kp", "kd", "tau")

    def __init__(self, q=0.0, dq=0.0, kp=0.0, kd=0.0, tau=0.0):
        self.q = q
        self.dq = dq
        self.kp = kp
        self.kd = kd
        self.tau = tau


if msgspec is not None:

    class FrozenStruct(msgspec.Struct, frozen=True):
        q: float = 0.0
        dq: float = 0.0
        kp: float = 0.0
        kd: float = 0.0
        tau: float = 0.0

else:
    FrozenStruct = None


def _names() -> dict[str, object]:
    """The namespace every statement runs in; missing names are left out."""
    ns: dict[str, object] = {
        "FrozenDataclass": FrozenDataclass,
        "LimitsDataclass": LimitsDataclass,
        "Named": Named,
        "Slots": Slots,
    }
    for name in ("MitLimits", "MitSetpoint", "ControlSetpoint", "Damiao", "mit_setpoint"):
        if hasattr(velquist, name):
            ns[name] = getattr(velquist, name)
    if velquist_floor is not None:
        ns["Floor"] = velquist_floor.Floor
        ns["FloorImmutable"] = velquist_floor.FloorImmutable
        ns["floor_make"] = velquist_floor.make
    if velquist_nanobind_peer is not None:
        ns["NanobindSetpoint"] = velquist_nanobind_peer.Setpoint
    if FrozenStruct is not None:
        ns["FrozenStruct"] = FrozenStruct
    return ns


# --- cases --------------------------------------------------------------------


@dataclass
class Case:
    key: str
    label: str
    stmt: str
    setup: str = "pass"
    needs: tuple[str, ...] = ()
    per_call: list[float] = field(default_factory=list)

    def available(self, ns: dict[str, object]) -> bool:
        return all(name in ns for name in self.needs)

    def value(self, stat: str) -> float:
        return min(self.per_call) if stat == "min" else statistics.median(self.per_call)


ARGS = "1.0, 2.0, 3.0, 4.0, 5.0"
KWARGS = "q=1.0, dq=2.0, kp=3.0, kd=4.0, tau=5.0"

CONSTRUCTION = [
    Case("floor", f"Floor({ARGS})", f"Floor({ARGS})", needs=("Floor",)),
    Case("floor_kw", f"Floor({KWARGS})", f"Floor({KWARGS})", needs=("Floor",)),
    Case("floor_imm", f"FloorImmutable({ARGS})", f"FloorImmutable({ARGS})", needs=("FloorImmutable",)),
    Case("floor_make", f"floor make({ARGS}) (fast-call function)", f"floor_make({ARGS})", needs=("floor_make",)),
    Case("floor_preset", "Floor.preset() (no-argument static method)", "Floor.preset()", needs=("Floor",)),
    Case("floor_one", "Floor.one(3.0) (fast-call static method)", "Floor.one(3.0)", needs=("Floor",)),
    Case("sp", f"MitSetpoint({ARGS})", f"MitSetpoint({ARGS})", needs=("MitSetpoint",)),
    Case("sp_kw", f"MitSetpoint({KWARGS})", f"MitSetpoint({KWARGS})", needs=("MitSetpoint",)),
    Case("fn", f"mit_setpoint({ARGS})", f"mit_setpoint({ARGS})", needs=("mit_setpoint",)),
    Case("preset", "MitLimits.dm4340()", "MitLimits.dm4340()", needs=("MitLimits",)),
    Case("vel", "ControlSetpoint.vel(3.0)", "ControlSetpoint.vel(3.0)", needs=("ControlSetpoint",)),
    Case(
        "damiao",
        "Damiao(1, 2, limits)",
        "Damiao(1, 2, limits)",
        "limits = MitLimits.dm4340()",
        needs=("Damiao", "MitLimits"),
    ),
    Case("complex", "complex(1.0, 2.0)", "complex(1.0, 2.0)"),
    Case("msgspec", f"msgspec frozen Struct({ARGS})", f"FrozenStruct({ARGS})", needs=("FrozenStruct",)),
    Case("nanobind", f"nanobind class({ARGS})", f"NanobindSetpoint({ARGS})", needs=("NanobindSetpoint",)),
    Case("dataclass", f"frozen slots dataclass({ARGS})", f"FrozenDataclass({ARGS})"),
    Case("namedtuple", f"NamedTuple({ARGS})", f"Named({ARGS})"),
    Case("slots", f"__slots__ class({ARGS})", f"Slots({ARGS})"),
]


def _reader(key: str, label: str, factory: str, needs: tuple[str, ...] = ()) -> Case:
    return Case(key, label, "x.q", f"x = {factory}({ARGS})", needs=needs)


GETTERS = [
    _reader("get_slots", "__slots__ attribute x.q", "Slots"),
    _reader("get_sp", "MitSetpoint getter x.q", "MitSetpoint", ("MitSetpoint",)),
    _reader("get_floor", "floor getter x.q", "Floor", ("Floor",)),
    _reader("get_msgspec", "msgspec field x.q", "FrozenStruct", ("FrozenStruct",)),
    _reader("get_nanobind", "nanobind field x.q", "NanobindSetpoint", ("NanobindSetpoint",)),
    _reader("get_dataclass", "frozen slots dataclass x.q", "FrozenDataclass"),
    _reader("get_namedtuple", "NamedTuple x.q", "Named"),
    Case("get_loop", "x (the timing loop alone)", "x", "x = None"),
]

REPRS = [
    Case("repr_dataclass", "repr(dataclass of the same values)", "repr(x)", "x = LimitsDataclass()"),
    Case("repr_limits", "repr(MitLimits())", "repr(x)", "x = MitLimits()", needs=("MitLimits",)),
]

# (label, numerator, denominator, bound, bound text, floor of the same calling
# form or None): the ratio numerator/denominator must be at most `bound`. The
# last column shows what the interpreter's calling form alone costs.
TARGETS = [
    ("MitSetpoint(...) / floor", "sp", "floor", 1.25, "≤ 1.25", "floor"),
    ("MitSetpoint(...) / complex(1.0, 2.0)", "sp", "complex", 0.9, "≤ 0.9", "floor"),
    ("MitSetpoint(q=...) / floor(q=...)", "sp_kw", "floor_kw", 1.5, "≤ 1.5", "floor_kw"),
    ("MitSetpoint(...) / msgspec frozen Struct", "sp", "msgspec", 1.0, "≤ 1.0", "floor"),
    ("MitSetpoint(...) / nanobind class", "sp", "nanobind", 1 / 3, "≤ 0.333 (3x faster)", "floor"),
    ("MitSetpoint(...) / frozen dataclass", "sp", "dataclass", 1 / 5, "≤ 0.2 (5x faster)", "floor"),
    ("mit_setpoint(...) / floor", "fn", "floor", 1.25, "≤ 1.25", "floor_make"),
    ("MitLimits.dm4340() / floor", "preset", "floor", 1.25, "≤ 1.25", "floor_preset"),
    ("ControlSetpoint.vel(3.0) / floor", "vel", "floor", 1.25, "≤ 1.25", "floor_one"),
    ("getter x.q / __slots__ x.q", "get_sp", "get_slots", 1.1, "≤ 1.1", "get_floor"),
    ("repr(MitLimits()) / dataclass repr", "repr_limits", "repr_dataclass", 0.5, "≤ 0.5", None),
]


# --- measuring ------------------------------------------------------------------


def _calibrate(timer: timeit.Timer, batch_seconds: float) -> int:
    number = 1
    while True:
        if timer.timeit(number) >= batch_seconds / 4:
            return max(1, int(number * 4))
        number *= 4


def measure(cases: list[Case], ns: dict[str, object], repeats: int, batch_seconds: float) -> None:
    """Times every case in turn, round after round, so that slow drifts of
    the machine touch all of them alike."""
    timers = []
    for case in cases:
        timer = timeit.Timer(case.stmt, case.setup, globals=ns)
        timer.timeit(2000)  # warm up: let the interpreter specialise the call site
        timers.append((case, timer, _calibrate(timer, batch_seconds)))
    for _ in range(repeats):
        for case, timer, number in timers:
            case.per_call.append(timer.timeit(number) / number)


# --- reporting ------------------------------------------------------------------


def _ratio_table(title: str, cases: list[Case], base: Case, stat: str) -> list[str]:
    lines = [f"| {title} | ratio to {base.label} |", "| --- | ---: |"]
    for case in cases:
        lines.append(f"| `{case.label}` | {case.value(stat) / base.value(stat):.2f} |")
    return lines


def _sizes(ns: dict[str, object]) -> tuple[list[str], tuple[int, int] | None]:
    rows = [
        ("MitSetpoint()", "MitSetpoint", lambda: ns["MitSetpoint"]()),
        ("floor", "Floor", lambda: ns["Floor"]()),
        ("msgspec frozen Struct", "FrozenStruct", lambda: ns["FrozenStruct"]()),
        ("nanobind class", "NanobindSetpoint", lambda: ns["NanobindSetpoint"]()),
        ("frozen slots dataclass", "FrozenDataclass", lambda: FrozenDataclass()),
        ("NamedTuple", "Named", lambda: Named()),
        ("__slots__ class", "Slots", lambda: Slots()),
        ("complex", None, lambda: complex(1.0, 2.0)),
    ]
    lines = ["| instance | `sys.getsizeof` (bytes) |", "| --- | ---: |"]
    sizes = {}
    for label, need, make in rows:
        if need is not None and need not in ns:
            continue
        sizes[label] = sys.getsizeof(make())
        lines.append(f"| {label} | {sizes[label]} |")
    pair = None
    if "MitSetpoint()" in sizes and "floor" in sizes:
        pair = (sizes["MitSetpoint()"], sizes["floor"])
    return lines, pair


def report(groups: dict[str, list[Case]], ns: dict[str, object], stat: str, repeats: int) -> str:
    by_key = {case.key: case for cases in groups.values() for case in cases}
    out = [
        f"CPython {platform.python_version()} on {platform.machine()}, {stat} of {repeats} rounds, "
        "all in one process; ratios of per-call times (lower is faster).",
        "",
        "| target | ratio | bound | met | floor of that form / denominator |",
        "| --- | ---: | --- | :---: | ---: |",
    ]

    def ratio(num: str, den: str) -> float:
        return by_key[num].value(stat) / by_key[den].value(stat)

    for label, num, den, bound, hint, form in TARGETS:
        if num not in by_key or den not in by_key:
            out.append(f"| {label} | skipped | {hint} | | |")
            continue
        r = ratio(num, den)
        limit = f"{ratio(form, den):.2f}" if form in by_key else ""
        out.append(f"| {label} | {r:.2f} | {hint} | {'yes' if r <= bound else 'no'} | {limit} |")
    size_lines, pair = _sizes(ns)
    if pair is not None:
        ok = pair[0] <= pair[1] + 8
        out.append(
            f"| getsizeof(MitSetpoint()) − floor's | {pair[0] - pair[1]:+d} bytes | ≤ +8 | {'yes' if ok else 'no'} | |"
        )
    for title, cases in groups.items():
        if not cases:
            continue
        out += ["", *_ratio_table(title, cases, cases[0], stat)]
    out += ["", *size_lines]
    return "\n".join(out)


def write_readme(path: Path, table: str, markers: str = "benchmark table") -> None:
    """Replaces the table between the file's `<!-- {markers}: begin/end -->` lines."""
    begin, end = f"<!-- {markers}: begin -->", f"<!-- {markers}: end -->"
    text = path.read_text()
    pattern = re.compile(re.escape(begin) + ".*?" + re.escape(end), re.S)
    if not pattern.search(text):
        raise SystemExit(f"{path}: no {markers} markers found")
    path.write_text(pattern.sub(lambda _: f"{begin}\n{table}\n{end}", text))


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeats", type=int, default=40, help="rounds over all cases (default 40)")
    parser.add_argument("--batch", type=float, default=0.005, help="seconds per timed batch (default 0.005)")
    parser.add_argument("--stat", choices=("min", "median"), default="min")
    parser.add_argument("--quick", action="store_true", help="3 short rounds: a smoke run, not a measurement")
    parser.add_argument(
        "--readme", type=Path, help="also put the table into the Performance section of this file (CONTRIBUTING.md)"
    )
    parser.add_argument("--only", help="regular expression: run only cases whose key matches")
    args = parser.parse_args(argv)
    if args.quick:
        args.repeats, args.batch = 3, 0.002

    ns = _names()
    groups = {"construction": CONSTRUCTION, "attribute read": GETTERS, "repr": REPRS}
    for title in groups:
        kept = [c for c in groups[title] if c.available(ns)]
        if args.only:
            kept = [c for c in kept if re.search(args.only, c.key)]
        skipped = [c.label for c in groups[title] if c not in kept and not c.available(ns)]
        if skipped:
            print(f"skipped ({title}, missing class or peer): {', '.join(skipped)}", file=sys.stderr)
        groups[title] = kept
    measure([c for cases in groups.values() for c in cases], ns, args.repeats, args.batch)
    table = report(groups, ns, args.stat, args.repeats)
    print(table)
    if args.readme is not None:
        write_readme(args.readme, table)
    return 0


if __name__ == "__main__":
    sys.exit(main())
