"""Reference conversions and texts shared by the Python tests.

Everything here is computed independently of the module: 32-bit rounding
through `struct`, the shortest float text by exact rational arithmetic,
the four-decimal text through `decimal`.
"""

import decimal
import math
import struct
from fractions import Fraction

import velquist

FLOAT_FIELDS = {
    velquist.MitLimits: ("p_max", "v_max", "kp_max", "kd_max", "t_max"),
    velquist.MitSetpoint: ("q", "dq", "kp", "kd", "tau"),
}

MOTOR_STATE_FIELDS = ("motor_id", "error", "position", "velocity", "torque", "t_mos", "t_rotor")


def f32(x: float) -> float:
    """The nearest 32-bit float to the double `x`, overflowing to an infinity."""
    try:
        return struct.unpack("f", struct.pack("f", x))[0]
    except OverflowError:
        return math.copysign(math.inf, x)


def as_double(obj) -> float:
    """The interpreter's float conversion of `obj` (PyFloat_AsDouble)."""
    # math.ldexp converts its first argument exactly like the module does
    # and returns it unchanged for an exponent of 0 (NaN, signs, infinities).
    return math.ldexp(obj, 0)


def f32_of(obj) -> float:
    return f32(as_double(obj))


def same_float(a: float, b: float) -> bool:
    """Bit-for-bit equality of two doubles, except that any NaN equals any NaN."""
    if math.isnan(a) or math.isnan(b):
        return math.isnan(a) and math.isnan(b)
    return struct.pack("<d", a) == struct.pack("<d", b)


def fields(obj) -> tuple:
    return tuple(getattr(obj, name) for name in FLOAT_FIELDS[type(obj)])


def same_fields(a, b) -> bool:
    return all(same_float(x, y) for x, y in zip(fields(a), fields(b), strict=True))


def _f32_neighbours(v: float) -> tuple[Fraction, Fraction, bool]:
    """(low bound, high bound, bounds included) of the decimals that round to `v`."""
    bits = struct.unpack("<I", struct.pack("<f", v))[0] & 0x7FFFFFFF
    exact = Fraction(abs(v))
    below = Fraction(struct.unpack("<f", struct.pack("<I", bits - 1))[0]) if bits > 0 else -exact
    if bits + 1 == 0x7F800000:  # the largest finite value: the next step up is one more ulp
        above = exact + (exact - below)
    else:
        above = Fraction(struct.unpack("<f", struct.pack("<I", bits + 1))[0])
    return (exact + below) / 2, (exact + above) / 2, bits % 2 == 0


def shortest_text(v: float) -> str:
    """The shortest float text of the 32-bit value `v` (positional, no exponent)."""
    if math.isnan(v):
        return "NaN"
    if math.isinf(v):
        return "-inf" if v < 0 else "inf"
    sign = "-" if math.copysign(1.0, v) < 0 else ""
    if v == 0:
        return sign + "0"
    exact = Fraction(abs(v))
    low, high, inclusive = _f32_neighbours(abs(v))

    def inside(x: Fraction) -> bool:
        return low <= x <= high if inclusive else low < x < high

    e = math.floor(math.log10(exact)) + 1  # exact = 0.d1d2... x 10^e
    while Fraction(10) ** (e - 1) > exact:
        e -= 1
    while Fraction(10) ** e <= exact:
        e += 1
    for n in range(1, 20):
        step = Fraction(10) ** (e - n)
        floor_digits = math.floor(exact / step)
        candidates = [d for d in (floor_digits, floor_digits + 1) if inside(d * step)]
        if not candidates:
            continue
        # nearest to the exact value; on an exact tie, the even last digit
        best = min(candidates, key=lambda d: (abs(d * step - exact), d % 2))
        text = format(decimal.Decimal(best).scaleb(e - n).normalize(), "f")
        return sign + text
    raise AssertionError(f"no round-trip text for {v!r}")


_FIXED_CONTEXT = decimal.Context(prec=80, rounding=decimal.ROUND_HALF_EVEN)


def fixed4_text(v: float) -> str:
    """The four-decimal text of a MotorState float field."""
    if math.isnan(v):
        return "NaN"
    if math.isinf(v):
        return "-inf" if v < 0 else "inf"
    text = format(decimal.Decimal(v).quantize(decimal.Decimal("0.0001"), context=_FIXED_CONTEXT), "f")
    if math.copysign(1.0, v) < 0 and not text.startswith("-"):
        text = "-" + text
    return text


def motor_state_text(motor_id, error, position, velocity, torque, t_mos, t_rotor) -> str:
    return (
        f"MotorState(motor_id={motor_id}, error={error}, position={fixed4_text(position)}, "
        f"velocity={fixed4_text(velocity)}, torque={fixed4_text(torque)}, t_mos={t_mos}, t_rotor={t_rotor})"
    )


# The three ways Python reaches a constructor: the type's vectorcall, the
# type's call slot (tp_call -> tp_new) and the __new__ wrapper (tp_new).
CONSTRUCTOR_PATHS = {
    "call": lambda cls, *a, **k: cls(*a, **k),
    "type_call": lambda cls, *a, **k: type.__call__(cls, *a, **k),
    "dunder_new": lambda cls, *a, **k: cls.__new__(cls, *a, **k),
}


class _ControlSetpointAdapter:
    """Stands in for ControlSetpoint when a printed form is evaluated: the
    mode-1 text names the five MIT values rather than a MitSetpoint."""

    @staticmethod
    def mit(**values):
        return velquist.ControlSetpoint.mit(velquist.MitSetpoint(**values))

    def __getattr__(self, name):
        return getattr(velquist.ControlSetpoint, name)


def eval_repr(text: str):
    """Evaluate a printed form with the module's names in scope."""
    scope = {name: getattr(velquist, name) for name in velquist.__all__}
    scope.update(inf=math.inf, NaN=math.nan, ControlSetpoint=_ControlSetpointAdapter())
    return eval(text, {"__builtins__": {}}, scope)


def raised(call):
    """The exception `call()` raises (asserting that it raises one)."""
    try:
        call()
    except BaseException as error:  # noqa: BLE001 - the point is to capture anything
        return error
    raise AssertionError("no exception raised")


# Argument types of the fuzzing tests: user exceptions and number subclasses.
class UserError(Exception):
    pass


class UserBaseError(BaseException):
    pass


class MyTypeError(TypeError):
    pass


class SubFloat(float):
    pass


class SubInt(int):
    pass
