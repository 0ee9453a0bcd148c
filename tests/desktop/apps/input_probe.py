#!/usr/bin/python3
"""A window that says on standard output, one JSON object a line, what input reached it.

    input_probe.py 3|4

The first line is {"event":"ready","widgets":{name:[x,y,w,h],...}} in screen pixels, once the
window is active, laid out and focused on its entry. Then: "key" (keyval name, key code and
modifier state of every press the window sees), "clicked" (the button, with its new label),
"entry", "user" and "password" (their text on every change; Return in "user" moves on to
"password"), "activated" (the default button), "textview" (the text area's text), "selection"
(its selected text), "popup" and "popdown" (a context menu opened and closed), "vscroll" (the list's first visible row),
"hscroll" (the wide view's left edge).
"""
import json
import subprocess
import sys

import gi

VERSION = sys.argv[1] if len(sys.argv) > 1 else "3"
gi.require_version("Gtk", "3.0" if VERSION == "3" else "4.0")
from gi.repository import GLib, Gtk  # noqa: E402

GTK4 = VERSION == "4"
ROWS = 200


def say(event, **fields):
    fields["event"] = event
    print(json.dumps(fields, ensure_ascii=False), flush=True)


def modifiers(state):
    from gi.repository import Gdk

    return {
        "control": bool(state & Gdk.ModifierType.CONTROL_MASK),
        "alt": bool(state & Gdk.ModifierType.ALT_MASK if GTK4 else state & Gdk.ModifierType.MOD1_MASK),
        "shift": bool(state & Gdk.ModifierType.SHIFT_MASK),
    }


def on_key(keyval, keycode, state):
    from gi.repository import Gdk

    say("key", keyval=Gdk.keyval_name(keyval), keycode=keycode, **modifiers(state))


def add(box, widget):
    if GTK4:
        box.append(widget)
    else:
        box.pack_start(widget, False, False, 0)


def scrolled(child, width, height):
    view = Gtk.ScrolledWindow()
    view.set_size_request(width, height)
    if GTK4:
        view.set_child(child)
    else:
        view.add(child)
    return view


window = Gtk.Window(title="plenk input probe " + VERSION)
window.set_default_size(900, 640)
columns = Gtk.Box(orientation=Gtk.Orientation.HORIZONTAL, spacing=12)
left = Gtk.Box(orientation=Gtk.Orientation.VERTICAL, spacing=8)
right = Gtk.Box(orientation=Gtk.Orientation.VERTICAL, spacing=8)
add(columns, left)
add(columns, right)

presses = [0]
button = Gtk.Button(label="Press me")


def on_clicked(_):
    presses[0] += 1
    button.set_label("Pressed %d" % presses[0])
    say("clicked", label=button.get_label())


button.connect("clicked", on_clicked)
add(left, button)

entry = Gtk.Entry()
entry.set_activates_default(True)
entry.connect("changed", lambda e: say("entry", text=e.get_text()))
add(left, entry)

ok = Gtk.Button(label="OK")
ok.connect("clicked", lambda _: say("activated"))
add(left, ok)

user = Gtk.Entry()
user.connect("changed", lambda e: say("user", text=e.get_text()))
add(left, user)

if GTK4:
    password = Gtk.PasswordEntry()
else:
    password = Gtk.Entry()
    password.set_visibility(False)
password.connect("changed", lambda e: say("password", text=e.get_text()))
# Return in the user name moves on to the password, as sign-in forms do.
user.connect("activate", lambda _: password.grab_focus())
add(left, password)

text = Gtk.TextView()
text.get_buffer().set_text("alpha beta gamma\ndelta epsilon")


def on_text_changed(buffer):
    start, end = buffer.get_bounds()
    say("textview", text=buffer.get_text(start, end, True))


def on_mark(buffer, _iter, mark):
    if mark.get_name() not in ("insert", "selection_bound"):
        return
    bounds = buffer.get_selection_bounds()
    if bounds:
        say("selection", text=buffer.get_text(bounds[0], bounds[1], True))


text.get_buffer().connect("changed", on_text_changed)
text.get_buffer().connect("mark-set", on_mark)


