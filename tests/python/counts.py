"""How the running interpreter counts references, observed rather than looked up by its version: the suite's
reference-count checks ask here which objects' counts can show the module's references. (Imports nothing of the
module, so that a subprocess can use it before the module's first import.)"""

import sys


def counted(obj) -> bool:
    """Whether a new reference moves the count of `obj`: an immortal object's never moves (small ints and interned
    strings on some interpreters, strings interned at run time on fewer)."""
    before = sys.getrefcount(obj)
    held = [obj]  # a container's reference: a local variable may only borrow
    return sys.getrefcount(held[0]) > before


def shared(obj) -> bool:
    """An int the interpreter hands out from its cache, whose count (where it is counted at all) every use moves, the
    measuring loop's own included."""
    return type(obj) is int and obj is int(str(obj))
