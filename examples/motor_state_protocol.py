"""Recipe: a `MotorState`-shaped `Protocol`, and a fake for simulations and tests.

`MotorState` cannot be built from Python (and nothing in velquist returns
one yet), so code that consumes motor states is written against a protocol
that `MotorState` satisfies, and fed a plain frozen dataclass in simulations
and tests.
"""

from dataclasses import dataclass
from typing import Protocol

from velquist import MotorState


class MotorStateLike(Protocol):
    """The seven read-only fields of a `MotorState`."""

    @property
    def motor_id(self) -> int: ...
    @property
    def error(self) -> int: ...
    @property
    def position(self) -> float: ...
    @property
    def velocity(self) -> float: ...
    @property
    def torque(self) -> float: ...
    @property
    def t_mos(self) -> int: ...
    @property
    def t_rotor(self) -> int: ...


@dataclass(frozen=True, slots=True)
class FakeMotorState:
    """A motor state made in Python: what a simulation or a test produces."""

    motor_id: int
    error: int = 0
    position: float = 0.0
    velocity: float = 0.0
    torque: float = 0.0
    t_mos: int = 25
    t_rotor: int = 25


def as_protocol(state: MotorState) -> MotorStateLike:
    """The real class fits the protocol (the type checkers check this line)."""
    return state


def too_hot(state: MotorStateLike, limit: int = 80) -> bool:
    """Consumer code: works on real and fake states alike."""
    return state.error != 0 or max(state.t_mos, state.t_rotor) >= limit


def main() -> None:
    cool, hot = FakeMotorState(motor_id=1), FakeMotorState(motor_id=2, t_rotor=90)
    assert [too_hot(s) for s in (cool, hot)] == [False, True]
    assert too_hot(FakeMotorState(motor_id=3, error=1))
    print(cool, hot, sep="\n")


if __name__ == "__main__":
    main()
