# Type stubs of the velquist extension module, written by velquist_stubgen
# from the module's type-stub records. Do not edit: regenerate it with
# velquist_stubgen --output.

import typing

__all__ = [
    "__version__",
    "ControlSetpoint",
    "Damiao",
    "MitLimits",
    "MitSetpoint",
    "MotorState",
    "mit_setpoint",
]

__version__: str

@typing.final
class ControlSetpoint:
    """A setpoint in one of the four control modes, made by its four static methods; only `mode` reads back."""
    def __new__(cls, no_constructor: typing.Never) -> ControlSetpoint:
        """No constructor: calling the class raises TypeError."""
    @property
    def mode(self) -> int: ...
    @staticmethod
    def mit(setpoint: MitSetpoint) -> ControlSetpoint:
        """MIT impedance setpoint (control mode 1)."""
    @staticmethod
    def pos_vel(position: float, velocity: float) -> ControlSetpoint:
        """POS_VEL setpoint (control mode 2)."""
    @staticmethod
    def vel(velocity: float) -> ControlSetpoint:
        """VEL setpoint (control mode 3)."""
    @staticmethod
    def force_pos(position: float, velocity_limit: float, torque_ratio: float) -> ControlSetpoint:
        """FORCE_POS setpoint (control mode 4)."""
    def __repr__(self) -> str: ...

@typing.final
class Damiao:
    """The handle of one motor: its two identifiers, limits and time-out; only the identifiers read back."""
    def __new__(cls, motor_id: int, master_id: int, limits: typing.Optional[MitLimits] = ..., timeout_ms: int = ...) -> Damiao: ...
    @property
    def motor_id(self) -> int: ...
    @property
    def master_id(self) -> int: ...
    def __repr__(self) -> str: ...

@typing.final
class MitLimits:
    """The five limits of a motor's MIT mode: the ranges of its command encoding, not clamps."""
    def __new__(cls, p_max: float = ..., v_max: float = ..., kp_max: float = ..., kd_max: float = ..., t_max: float = ...) -> MitLimits: ...
    @property
    def p_max(self) -> float: ...
    @property
    def v_max(self) -> float: ...
    @property
    def kp_max(self) -> float: ...
    @property
    def kd_max(self) -> float: ...
    @property
    def t_max(self) -> float: ...
    def __repr__(self) -> str: ...
    @staticmethod
    def dm3507() -> MitLimits:
        """The dm3507 preset: p_max=12.566, v_max=50, kp_max=500, kd_max=5, t_max=5."""
    @staticmethod
    def dm4310() -> MitLimits:
        """The dm4310 preset: p_max=12.5, v_max=30, kp_max=500, kd_max=5, t_max=10."""
    @staticmethod
    def dm4310p() -> MitLimits:
        """The dm4310p preset: p_max=12.5, v_max=50, kp_max=500, kd_max=5, t_max=10."""
    @staticmethod
    def dm4340() -> MitLimits:
        """The dm4340 preset: p_max=12.5, v_max=10, kp_max=500, kd_max=5, t_max=28."""
    @staticmethod
    def dm4340p() -> MitLimits:
        """The dm4340p preset: p_max=12.5, v_max=10, kp_max=500, kd_max=5, t_max=28."""
    @staticmethod
    def dm6006() -> MitLimits:
        """The dm6006 preset: p_max=12.5, v_max=45, kp_max=500, kd_max=5, t_max=20."""
    @staticmethod
    def dm6248p() -> MitLimits:
        """The dm6248p preset: p_max=12.566, v_max=20, kp_max=500, kd_max=5, t_max=120."""
    @staticmethod
    def dm8006() -> MitLimits:
        """The dm8006 preset: p_max=12.5, v_max=45, kp_max=500, kd_max=5, t_max=40."""
    @staticmethod
    def dm8009() -> MitLimits:
        """The dm8009 preset: p_max=12.5, v_max=45, kp_max=500, kd_max=5, t_max=54."""
    @staticmethod
    def dm10010() -> MitLimits:
        """The dm10010 preset: p_max=12.5, v_max=20, kp_max=500, kd_max=5, t_max=200."""
    @staticmethod
    def dm10010l() -> MitLimits:
        """The dm10010l preset: p_max=12.5, v_max=25, kp_max=500, kd_max=5, t_max=200."""
    @staticmethod
    def dmg6215() -> MitLimits:
        """The dmg6215 preset: p_max=12.5, v_max=45, kp_max=500, kd_max=5, t_max=10."""
    @staticmethod
    def dmh3510() -> MitLimits:
        """The dmh3510 preset: p_max=12.5, v_max=280, kp_max=500, kd_max=5, t_max=1."""
    @staticmethod
    def dmh6220() -> MitLimits:
        """The dmh6220 preset: p_max=12.5, v_max=45, kp_max=500, kd_max=5, t_max=10."""
    @staticmethod
    def dmjh11() -> MitLimits:
        """The dmjh11 preset: p_max=12.5, v_max=10, kp_max=500, kd_max=5, t_max=12."""

@typing.final
class MitSetpoint:
    """One MIT-mode command: position q, velocity dq, gains kp and kd, feed-forward torque tau; nothing clamps it."""
    def __new__(cls, q: float = ..., dq: float = ..., kp: float = ..., kd: float = ..., tau: float = ...) -> MitSetpoint: ...
    @property
    def q(self) -> float: ...
    @property
    def dq(self) -> float: ...
    @property
    def kp(self) -> float: ...
    @property
    def kd(self) -> float: ...
    @property
    def tau(self) -> float: ...
    def __repr__(self) -> str: ...

@typing.final
class MotorState:
    """What a motor reports, read-only; made only by native code, not from Python."""
    def __new__(cls, no_constructor: typing.Never) -> MotorState:
        """No constructor: calling the class raises TypeError."""
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
    def __repr__(self) -> str: ...

def mit_setpoint(q: float = ..., dq: float = ..., kp: float = ..., kd: float = ..., tau: float = ...) -> MitSetpoint:
    """Build a `MitSetpoint` (handy when keyword args are awkward)."""
