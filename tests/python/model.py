"""A reference model of every callable, from the interpreter's own conversions (`math.ldexp(x, 0)` converts
like `PyFloat_AsDouble`, `operator.index` like `PyNumber_Index`) and exact rationals, never from the module:
the one table `CALLABLES` feeds the call, fuzzing, allocation-failure, leak and thread tests."""

import collections
import decimal
import functools
import math
import operator
import os
import struct
from fractions import Fraction

import velquist
from velquist import ControlSetpoint, Damiao, MitLimits, MitSetpoint, MotorState, mit_setpoint

HOOKS = getattr(velquist, "_testing", None)
# How much randomized and threaded work a run does: 1 natively, lower where the interpreter is emulated or slow.
SCALE = float(os.environ.get("VELQUIST_TEST_SCALE", "1"))


def scaled(n: int) -> int:
    return max(1, round(n * SCALE))


MISSING, HALFWAY = object(), float.fromhex("0x1.ffffffp127")
LIMITS, SETPOINT = ("p_max", "v_max", "kp_max", "kd_max", "t_max"), ("q", "dq", "kp", "kd", "tau")
STATE = ("motor_id", "error", "position", "velocity", "torque", "t_mos", "t_rotor")
PRESET_TABLE = """
dm3507 12.566 50 5    dm4310 12.5 30 10     dm4310p 12.5 50 10    dm4340 12.5 10 28    dm4340p 12.5 10 28
dm6006 12.5 45 20     dm6248p 12.566 20 120 dm8006 12.5 45 40     dm8009 12.5 45 54    dm10010 12.5 20 200
dm10010l 12.5 25 200  dmg6215 12.5 45 10    dmh3510 12.5 280 1    dmh6220 12.5 45 10   dmjh11 12.5 10 12"""
PRESETS = {n: tuple(map(float, r)) for n, *r in zip(*[iter(PRESET_TABLE.split())] * 4, strict=True)}  # p, v, t max


def f32(x: float) -> float:  # the nearest 32-bit float; from halfway past the largest one, an infinity
    return struct.unpack("f", struct.pack("f", x))[0] if not abs(x) >= HALFWAY else math.copysign(math.inf, x)


def same_float(a, b) -> bool:  # bit-for-bit, except that any NaN equals any NaN
    return math.isnan(a) and math.isnan(b) or type(a) is float and struct.pack("<d", a) == struct.pack("<d", b)


def special(v):
    return "NaN" if math.isnan(v) else ("-inf" if v < 0 else "inf") if math.isinf(v) else None


def float_at(bits):  # the 32-bit float with these bits, exactly
    return Fraction(struct.unpack("<f", struct.pack("<I", bits))[0])


def shortest_text(v: float) -> str:
    """Fewest digits that read back as the 32-bit `v`: the nearest such, then the even one, on ties."""
    if special(v) or v == 0:
        return special(v) or "-0"[math.copysign(1, v) > 0 :]
    exact, bits = Fraction(abs(v)), struct.unpack("<I", struct.pack("<f", abs(v)))[0]
    below = float_at(bits - 1) if bits > 0 else -exact
    above = 2 * exact - below if bits + 1 == 0x7F800000 else float_at(bits + 1)
    low, high = (exact + below) / 2, (exact + above) / 2
    e = math.floor(math.log10(exact)) + 1
    e += (Fraction(10) ** e <= exact) - (Fraction(10) ** (e - 1) > exact)  # exact = 0.d1d2... x 10^e
    for n in range(1, 20):
        step = Fraction(10) ** (e - n)
        lo = math.floor(exact / step)
        near = [d for d in (lo, lo + 1) if low < d * step < high or bits % 2 == 0 and low <= d * step <= high]
        if near:
            best = min(near, key=lambda d: (abs(d * step - exact), d % 2))
            return "-" * (v < 0) + format(decimal.Decimal(best).scaleb(e - n).normalize(), "f")


ROUND4 = decimal.Decimal("0.0001"), decimal.ROUND_HALF_EVEN  # four places, half to even


def fixed4_text(v: float) -> str:
    text = special(v) or format(decimal.Decimal(v).quantize(*ROUND4, decimal.Context(prec=80)), "f")
    return "-" + text if math.copysign(1.0, v) < 0 and text[0] != "-" and not math.isnan(v) else text


