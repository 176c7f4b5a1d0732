"""Costs of the logging bridge, measured through the testing hooks (needs
the testing build): a rejected event, a forwarded event against Python's own
`logger.info` to the same handler, and the first event of a new target.

    python benchmarks/bench_logging.py [--repeat N]
"""

import argparse
import itertools
import logging
import timeit

import velquist


class Count(logging.Handler):
    def __init__(self):
        super().__init__()
        self.count = 0

    def emit(self, record):
        self.count += 1


def best(stmt, number, repeat):
    """Seconds per call: the minimum over repeats (the least disturbed run)."""
    return min(timeit.repeat(stmt, number=number, repeat=repeat)) / number


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeat", type=int, default=7)
    parser.add_argument("--number", type=int, default=20000)
    args = parser.parse_args()
    testing = getattr(velquist, "_testing", None)
    if testing is None:
        raise SystemExit("needs the testing build of velquist (VELQUIST_TESTING=ON)")
    log = testing.log
    n, r = args.number, args.repeat

    handler = Count()
    top = logging.getLogger("vqbench")
    top.addHandler(handler)
    top.setLevel(logging.INFO)
    top.propagate = False
    quiet = logging.getLogger("vqbench.quiet")
    quiet.setLevel(logging.WARNING)
    forwarded = logging.getLogger("vqbench.fwd")

    # Warm up: the first events probe and cache both targets.
    log(20, "vqbench::quiet", "m")
    log(20, "vqbench::fwd", "m")

    rejected = best(lambda: log(20, "vqbench::quiet", "m"), n, r)
    python_rejected = best(lambda: quiet.info("m"), n, r)
    bridge = best(lambda: log(20, "vqbench::fwd", "m"), n, r)
    python = best(lambda: forwarded.info("m"), n, r)
    hook_floor = best(lambda: testing.enabled(20, "vqbench::fwd"), n, r)

    # A new target per call; fewer calls, since each adds a logger for good.
    fresh_number = max(n // 20, 100)
    fresh_names = (f"vqbench::new{i}" for i in itertools.count())
    first = best(lambda: log(20, next(fresh_names), "m"), fresh_number, r)
    python_names = (f"vqbench.pynew{i}" for i in itertools.count())
    python_first = best(lambda: logging.getLogger(next(python_names)).info("m"), fresh_number, r)

    def us(seconds):
        return f"{seconds * 1e6:8.3f} us"

    print(f"rejected event (cached limit)    {us(rejected)}")
    print(f"  Python logger.info, rejected   {us(python_rejected)}   ratio {rejected / python_rejected:5.2f}")
    print(f"  hook call floor (enabled)      {us(hook_floor)}   ratio {rejected / hook_floor:5.2f}")
    print(f"forwarded event                  {us(bridge)}")
    print(f"  Python logger.info, handled    {us(python)}   ratio {bridge / python:5.2f}")
    print(f"first event of a new target      {us(first)}")
    print(f"  vs a cached forwarded event                    ratio {first / bridge:5.2f}")
    print(f"  Python getLogger(new).info     {us(python_first)}   ratio {first / python_first:5.2f}")
    assert handler.count > 0


if __name__ == "__main__":
    main()
