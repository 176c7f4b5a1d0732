"""Every callable of the module as a table of cases, and a reference model of
binding and conversion, shared by the reliability tests (allocation failure,
leaks, fuzzing, threads).

The reference model reproduces the documented behaviour with the
interpreter's own conversions: `math.ldexp(x, 0)` converts exactly like
`PyFloat_AsDouble`, `operator.index` like `PyNumber_Index`.
"""

import logging
import math
import operator
from dataclasses import dataclass, field

import velquist
from helpers import f32, same_float, shortest_text
from velquist import ControlSetpoint, Damiao, MitLimits, MitSetpoint, MotorState, mit_setpoint

MISSING = object()

PRESETS = ("dm3507", "dm4310", "dm4310p", "dm4340", "dm4340p", "dm6006", "dm6248p", "dm8006", "dm8009",
           "dm10010", "dm10010l", "dmg6215", "dmh3510", "dmh6220", "dmjh11")
LIMIT_NAMES = ("p_max", "v_max", "kp_max", "kd_max", "t_max")
LIMIT_DEFAULTS = (12.5, 30.0, 500.0, 5.0, 10.0)
SETPOINT_NAMES = ("q", "dq", "kp", "kd", "tau")
MOTOR_STATE_NAMES = ("motor_id", "error", "position", "velocity", "torque", "t_mos", "t_rotor")


def panic_type():
    """The PanicException type, taken from a real panic when the testing hooks exist."""
    hooks = getattr(velquist, "_testing", None)
    if hooks is None:
        return None
    try:
        hooks.panic("probe")
    except BaseException as error:  # noqa: BLE001 - PanicException derives from BaseException
        return type(error)
    raise AssertionError("the panic hook returned")


def is_panic(error) -> bool:
    kind = type(error)
    return kind.__name__ == "PanicException" and kind.__module__ == "pyo3_runtime"


# --- reference conversions -----------------------------------------------------------


def to_f32(x) -> float:
    return f32(x if type(x) is float else math.ldexp(x, 0))


def to_u16(x) -> int:
    v = operator.index(x)
    if not -(2**63) <= v < 2**63:
        raise OverflowError("Python int too large to convert to C long")
    if not 0 <= v <= 0xFFFF:
        raise OverflowError("out of range integral type conversion attempted")
    return int(v)


def to_u64(x) -> int:
    v = x if isinstance(x, int) else operator.index(x)
    if v < 0:
        raise OverflowError("can't convert negative int to unsigned")
    if v >= 2**64:
        raise OverflowError("int too big to convert")
    return int(v)


def instance_of(cls):
    def convert(x):
        if not issubclass(type(x), cls):
            raise TypeError(f"'{type(x).__qualname__}' object cannot be converted to '{cls.__name__}'")
        return x
    return convert


def limits_or_default(x):
    return None if x is None else instance_of(MitLimits)(x)


@dataclass(frozen=True)
class Signature:
    """What binding and conversion need to know about one callable."""

    display: str
    names: tuple
    required: int
    converters: tuple
    defaults: tuple = field(default=())


FLOAT5 = (to_f32,) * 5
SIGNATURES = {
    "MitLimits": Signature("MitLimits.__new__()", LIMIT_NAMES, 0, FLOAT5, LIMIT_DEFAULTS),
    "MitSetpoint": Signature("MitSetpoint.__new__()", SETPOINT_NAMES, 0, FLOAT5, (0.0,) * 5),
    "mit_setpoint": Signature("mit_setpoint()", SETPOINT_NAMES, 0, FLOAT5, (0.0,) * 5),
    "Damiao": Signature("Damiao.__new__()", ("motor_id", "master_id", "limits", "timeout_ms"), 2,
                        (to_u16, to_u16, limits_or_default, to_u64), (None, None, None, 20)),
    "mit": Signature("ControlSetpoint.mit()", ("setpoint",), 1, (instance_of(MitSetpoint),)),
    "pos_vel": Signature("ControlSetpoint.pos_vel()", ("position", "velocity"), 2, (to_f32,) * 2),
    "vel": Signature("ControlSetpoint.vel()", ("velocity",), 1, (to_f32,)),
    "force_pos": Signature("ControlSetpoint.force_pos()", ("position", "velocity_limit", "torque_ratio"), 3,
                           (to_f32,) * 3),
}


