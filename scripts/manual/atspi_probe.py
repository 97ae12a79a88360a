#!/usr/bin/python3
"""What a screen reader finds in the running window, through AT-SPI: the tree (role, name,
description, focusable), the focused object after the reload button, and the description of the
file row the list moves to. Run by atspi-probe.sh."""
import subprocess
import time

import pyatspi


def app():
    for _ in range(100):
        for a in pyatspi.Registry.getDesktop(0):
            if a and a.name == "wavplayer":
                return a
        time.sleep(0.1)
    raise SystemExit("wavplayer not on the accessibility bus")


def line(o):
    states = o.getState()
    labels = [t.name for r in o.getRelationSet()
              if r.getRelationType() == pyatspi.RELATION_LABELLED_BY
              for t in (r.getTarget(i) for i in range(r.getNTargets()))]
    return "%s %r %r%s%s%s" % (o.getRoleName(), o.name, o.description,
                               " labelled by %r" % labels[0] if labels else "",
                               " focusable" if states.contains(pyatspi.STATE_FOCUSABLE) else "",
                               " focused" if states.contains(pyatspi.STATE_FOCUSED) else "")


def dump(o, depth=0):
    print("  " * depth + line(o))
    rows = 4 if o.getRoleName() == "list" else 100  # a folder's rows: the first few
    for i, c in enumerate(o):
        if i < rows and c is not None:
            dump(c, depth + 1)


def focused(o):
    """The innermost focused object below o."""
    for c in o:
        f = focused(c) if c is not None else None
        if f:
            return f
    return o if o.getState().contains(pyatspi.STATE_FOCUSED) else None


a = app()
print("== the tree (the first rows of the list)")
dump(a)
window = a[0]
reload = pyatspi.findDescendant(window, lambda o: o.name == "Neu einlesen")
reload.queryAction().doAction(0)
time.sleep(0.5)
print("== focused after reload:", line(focused(window)))
subprocess.run(["xdotool", "key", "End"], check=True)
time.sleep(1.0)
print("== focused after End:", line(focused(window)))
