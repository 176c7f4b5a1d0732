"""Recipe: clamp a setpoint to a preset's limits, in your own code.

A `MitLimits` holds the ranges of a motor's MIT-mode encoding, not clamps:
velquist stores any setpoint as given (a `kp` of 1000 stays 1000). A program
that wants its commands inside a motor's ranges clamps them itself: positions,
velocities and torques to plus or minus their limit, the gains to zero up to
theirs. A NaN is refused rather than passed on.
"""

import math

from velquist import MitLimits, MitSetpoint


def clamp(value: float, low: float, high: float) -> float:
    if math.isnan(value):
        raise ValueError("NaN in a setpoint")
    return min(max(value, low), high)


def clamped(s: MitSetpoint, limits: MitLimits) -> MitSetpoint:
    return MitSetpoint(
        q=clamp(s.q, -limits.p_max, limits.p_max),
        dq=clamp(s.dq, -limits.v_max, limits.v_max),
        kp=clamp(s.kp, 0.0, limits.kp_max),
        kd=clamp(s.kd, 0.0, limits.kd_max),
        tau=clamp(s.tau, -limits.t_max, limits.t_max),
    )


def main() -> None:
    limits = MitLimits.dm4340()  # p_max=12.5, v_max=10, kp_max=500, kd_max=5, t_max=28
    wild = MitSetpoint(q=20.0, dq=-15.0, kp=1000.0, kd=-1.0, tau=math.inf)
    safe = clamped(wild, limits)
    assert (safe.q, safe.dq, safe.kp, safe.kd, safe.tau) == (12.5, -10.0, 500.0, 0.0, 28.0)
    assert wild.kp == 1000.0  # the module itself never clamps
    print(f"{wild!r}\n-> {safe!r}")


if __name__ == "__main__":
    main()