def name_list(names) -> str:
    quoted = [f"'{n}'" for n in names]
    if len(quoted) == 2:
        return " and ".join(quoted)
    return ", ".join(quoted[:-1]) + (", and " if len(quoted) > 2 else "") + quoted[-1]


def bind(sig: Signature, args, kwargs):
    """The bound slots, or the binding TypeError (raised)."""
    n = len(sig.names)
    if len(args) > n:
        verb = "was" if len(args) == 1 else "were"
        if sig.required == n:
            raise TypeError(f"{sig.display} takes {n} positional arguments but {len(args)} {verb} given")
        raise TypeError(f"{sig.display} takes from {sig.required} to {n} positional arguments "
                        f"but {len(args)} {verb} given")
    slots = list(args) + [MISSING] * (n - len(args))
    for key, value in kwargs.items():
        if key not in sig.names:
            raise TypeError(f"{sig.display} got an unexpected keyword argument '{key}'")
        index = sig.names.index(key)
        if slots[index] is not MISSING:
            raise TypeError(f"{sig.display} got multiple values for argument '{key}'")
        slots[index] = value
    missing = [sig.names[i] for i in range(sig.required) if slots[i] is MISSING]
    if missing:
        noun = "argument" if len(missing) == 1 else "arguments"
        raise TypeError(f"{sig.display} missing {len(missing)} required positional {noun}: {name_list(missing)}")
    return slots


def wrapped(name: str, error: BaseException) -> BaseException:
    """An exact TypeError gains the parameter name and keeps its cause."""
    if type(error) is not TypeError:
        return error
    new = TypeError(f"argument '{name}': {error}")
    new.__cause__ = error.__cause__
    return new


def reference(which: str, args, kwargs):
    """("ok", converted values) or ("raises", exception) for a call of `which`."""
    sig = SIGNATURES[which]
    try:
        slots = bind(sig, args, kwargs)
    except TypeError as error:
        return "raises", error
    values = []
    for i, (name, convert, slot) in enumerate(zip(sig.names, sig.converters, slots)):
        if slot is MISSING:
            values.append(sig.defaults[i])
            continue
        try:
            values.append(convert(slot))
        except BaseException as error:  # noqa: BLE001 - user dunders raise anything
            return "raises", wrapped(name, error)
    return "ok", tuple(values)


def same_error(got: BaseException, want: BaseException) -> bool:
    def cause(e):
        c = e.__cause__
        return None if c is None else (type(c), str(c))
    return type(got) is type(want) and str(got) == str(want) and cause(got) == cause(want)


def float_fields(obj, names):
    return tuple(getattr(obj, n) for n in names)


def expected_repr(which: str, values) -> str:
    text = [shortest_text(v) for v in values] if which != "Damiao" else None
    if which == "MitLimits":
        return "MitLimits(" + ", ".join(f"{n}={t}" for n, t in zip(LIMIT_NAMES, text)) + ")"
    if which in ("MitSetpoint", "mit_setpoint"):
        return "MitSetpoint(" + ", ".join(f"{n}={t}" for n, t in zip(SETPOINT_NAMES, text)) + ")"
    if which == "pos_vel":
        return "ControlSetpoint.pos_vel(position={}, velocity={})".format(*text)
    if which == "vel":
        return "ControlSetpoint.vel({})".format(*text)
    if which == "force_pos":
        return "ControlSetpoint.force_pos(position={}, velocity_limit={}, torque_ratio={})".format(*text)
    raise KeyError(which)


