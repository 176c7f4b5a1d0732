"""Which reference counts can show the module's references, observed rather than looked up by version (imports
nothing of the module: a subprocess may use it before the first import)."""

import sys


def counted(obj) -> bool:
    """False for an immortal object (small ints, interned strings on some interpreters), whose count never moves."""
    before = sys.getrefcount(obj)
    held = [obj]  # a container's reference: a local variable may only borrow
    return sys.getrefcount(held[0]) > before


def shared(obj) -> bool:
    """An int from the interpreter's cache: every use moves its count where it is counted, the measuring loop's too."""
    return type(obj) is int and obj is int(str(obj))