def to_f32(x):
    return f32(x if type(x) is float else math.ldexp(x, 0))


OVERFLOW = "out of range integral type conversion attempted", "Python int too large to convert to C long"


def to_unsigned(limit):
    def convert(x):
        if not 0 <= (v := operator.index(x)) <= limit:
            raise OverflowError(OVERFLOW[not -(2**63) <= v < 2**63])
        return int(v)

    return convert


def to_u64(x):
    v = x if isinstance(x, int) else operator.index(x)
    if not 0 <= v < 2**64:
        raise OverflowError("can't convert negative int to unsigned" if v < 0 else "int too big to convert")
    return int(v)


def instance_of(cls, none_ok=False):
    def convert(x):
        if not (issubclass(type(x), cls) or none_ok and x is None):
            raise TypeError(f"'{type(x).__qualname__}' object cannot be converted to '{cls.__name__}'")
        return x

    return convert


# display: how binding errors name it; paths: every way Python reaches it, each called as path(*args, **kwargs);
# text: the converted values -> the printed form of the result
Callable = collections.namedtuple("Callable", "display names required converters defaults paths text")


def keyed(prefix, names):
    return lambda v: prefix + "(" + ", ".join(f"{n}={shortest_text(x)}" for n, x in zip(names, v)) + ")"


def new(cls, names, required, converters, defaults, text=None):  # paths: vectorcall; tp_call, __new__ -> tp_new
    paths = cls, lambda *a, **k: type.__call__(cls, *a, **k), lambda *a, **k: cls.__new__(cls, *a, **k)
    text = text or keyed(cls.__name__, names)
    return Callable(f"{cls.__name__}.__new__()", names, required, converters, defaults, paths, text)


def factory(name, names, converters, *more_paths, text=None):  # ControlSetpoint's: every argument required
    names, display = tuple(names.split()), f"ControlSetpoint.{name}"
    paths, text = (getattr(ControlSetpoint, name), *more_paths), text or keyed(display, names)
    return Callable(display + "()", names, len(names), converters, (), paths, text)


def damiao_text(v):
    return f"Damiao(motor_id={v[0]:#x}, master_id={v[1]:#x})"


def mit_text(v):
    return keyed("ControlSetpoint.mit", SETPOINT)([getattr(v[0], n) for n in SETPOINT])


def state_text(v):
    fields = "motor_id={}, error={}, position={}, velocity={}, torque={}, t_mos={}, t_rotor={}"
    return f"MotorState({fields})".format(*v[:2], *map(fixed4_text, v[2:5]), *v[5:])


F, U8, U16, LIMITS_OR_NONE = to_f32, to_unsigned(0xFF), to_unsigned(0xFFFF), instance_of(MitLimits, True)
DAMIAO, SETPOINT_ARGS = ("motor_id", "master_id", "limits", "timeout_ms"), (SETPOINT, 0, (F,) * 5, (0.0,) * 5)
STATE_HOOK = (getattr(HOOKS, "motor_state", None),)  # the native creation entry, through the testing hook
CALLABLES = {
    "MitLimits": new(MitLimits, LIMITS, 0, (F,) * 5, (12.5, 30.0, 500.0, 5.0, 10.0)),
    "MitSetpoint": new(MitSetpoint, *SETPOINT_ARGS),
    "mit_setpoint": Callable("mit_setpoint()", *SETPOINT_ARGS, (mit_setpoint,), keyed("MitSetpoint", SETPOINT)),
    "Damiao": new(Damiao, DAMIAO, 2, (U16, U16, LIMITS_OR_NONE, to_u64), (None, None, None, 20), damiao_text),
    "mit": factory("mit", "setpoint", (instance_of(MitSetpoint),), ControlSetpoint.vel(0).mit, text=mit_text),
    "pos_vel": factory("pos_vel", "position velocity", (F,) * 2),
    "vel": factory("vel", "velocity", (F,), text=lambda v: f"ControlSetpoint.vel({shortest_text(v[0])})"),
    "force_pos": factory("force_pos", "position velocity_limit torque_ratio", (F,) * 3),
    "motor_state": Callable("motor_state()", STATE, 7, (U8, U8, F, F, F, U8, U8), (), STATE_HOOK, state_text),
}
RESULT = {"MitLimits": (MitLimits, LIMITS), "MitSetpoint": (MitSetpoint, SETPOINT), "Damiao": (Damiao, DAMIAO[:2])}
RESULT |= {"mit_setpoint": (MitSetpoint, SETPOINT), "motor_state": (MotorState, STATE)}
MODES = {"mit": 1, "pos_vel": 2, "vel": 3, "force_pos": 4}


