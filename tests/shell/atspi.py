#!/usr/bin/env python3
"""What a screen reader sees of a running Orvane, read through AT-SPI (pyatspi).

usage: atspi.py dump              the tree: one line per object, "role | name | description"
       atspi.py check             names and roles a reader needs; exit 1 with the faults
       atspi.py press NAME        runs the first action of the object called NAME
       atspi.py value NAME        the current value of the object called NAME
"""
import sys
import time

import pyatspi


def application(timeout=20.0):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name and app.name.lower().startswith("orvane"):
                return app
        time.sleep(0.2)
    sys.exit("orvane did not appear on the accessibility bus")


def walk(node, depth=0):
    yield node, depth
    if depth > 40:
        return
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child, depth + 1)


def find(app, name, timeout=10.0):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        for node, _ in walk(app):
            if node.name == name:
                return node
        time.sleep(0.2)
    sys.exit("no object named %r" % name)


def dump(app):
    for node, depth in walk(app):
        print("%s%s | %s | %s" % ("  " * depth, node.getRoleName(), node.name,
                                  node.description))


def check(app):
    faults = []
    roles = {}
    for node, _ in walk(app):
        roles.setdefault(node.getRoleName(), []).append(node)
    sliders = [n for n in roles.get("slider", []) if n.name == "Waveform"]
    if not sliders:
        faults.append("no slider named Waveform")
    else:
        wave = sliders[0]
        value = wave.queryValue()
        if value.maximumValue <= 0:
            faults.append("the waveform's range is empty")
        if not wave.description.startswith("selected"):
            faults.append("the waveform's description %r names no selection" % wave.description)
    names = [n.name for n in roles.get("text", [])]
    for label in ("Begin:", "End:"):
        if label not in names:
            faults.append("no edit named %r (edits: %r)" % (label, names))
    # Every control a reader can land on says what it is.
    for role in ("push button", "check box", "text", "slider", "combo box", "scroll bar",
                 "progress bar", "status bar"):
        for node in roles.get(role, []):
            states = node.getState()
            # The bars are named even while hidden: they appear while a reader is on the window.
            named_always = role in ("scroll bar", "progress bar", "status bar")
            if (named_always or states.contains(pyatspi.STATE_SHOWING)) and not node.name:
                faults.append("a %s without a name" % role)
            if node.name != node.name.strip():
                faults.append("the %s %r is named with padding" % (role, node.name))
    for fault in faults:
        print("atspi: " + fault)
    return 1 if faults else 0


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    app = application()
    command = sys.argv[1]
    if command == "dump":
        dump(app)
    elif command == "check":
        sys.exit(check(app))
    elif command == "press":
        find(app, sys.argv[2]).queryAction().doAction(0)
    elif command == "value":
        print(int(find(app, sys.argv[2]).queryValue().currentValue))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
