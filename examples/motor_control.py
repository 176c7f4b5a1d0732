"""A control-loop sketch: build the values a Damiao motor script passes on.

The module does no I/O: a real script would hand these objects to its bus
driver. Here we build, read and print them the way such a script would.
"""

import logging
import math

import velquist
from velquist import ControlSetpoint, Damiao, MitLimits, MitSetpoint, mit_setpoint


def main() -> None:
    # Importing velquist routes its native diagnostics into Python logging.
    logging.basicConfig(level=logging.INFO, format="%(levelname)s %(name)s: %(message)s")
    print(f"velquist {velquist.__version__}")

    # One handle per motor on the bus, each with its model's MIT limits.
    motors = {
        "shoulder": Damiao(0x01, 0x11, MitLimits.dm4340()),
        "elbow": Damiao(0x02, 0x12, MitLimits.dm4310(), timeout_ms=50),
        "wrist": Damiao(0x03, 0x13),  # default limits (the dm4310 preset)
    }
    for joint, motor in motors.items():
        print(f"{joint:>8}: {motor!r} motor_id={motor.motor_id} master_id={motor.master_id}")

    limits = MitLimits.dm4340()
    print(f"limits: {limits!r}")
    print(f"  t_max as stored (32-bit): {limits.t_max}")

    # A few ticks of a sine trajectory as MIT impedance commands.
    print("MIT commands:")
    for tick in range(5):
        t = tick * 0.01
        q = 0.5 * math.sin(2 * math.pi * t)
        dq = 0.5 * 2 * math.pi * math.cos(2 * math.pi * t)
        setpoint = MitSetpoint(q=q, dq=dq, kp=30.0, kd=1.2, tau=0.0)
        command = ControlSetpoint.mit(setpoint)
        print(f"  t={t:.2f}s mode={command.mode} {command!r}")

    # The other control modes.
    for command in (
        ControlSetpoint.pos_vel(1.0, 2.5),
        ControlSetpoint.vel(3.0),
        ControlSetpoint.force_pos(0.5, 1.0, 0.25),
        ControlSetpoint.mit(mit_setpoint(1.5, kd=0.5)),
    ):
        print(f"  mode {command.mode}: {command!r}")

    # Values are 32-bit: what goes in is rounded to the nearest float.
    sp = MitSetpoint(q=0.1)
    print(f"q=0.1 reads back as {sp.q!r}; prints as {sp!r}")

    # Bad input is a clear Python exception, never a crash. Type checkers
    # catch the last two before the program runs; the range is checked then.
    bad_calls = (
        lambda: Damiao(70000, 1),
        lambda: MitSetpoint(q="fast"),  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]
        lambda: ControlSetpoint.vel(),  # type: ignore[call-arg]  # pyright: ignore[reportCallIssue]
    )
    for bad in bad_calls:
        try:
            bad()
        except (TypeError, OverflowError) as error:
            print(f"rejected: {type(error).__name__}: {error}")


if __name__ == "__main__":
    main()