def bind(c, args, kwargs):
    n = len(c.names)
    if len(args) > n:
        takes, were = n if c.required == n else f"from {c.required} to {n}", "was" if len(args) == 1 else "were"
        raise TypeError(f"{c.display} takes {takes} positional arguments but {len(args)} {were} given")
    slots = list(args) + [MISSING] * (n - len(args))
    for key, value in kwargs.items():
        if key not in c.names:
            raise TypeError(f"{c.display} got an unexpected keyword argument '{key}'")
        if slots[c.names.index(key)] is not MISSING:
            raise TypeError(f"{c.display} got multiple values for argument '{key}'")
        slots[c.names.index(key)] = value
    if missing := [f"'{c.names[i]}'" for i in range(c.required) if slots[i] is MISSING]:
        *rest, last = missing
        listed = " and ".join(missing) if len(missing) == 2 else ", ".join(rest) + ", and " * bool(rest) + last
        plural = "s" * (len(missing) > 1)
        raise TypeError(f"{c.display} missing {len(missing)} required positional argument{plural}: {listed}")
    return slots


def reference(which, args, kwargs):  # ("ok", converted values) or ("raises", the exception the call must raise)
    c = CALLABLES[which]
    try:
        slots = bind(c, args, kwargs)
    except TypeError as error:
        return "raises", error
    values = []
    for i, slot in enumerate(slots):
        try:
            values.append(c.defaults[i] if slot is MISSING else c.converters[i](slot))
        except BaseException as error:  # noqa: BLE001 - user dunders raise anything
            if type(error) is not TypeError:  # only an exact TypeError gains the name (keeping its cause)
                return "raises", error
            wrapped = TypeError(f"argument '{c.names[i]}': {error}")
            wrapped.__cause__ = error.__cause__
            return "raises", wrapped
    return "ok", tuple(values)


def same_error(got, want) -> bool:
    return type(got) is type(want) and str(got) == str(want) and type(got.__cause__) is type(want.__cause__)


