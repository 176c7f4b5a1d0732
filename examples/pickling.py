"""Recipe: pickle `MitSetpoint` and `MitLimits` through `copyreg`, so they cross `multiprocessing`.

velquist's objects have no pickle support of their own, and a
`multiprocessing` queue pickles in a feeder thread, where the error does not
reach the caller. Registering a reduction for each class in your own program
(at import, so that worker processes register it too) makes both picklable:
each is rebuilt from its five 32-bit values, which read back exactly.
"""

import copyreg
import multiprocessing
import pickle

from velquist import MitLimits, MitSetpoint


def reduce_setpoint(s: MitSetpoint) -> tuple[type[MitSetpoint], tuple[float, float, float, float, float]]:
    return MitSetpoint, (s.q, s.dq, s.kp, s.kd, s.tau)


def reduce_limits(x: MitLimits) -> tuple[type[MitLimits], tuple[float, float, float, float, float]]:
    return MitLimits, (x.p_max, x.v_max, x.kp_max, x.kd_max, x.t_max)


copyreg.pickle(MitSetpoint, reduce_setpoint)
copyreg.pickle(MitLimits, reduce_limits)


def stiffer(s: MitSetpoint) -> MitSetpoint:
    """Work done in a worker process: takes and returns a setpoint."""
    return MitSetpoint(s.q, s.dq, s.kp * 2, s.kd, s.tau)


def main() -> None:
    limits = MitLimits.dm3507()
    copy = pickle.loads(pickle.dumps(limits))
    assert copy is not limits and reduce_limits(copy) == reduce_limits(limits)
    setpoints = [MitSetpoint(q=0.1 * i, kp=10.0) for i in range(4)]
    # "spawn" starts fresh interpreters: they import this file, and so register the reductions too.
    with multiprocessing.get_context("spawn").Pool(2) as pool:
        results = pool.map(stiffer, setpoints)
    assert [r.kp for r in results] == [20.0] * 4
    assert [r.q for r in results] == [s.q for s in setpoints]
    print(*results, sep="\n")


if __name__ == "__main__":
    main()
