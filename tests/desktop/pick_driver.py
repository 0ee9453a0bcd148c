#!/usr/bin/python3
"""Drives the picker window of one plenk-media process and prints what it was asked to read as
one JSON list. The window is read through the accessibility bus; with --hands PATH, clicks and
keys go through that plenk-hands (at the element's place on screen), otherwise through the
elements' own actions.

  pick_driver.py [--hands PATH] PID STEP...

Steps: wait NAME,NAME,... (until tiles of these names are shown) | click NAME (a tile) |
press LABEL (a button) | key CHORD | type TEXT (with --hands) | window TITLE (until it shows) |
close TITLE (asks the window manager to close a window) | tiles | tile NAME | windows |
text PREFIX (a label's text) | sleep SECONDS
"""
import json
import subprocess
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

TIMEOUT = 20.0


def app_of(pid):
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except GLib.Error:
            pass
    return None


def walk(node, parent_role="", depth=0):
    """(node, role, role of its parent), depth first; parts that go away while read are skipped."""
    if node is None or depth > 60:
        return
    try:
        own = node.get_role_name()
        count = node.get_child_count()
    except GLib.Error:
        return
    yield node, own, parent_role
    for i in range(count):
        try:
            child = node.get_child_at_index(i)
        except GLib.Error:
            continue
        yield from walk(child, own, depth + 1)


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


def buttons(pid, in_grid):
    """The grid's tiles (buttons in its cells), or the other buttons."""
    app = app_of(pid)
    if not app:
        return []
    return [n for n, own, parent in walk(app)
            if own in ("push button", "toggle button") and (parent == "table cell") == in_grid]


def labels(pid):
    app = app_of(pid)
    return [n for n, own, _ in walk(app) if own == "label"] if app else []


def window_titles(pid):
    app = app_of(pid)
    return [app.get_child_at_index(k).get_name() for k in range(app.get_child_count())] if app else []


def tiles(pid):
    return {n.get_name(): n for n in buttons(pid, True)}


class Hands:
    """A plenk-hands on pipes, one request at a time."""

    def __init__(self, path):
        self.process = subprocess.Popen([path], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, text=True)
        self.id = 0

    def ask(self, verb, args):
        self.id += 1
        self.process.stdin.write(json.dumps({"id": self.id, "verb": verb, "args": args}) + "\n")
        self.process.stdin.flush()
        answer = json.loads(self.process.stdout.readline())
        if not answer.get("ok"):
            raise SystemExit(f"pick_driver: plenk-hands {verb} answered {answer}")
        return answer["result"]


HANDS = None


def frame_of(node):
    while node is not None and node.get_role_name() != "frame":
        node = node.get_parent()
    return node


def centre(node):
    """The element's centre on screen: GTK 4 tells places within its window, so the window's
    place (from the X server) is added."""
    box = node.get_extents(Atspi.CoordType.WINDOW)
    title = frame_of(node).get_name()
    info = subprocess.run(["xwininfo", "-name", title], capture_output=True, text=True).stdout
    origin = [int(line.split(":")[1]) for line in info.splitlines()
              if line.strip().startswith(("Absolute upper-left X", "Absolute upper-left Y"))]
    return origin[0] + box.x + box.width / 2, origin[1] + box.y + box.height / 2


def act(node):
    if HANDS:
        x, y = centre(node)
        HANDS.ask("click", {"x": x, "y": y})
        return
    action = node.get_action_iface()
    if action is None or action.get_n_actions() < 1:
        raise SystemExit(f"pick_driver: {node.get_name()} has no action")
    action.do_action(0)


def main(argv):
    global HANDS
    if argv[1] == "--hands":
        HANDS = Hands(argv[2])
        argv = argv[2:]
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
                (n for n in buttons(pid, False) if n.get_name() == arg), None)))
            i += 1
        elif step == "key":
            if HANDS:
                HANDS.ask("key", {"key": arg.lower()})
            else:
                Atspi.generate_keyboard_event(Gdk_keyval(arg), None, Atspi.KeySynthType.SYM)
            i += 1
        elif step == "type":
            HANDS.ask("type", {"text": arg})
            i += 1
        elif step == "window":
            until(f"window {arg}", lambda: arg in window_titles(pid))
            time.sleep(0.5)
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
            until("the picker", lambda: app_of(pid))
            out.append(sorted(window_titles(pid)))
        elif step == "text":
            out.append(until(f"text {arg}", lambda: next(
                (n.get_name() for n in labels(pid) if n.get_name().startswith(arg)),
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