def check_result(which, result, values):
    """Asserts that a call built what the model says, read back and printed."""
    assert repr(result) == str(result) == CALLABLES[which].text(values), (repr(result), values)
    if which in MODES:
        assert type(result) is ControlSetpoint and result.mode == MODES[which]
        return
    cls, names = RESULT[which]
    assert type(result) is cls
    for name, want in zip(names, values):
        got = getattr(result, name)
        assert type(got) is type(want) and (same_float(got, want) if type(want) is float else got == want), name
    if which == "Damiao" and HOOKS is not None:
        _, _, limits, secs, nanos = HOOKS.damiao_fields(result)
        want = CALLABLES["MitLimits"].defaults if values[2] is None else [getattr(values[2], n) for n in LIMITS]
        assert type(limits) is MitLimits and limits is not values[2]
        assert all(map(same_float, [getattr(limits, n) for n in LIMITS], want))
        assert (secs, nanos) == (values[3] // 1000, values[3] % 1000 * 1_000_000)


def call_checked(which, path, args, kwargs):  # the same result as the model, or the same error (returned with it)
    kind, want = reference(which, args, kwargs)
    try:
        result = CALLABLES[which].paths[path](*args, **kwargs)
    except BaseException as error:  # noqa: BLE001
        # a wrapped error keeps the very cause of the original
        assert kind == "raises" and same_error(error, want) and error.__cause__ is want.__cause__, (error, want)
        return error, want
    assert kind == "ok", (which, path, args, kwargs, want)
    check_result(which, result, want)
    return None, None


# Literal texts, one per message template and a few printed forms, so the model cannot share a mistake. Rows of
# Python expressions (evaluated here) and texts: callable | positional args | keyword args | exception | text
ERROR_TABLE = """
MitLimits | (1, 2, 3, 4, 5, 6) | {} | TypeError | MitLimits.__new__() takes from 0 to 5 positional arguments but 6 were given
vel | (1, 2) | {"zz": 3} | TypeError | ControlSetpoint.vel() takes 1 positional arguments but 2 were given
mit_setpoint | () | {"qq": 1} | TypeError | mit_setpoint() got an unexpected keyword argument 'qq'
MitSetpoint | (1.0,) | {"q": 2.0} | TypeError | MitSetpoint.__new__() got multiple values for argument 'q'
Damiao | () | {"master_id": 2} | TypeError | Damiao.__new__() missing 1 required positional argument: 'motor_id'
Damiao | () | {} | TypeError | Damiao.__new__() missing 2 required positional arguments: 'motor_id' and 'master_id'
force_pos | () | {} | TypeError | ControlSetpoint.force_pos() missing 3 required positional arguments: 'position', 'velocity_limit', and 'torque_ratio'
pos_vel | (1.0,) | {"velocity": "x"} | TypeError | argument 'velocity': must be real number, not str
MitLimits | (2**1024,) | {} | OverflowError | int too large to convert to float
Damiao | (70000, 1) | {} | OverflowError | out of range integral type conversion attempted
Damiao | (1, 2**70) | {} | OverflowError | Python int too large to convert to C long
Damiao | (1.0, 2) | {} | TypeError | argument 'motor_id': 'float' object cannot be interpreted as an integer
Damiao | (1, 2, (1, 2)) | {} | TypeError | argument 'limits': 'tuple' object cannot be converted to 'MitLimits'
Damiao | (1, 2) | {"timeout_ms": -1} | OverflowError | can't convert negative int to unsigned
mit | (MitLimits(),) | {} | TypeError | argument 'setpoint': 'MitLimits' object cannot be converted to 'MitSetpoint'"""
# A call (made when checked) | its printed result; the MitSetpoint row's ties go to even digits.
TEXT_TABLE = """
MitLimits() | MitLimits(p_max=12.5, v_max=30, kp_max=500, kd_max=5, t_max=10)
MitLimits(1e-7, 1e10, 1e-45, -0.0, 3.4028234663852886e38) | MitLimits(p_max=0.0000001, v_max=10000000000, kp_max=0.000000000000000000000000000000000000000000001, kd_max=-0, t_max=340282350000000000000000000000000000000)
MitSetpoint(1468726.25, 3817322.75, 260673.125, 123456789.0, 3.14159265) | MitSetpoint(q=1468726.2, dq=3817322.8, kp=260673.12, kd=123456790, tau=3.1415927)
ControlSetpoint.mit(mit_setpoint(1, -2, 1e6, math.nan, 1e39)) | ControlSetpoint.mit(q=1, dq=-2, kp=1000000, kd=NaN, tau=inf)
ControlSetpoint.pos_vel(-0.0, velocity=2.5e-5) | ControlSetpoint.pos_vel(position=-0, velocity=0.000025)
ControlSetpoint.vel(velocity=-1e40) | ControlSetpoint.vel(-inf)
Damiao(0xABC, 17, None, 5) | Damiao(motor_id=0xabc, master_id=0x11)
HOOKS.motor_state(255, 0, 0.03125, -0.00001, 1e10, 30, 28) | MotorState(motor_id=255, error=0, position=0.0312, velocity=-0.0000, torque=10000000000.0000, t_mos=30, t_rotor=28)
HOOKS.motor_state(1, 2, 0.00015, math.nan, -math.inf, 0, 255) | MotorState(motor_id=1, error=2, position=0.0002, velocity=NaN, torque=-inf, t_mos=0, t_rotor=255)"""


def rows(table):
    return [row.split(" | ") for row in table.strip().splitlines()]


LITERAL_ERRORS = [(w, eval(a), eval(k), eval(e), text) for w, a, k, e, text in rows(ERROR_TABLE)]
LITERAL_TEXTS = rows(TEXT_TABLE)


def is_panic(error) -> bool:
    return f"{type(error).__module__}.{type(error).__qualname__}" == "pyo3_runtime.PanicException"


@functools.cache
def panic_type():  # PanicException, which the module makes at its first panic
    try:
        HOOKS.panic("makes the type")
    except BaseException as error:
        return type(error)


def smoke():
    """A few ordinary calls with known results: the module still works."""
    for call, text in LITERAL_TEXTS[: None if HOOKS else -2]:
        assert repr(eval(call)) == text