def on_popup(name):
    def handler(_widget, menu):
        say("popup", widget=name)
        # Said once the menu has let go of its grab, so that the next input reaches the window.
        menu.connect("hide", lambda *_: GLib.idle_add(lambda: say("popdown", widget=name)))

    return handler


if not GTK4:
    text.connect("populate-popup", on_popup("textview"))
    entry.connect("populate-popup", on_popup("entry"))
add(left, scrolled(text, 380, 160))

rows = Gtk.ListBox()
for i in range(ROWS):
    label = Gtk.Label(label="Row %d" % i)
    label.set_size_request(-1, 24)
    if GTK4:
        rows.append(label)
    else:
        rows.add(label)
rows_view = scrolled(rows, 380, 240)
add(right, rows_view)


def on_vscroll(adjustment):
    row = rows.get_row_at_y(int(adjustment.get_value()) + 1)
    say("vscroll", first=row.get_index() if row else -1, value=adjustment.get_value())


rows_view.get_vadjustment().connect("value-changed", on_vscroll)

wide = Gtk.Label(label="  ".join("Column %d" % i for i in range(120)))
wide_view = scrolled(wide, 380, 60)
add(right, wide_view)
wide_view.get_hadjustment().connect(
    "value-changed", lambda a: say("hscroll", value=a.get_value())
)

if GTK4:
    from gi.repository import Gdk

    window.set_child(columns)
    window.set_default_widget(ok)
    keys = Gtk.EventControllerKey()
    keys.set_propagation_phase(Gtk.PropagationPhase.CAPTURE)
    keys.connect("key-pressed", lambda c, kv, kc, st: on_key(kv, kc, st) or False)
    window.add_controller(keys)
else:
    window.add(columns)
    ok.set_can_default(True)
    window.set_default(ok)
    window.connect("key-press-event", lambda w, ev: on_key(ev.keyval, ev.hardware_keycode, ev.state) or False)
    window.connect("destroy", Gtk.main_quit)


def wayland():
    from gi.repository import Gdk

    return "Wayland" in type(Gdk.Display.get_default()).__name__


def window_origin():
    """The top left of the window's drawing area on the screen; on Wayland, where a client does
    not know its place, the window's own top left (the test adds the compositor's rectangle)."""
    if wayland():
        return 0, 0
    if not GTK4:
        _, x, y = window.get_window().get_origin()
        return x, y
    xid = window.get_surface().get_xid()
    info = subprocess.run(["xwininfo", "-id", str(xid)], capture_output=True, text=True).stdout
    values = {}
    for line in info.splitlines():
        if ":" in line:
            key, _, value = line.strip().partition(":")
            values[key] = value.strip()
    return int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"])


def bounds(widget, ox, oy):
    if GTK4:
        from gi.repository import Graphene

        ok_, point = widget.compute_point(window, Graphene.Point())
        x, y = point.x, point.y
        w, h = widget.get_width(), widget.get_height()
    else:
        x, y = widget.translate_coordinates(window, 0, 0)
        alloc = widget.get_allocation()
        w, h = alloc.width, alloc.height
    return [int(ox + x), int(oy + y), w, h]


def ready():
    # Only once the window is active and laid out: a click before that lands elsewhere.
    if not window.is_active() or entry.get_allocated_width() <= 1:
        return True
    focus = window.get_focus()
    if not (focus is entry or (focus is not None and focus.is_ancestor(entry))):
        entry.grab_focus()
        return True
    ox, oy = window_origin()
    named = {
        "button": button,
        "entry": entry,
        "ok": ok,
        "user": user,
        "password": password,
        "text": text,
        "rows": rows_view,
        "wide": wide_view,
    }
    widgets = {k: bounds(v, ox, oy) for k, v in named.items()}
    if any(b[2] <= 1 or b[3] <= 1 for b in widgets.values()):
        return True
    say("ready", widgets=widgets, relative=wayland())
    return False


def shown():
    entry.grab_focus()
    GLib.timeout_add(100, ready)
    return False


if GTK4:
    window.present()
    GLib.timeout_add(300, shown)
    loop = GLib.MainLoop()
    window.connect("close-request", lambda *_: loop.quit() or False)
    loop.run()
else:
    window.show_all()
    GLib.timeout_add(300, shown)
    Gtk.main()
