#!/usr/bin/python3
"""Drives the picker window of one plenk-media process through the accessibility bus, as a
screen reader would, and prints what it was asked to read as one JSON list.

  pick_driver.py PID STEP...

Steps: wait NAME,NAME,... (until tiles of these names are shown) | click NAME (a tile) |
press LABEL (a button) | key KEYNAME | close TITLE (asks the window manager to close a window) |
tiles | tile NAME | windows | text PREFIX (a label's text) | sleep SECONDS
"""
import json
import subprocess
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

TIMEOUT = 20.0


def app_of(pid):
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:
            pass
    return None


def walk(node, depth=0):
    if node is None or depth > 60:
        return
    yield node
    for i in range(node.get_child_count()):
        yield from walk(node.get_child_at_index(i), depth + 1)


def role(node):
    return node.get_role_name()


def states(node):
    s = node.get_state_set()
    return {
        "sensitive": s.contains(Atspi.StateType.SENSITIVE),
        "checked": s.contains(Atspi.StateType.CHECKED) or s.contains(Atspi.StateType.PRESSED),
    }


def until(what, find):
    end = time.monotonic() + TIMEOUT
    while time.monotonic() < end:
        found = find()
        if found:
            return found
        time.sleep(0.1)
    raise SystemExit(f"pick_driver: {what} did not appear within {TIMEOUT}s")


def elements(pid, wanted_role):
    app = app_of(pid)
    return [n for n in walk(app) if role(n) == wanted_role] if app else []


def tiles(pid):
    return {n.get_name(): n for n in elements(pid, "toggle button")}


def act(node):
    action = node.get_action_iface()
    if action is None or action.get_n_actions() < 1:
        raise SystemExit(f"pick_driver: {node.get_name()} has no action")
    action.do_action(0)


def main(argv):
    pid = int(argv[1])
    steps = argv[2:]
    out = []
    i = 0
    while i < len(steps):
        step = steps[i]
        arg = steps[i + 1] if i + 1 < len(steps) else ""
        i += 1
        if step == "wait":
            names = arg.split(",")
            until(f"tiles {names}", lambda: all(n in tiles(pid) for n in names))
            i += 1
        elif step == "click":
            act(until(f"tile {arg}", lambda: tiles(pid).get(arg)))
            time.sleep(0.15)
            i += 1
        elif step == "press":
            act(until(f"button {arg}", lambda: next(
                (n for n in elements(pid, "button") if n.get_name() == arg), None)))
            i += 1
        elif step == "key":
            Atspi.generate_keyboard_event(Gdk_keyval(arg), None, Atspi.KeySynthType.SYM)
            i += 1
        elif step == "close":
            subprocess.run(["wmctrl", "-c", arg], check=True)
            i += 1
        elif step == "tiles":
            out.append(sorted(tiles(pid)))
        elif step == "tile":
            node = until(f"tile {arg}", lambda: tiles(pid).get(arg))
            out.append(dict(name=arg, description=node.get_description(), **states(node)))
            i += 1
        elif step == "windows":
            app = until("the picker", lambda: app_of(pid))
            out.append(sorted(app.get_child_at_index(k).get_name()
                              for k in range(app.get_child_count())))
        elif step == "text":
            out.append(until(f"text {arg}", lambda: next(
                (n.get_name() for n in elements(pid, "label") if n.get_name().startswith(arg)),
                None)))
            i += 1
        elif step == "sleep":
            time.sleep(float(arg))
            i += 1
        else:
            raise SystemExit(f"pick_driver: unknown step {step}")
    print(json.dumps(out))


def Gdk_keyval(name):
    keyvals = {"Escape": 0xFF1B, "Return": 0xFF0D, "space": 0x20, "Tab": 0xFF09}
    return keyvals[name]


if __name__ == "__main__":
    main(sys.argv)
