"""What the running interpreter does on its own, where interpreters differ: each fact observed on the interpreter
itself, never looked up by its version or build flags (imports nothing of the module: a subprocess may use this
before the first import)."""

import functools
import importlib.util
import sys


def counted(obj) -> bool:
    """False for an immortal object (small ints, interned strings on some interpreters), whose count never moves."""
    before = sys.getrefcount(obj)
    held = [obj]  # a container's reference: a local variable may only borrow
    return sys.getrefcount(held[0]) > before


def shared(obj) -> bool:
    """An int from the interpreter's cache: every use moves its count where it is counted, the measuring loop's too."""
    return type(obj) is int and obj is int(str(obj))


@functools.cache
def refuses_single_phase_in_legacy_subinterpreter() -> bool:
    """The interpreter itself refuses a single-phase module in a legacy sub-interpreter too (shown with its own
    test module; without that module, as the interpreter with the GIL does: not)."""
    import _interpreters

    if importlib.util.find_spec("_testsinglephase") is None:
        return False
    interpreter = _interpreters.create("legacy")
    try:
        return _interpreters.exec(interpreter, "import _testsinglephase") is not None
    finally:
        _interpreters.destroy(interpreter)