def check_result(which: str, result, values) -> None:
    """Asserts that a successful call built what the reference model says."""
    if which == "MitLimits":
        assert type(result) is MitLimits
        assert all(map(same_float, float_fields(result, LIMIT_NAMES), values))
    elif which in ("MitSetpoint", "mit_setpoint"):
        assert type(result) is MitSetpoint
        assert all(map(same_float, float_fields(result, SETPOINT_NAMES), values))
    elif which == "Damiao":
        assert type(result) is Damiao
        assert (result.motor_id, result.master_id) == values[:2]
        assert repr(result) == f"Damiao(motor_id={values[0]:#x}, master_id={values[1]:#x})"
        hooks = getattr(velquist, "_testing", None)
        if hooks is not None:
            motor_id, master_id, limits, secs, nanos = hooks.damiao_fields(result)
            want = LIMIT_DEFAULTS if values[2] is None else float_fields(values[2], LIMIT_NAMES)
            assert all(map(same_float, float_fields(limits, LIMIT_NAMES), want))
            assert (secs, nanos) == (values[3] // 1000, values[3] % 1000 * 1_000_000)
        return
    elif which == "mit":
        assert type(result) is ControlSetpoint and result.mode == 1
        inner = float_fields(values[0], SETPOINT_NAMES)
        assert repr(result) == "ControlSetpoint.mit(" + repr(MitSetpoint(*inner))[len("MitSetpoint("):]
        return
    else:
        assert type(result) is ControlSetpoint
        assert result.mode == {"pos_vel": 2, "vel": 3, "force_pos": 4}[which]
    assert repr(result) == expected_repr(which, values)


# --- the table of cases ----------------------------------------------------------------


@dataclass
class Case:
    """One call of one callable, with its normal outcome.

    kind: "constructor" (a class's own), "factory" (presets, ControlSetpoint
    factories, mit_setpoint), "getter", "repr" or "error" (an error path).
    expect: a predicate on the result, or the exception expected.
    """

    name: str
    kind: str
    call: object
    expect: object
    args: tuple = ()

    def run_checked(self):
        """Calls once and asserts the normal outcome."""
        if isinstance(self.expect, BaseException):
            try:
                self.call()
            except BaseException as error:  # noqa: BLE001
                assert same_error(error, self.expect), (self.name, error)
                return
            raise AssertionError(f"{self.name}: no exception")
        result = self.call()
        assert self.expect(result), (self.name, result)


def _is(cls, text=None):
    return lambda r: type(r) is cls and (text is None or repr(r) == text)


class _Count(logging.Handler):
    def __init__(self):
        super().__init__()
        self.count = 0

    def emit(self, record):
        self.count += 1


def log_event_counter(hooks):
    """A call sending one native event to its own logger; returns how many
    records reached the handler (0 when the bridge dropped the event)."""
    handler = _Count()
    logger = logging.getLogger("velquist_reliability.events")
    logger.handlers[:] = [handler]
    logger.setLevel(logging.DEBUG)
    logger.propagate = False

    def call():
        # a test runner's capture handlers, attached meanwhile, would keep every record
        logger.handlers[:] = [handler]
        before = handler.count
        hooks.log(20, "velquist_reliability::events", "motor %d ready", "src/motor.cpp", 42)
        return handler.count - before
    return call


def build_cases():
    """The cases, built afresh (each with its own argument objects)."""
    hooks = getattr(velquist, "_testing", None)
    cases = []
    add = cases.append
    big = 0.1  # not a cached float constant once converted
    sp = MitSetpoint(1.5, kd=0.5)
    lim = MitLimits.dm4340()

    # constructors, by the type's vectorcall, by tp_new and by tp_call
    limits_text = "MitLimits(p_max=1, v_max=2.5, kp_max=500, kd_max=5, t_max=3)"
    add(Case("MitLimits(...)", "constructor", lambda: MitLimits(1, 2.5, t_max=3), _is(MitLimits, limits_text)))
    add(Case("MitLimits.__new__", "constructor", lambda: MitLimits.__new__(MitLimits, 1, 2.5, t_max=3),
             _is(MitLimits, limits_text)))
    add(Case("type.__call__(MitLimits)", "constructor", lambda: type.__call__(MitLimits, 1, 2.5, t_max=3),
             _is(MitLimits, limits_text)))
    sp_text = "MitSetpoint(q=0.1, dq=0, kp=30, kd=0, tau=0)"
    add(Case("MitSetpoint(...)", "constructor", lambda: MitSetpoint(big, kp=30), _is(MitSetpoint, sp_text)))
    add(Case("MitSetpoint.__new__", "constructor", lambda: MitSetpoint.__new__(MitSetpoint, big, kp=30),
             _is(MitSetpoint, sp_text)))
    add(Case("Damiao(...)", "constructor", lambda: Damiao(1000, 17, lim, timeout_ms=1500),
             _is(Damiao, "Damiao(motor_id=0x3e8, master_id=0x11)")))
    add(Case("Damiao.__new__", "constructor", lambda: Damiao.__new__(Damiao, 1000, 17, limits=None),
             _is(Damiao, "Damiao(motor_id=0x3e8, master_id=0x11)")))

    # factories
    for preset in PRESETS:
        add(Case(f"MitLimits.{preset}", "factory", getattr(MitLimits, preset), _is(MitLimits)))
    add(Case("ControlSetpoint.mit", "factory", lambda: ControlSetpoint.mit(sp),
             _is(ControlSetpoint, "ControlSetpoint.mit(q=1.5, dq=0, kp=0, kd=0.5, tau=0)")))
    add(Case("ControlSetpoint.mit(setpoint=)", "factory", lambda: ControlSetpoint.mit(setpoint=sp),
             _is(ControlSetpoint)))
    add(Case("ControlSetpoint.pos_vel", "factory", lambda: ControlSetpoint.pos_vel(1.0, velocity=2.5),
             _is(ControlSetpoint, "ControlSetpoint.pos_vel(position=1, velocity=2.5)")))
    add(Case("ControlSetpoint.vel", "factory", lambda: ControlSetpoint.vel(3),
             _is(ControlSetpoint, "ControlSetpoint.vel(3)")))
    add(Case("ControlSetpoint.force_pos", "factory",
             lambda: ControlSetpoint.force_pos(0.5, 1, torque_ratio=0.25),
             _is(ControlSetpoint, "ControlSetpoint.force_pos(position=0.5, velocity_limit=1, torque_ratio=0.25)")))
    add(Case("mit_setpoint", "factory", lambda: mit_setpoint(1.5, kd=0.5),
             _is(MitSetpoint, "MitSetpoint(q=1.5, dq=0, kp=0, kd=0.5, tau=0)")))
    add(Case("mit_setpoint()", "factory", mit_setpoint, _is(MitSetpoint)))

    # getters and printed forms of every class
    objects = {
        "MitLimits": (MitLimits(0.1, 2, 3, 4, 5), LIMIT_NAMES),
        "MitSetpoint": (MitSetpoint(0.1, 2, 3, 4, 5), SETPOINT_NAMES),
        "ControlSetpoint": (ControlSetpoint.mit(sp), ("mode",)),
        "Damiao": (Damiao(1000, 2000), ("motor_id", "master_id")),
    }
    if hooks is not None:
        objects["MotorState"] = (hooks.motor_state(1, 2, 0.1, -0.25, 1e10, 30, 255), MOTOR_STATE_NAMES)
    for cls_name, (obj, names) in objects.items():
        cls = type(obj)
        for attr in names:
            want = getattr(obj, attr)
            add(Case(f"{cls_name}.{attr}", "getter", (lambda o=obj, a=attr: getattr(o, a)),
                     (lambda r, w=want: type(r) is type(w) and same_float(float(r), float(w)))))
        text = repr(obj)
        add(Case(f"repr({cls_name})", "repr", (lambda o=obj: repr(o)), (lambda r, t=text: r == t)))
        add(Case(f"{cls_name}.__repr__", "repr", (lambda o=obj, c=cls: c.__repr__(o)), (lambda r, t=text: r == t)))
    for mode_obj in (ControlSetpoint.pos_vel(1, 2), ControlSetpoint.vel(0.1), ControlSetpoint.force_pos(1, 2, 3)):
        text = repr(mode_obj)
        add(Case(f"repr({text.split('(')[0]})", "repr", (lambda o=mode_obj: repr(o)), (lambda r, t=text: r == t)))

    # a native log event through the bridge to a Python handler
    if hooks is not None:
        add(Case("native log event", "log", log_event_counter(hooks), lambda delivered: delivered == 1))

    # error paths: binding, conversion, no constructor, wrong receivers
    errors = [
        ("MitLimits 6 positional", lambda: MitLimits(1, 2, 3, 4, 5, 6),
         TypeError("MitLimits.__new__() takes from 0 to 5 positional arguments but 6 were given")),
        ("MitLimits.__new__ bad keyword", lambda: MitLimits.__new__(MitLimits, bogus=1),
         TypeError("MitLimits.__new__() got an unexpected keyword argument 'bogus'")),
        ("MitLimits p_max='x'", lambda: MitLimits(p_max="x"),
         TypeError("argument 'p_max': must be real number, not str")),
        ("MitLimits.__new__ t_max=None", lambda: MitLimits.__new__(MitLimits, t_max=None),
         TypeError("argument 't_max': must be real number, not NoneType")),
        ("MitLimits huge int", lambda: MitLimits(2**1024), OverflowError("int too large to convert to float")),
        ("MitSetpoint twice", lambda: MitSetpoint(1.0, q=2.0),
         TypeError("MitSetpoint.__new__() got multiple values for argument 'q'")),
        ("mit_setpoint qq", lambda: mit_setpoint(qq=1.0),
         TypeError("mit_setpoint() got an unexpected keyword argument 'qq'")),
        ("mit_setpoint tau=[]", lambda: mit_setpoint(1, 2, 3, 4, []),
         TypeError("argument 'tau': must be real number, not list")),
        ("Damiao()", lambda: Damiao(),
         TypeError("Damiao.__new__() missing 2 required positional arguments: 'motor_id' and 'master_id'")),
        ("Damiao(master_id=2)", lambda: Damiao.__new__(Damiao, master_id=2),
         TypeError("Damiao.__new__() missing 1 required positional argument: 'motor_id'")),
        ("Damiao 70000", lambda: Damiao(70000, 1), OverflowError("out of range integral type conversion attempted")),
        ("Damiao 2**70", lambda: Damiao(1, 2**70), OverflowError("Python int too large to convert to C long")),
        ("Damiao 1.0", lambda: Damiao(1.0, 2),
         TypeError("argument 'motor_id': 'float' object cannot be interpreted as an integer")),
        ("Damiao limits tuple", lambda: Damiao(1, 2, (1, 2)),
         TypeError("argument 'limits': 'tuple' object cannot be converted to 'MitLimits'")),
        ("Damiao timeout -1", lambda: Damiao(1, 2, timeout_ms=-1),
         OverflowError("can't convert negative int to unsigned")),
        ("Damiao timeout None", lambda: Damiao.__new__(Damiao, 1, 2, None, None),
         TypeError("argument 'timeout_ms': 'NoneType' object cannot be interpreted as an integer")),
        ("ControlSetpoint.mit(1.0)", lambda: ControlSetpoint.mit(1.0),
         TypeError("argument 'setpoint': 'float' object cannot be converted to 'MitSetpoint'")),
        ("ControlSetpoint.mit(limits)", lambda: ControlSetpoint.mit(setpoint=lim),
         TypeError("argument 'setpoint': 'MitLimits' object cannot be converted to 'MitSetpoint'")),
        ("ControlSetpoint.vel 2 args", lambda: ControlSetpoint.vel(1, 2),
         TypeError("ControlSetpoint.vel() takes 1 positional arguments but 2 were given")),
        ("ControlSetpoint.force_pos 1 arg", lambda: ControlSetpoint.force_pos(1.0),
         TypeError("ControlSetpoint.force_pos() missing 2 required positional arguments: "
                   "'velocity_limit' and 'torque_ratio'")),
        ("ControlSetpoint.pos_vel str", lambda: ControlSetpoint.pos_vel(1.0, velocity="x"),
         TypeError("argument 'velocity': must be real number, not str")),
        ("ControlSetpoint()", lambda: ControlSetpoint(), TypeError("No constructor defined for ControlSetpoint")),
        ("MotorState(1, 2)", lambda: MotorState(1, 2), TypeError("No constructor defined for MotorState")),
        ("MotorState.__new__", lambda: MotorState.__new__(MotorState),
         TypeError("No constructor defined for MotorState")),
        ("MitLimits.dm4310(1)", lambda: MitLimits.dm4310(1),
         TypeError("MitLimits.dm4310() takes no arguments (1 given)")),
    ]
    for name, call, error in errors:
        add(Case(name, "error", call, error))
    return cases


def smoke():
    """A few ordinary calls whose results are known: the module still works."""
    assert repr(MitLimits()) == "MitLimits(p_max=12.5, v_max=30, kp_max=500, kd_max=5, t_max=10)"
    assert MitSetpoint(q=0.1).q == 0.10000000149011612
    assert repr(ControlSetpoint.mit(mit_setpoint(kd=2))) == "ControlSetpoint.mit(q=0, dq=0, kp=0, kd=2, tau=0)"
    assert repr(Damiao(65535, 255)) == "Damiao(motor_id=0xffff, master_id=0xff)"
    assert MitLimits.dm6248p().t_max == 120.0
