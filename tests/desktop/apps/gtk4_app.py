#!/usr/bin/python3
"""A GTK 4 window for the desktop tests, with the same widgets as gtk3_app.py: menu bar, buttons
(one disabled), an entry with a placeholder, a password entry, an entry named by its label, a
check box, an icon button with a tooltip, a multi-line text area, a link, nested groups and a
long list.

    gtk4_app.py [--title TITLE] [--rows N] [--class WMCLASS]

Once the window is shown it writes one JSON line to standard output:
    {"ready": true, "pid": ..., "xid": ..., "title": ...,
     "widgets": {"name": [x, y, w, h], ...}, "bounds": {"name": [x, y, w, h], ...}}
"widgets" are the content boxes (what GTK 4 tells accessibility), "bounds" the border boxes,
both relative to the top left of the X window (add the window's X11 position for the screen).
It then runs until killed or closed.
"""
import argparse
import json
import os
import sys

import gi

gi.require_version("Gtk", "4.0")
gi.require_version("GdkX11", "4.0")
from gi.repository import GdkX11, Gio, GLib, Gtk  # noqa: E402

PASSWORD = "hunter2-secret"

parser = argparse.ArgumentParser()
parser.add_argument("--title", default="Plenk GTK4 Test")
parser.add_argument("--rows", type=int, default=40)
parser.add_argument("--class", dest="wmclass", default="plenk-gtk4-test")
args = parser.parse_args()

GLib.set_prgname(args.wmclass)
GLib.set_application_name(args.title)

named = {}


def name(widget, key):
    named[key] = widget
    return widget


def build():
    window = Gtk.Window(title=args.title)
    window.set_default_size(640, 560)
    outer = Gtk.Box(orientation=Gtk.Orientation.VERTICAL, spacing=4)
    window.set_child(outer)

    model = Gio.Menu()
    for title, items in (("File", ("New", "Open", "Quit")), ("Edit", ("Copy", "Paste")),
                         ("Help", ("About",))):
        section = Gio.Menu()
        for item in items:
            section.append(item, "app.nothing")
        model.append_submenu(title, section)
    menubar = name(Gtk.PopoverMenuBar.new_from_model(model), "menubar")
    outer.append(menubar)

    heading = name(Gtk.Label(label="Account settings", xalign=0), "heading")
    outer.append(heading)

    frame = Gtk.Frame(label="Sign in")
    outer.append(frame)
    group = Gtk.Box(orientation=Gtk.Orientation.VERTICAL, spacing=4)
    frame.set_child(group)
    grid = Gtk.Grid(column_spacing=6, row_spacing=4)
    group.append(grid)

    grid.attach(Gtk.Label(label="User name"), 0, 0, 1, 1)
    entry = name(Gtk.Entry(), "entry")
    entry.set_placeholder_text("Your name")
    entry.set_hexpand(True)
    grid.attach(entry, 1, 0, 1, 1)

    grid.attach(Gtk.Label(label="Password"), 0, 1, 1, 1)
    password = name(Gtk.PasswordEntry(), "password")
    password.set_text(PASSWORD)
    grid.attach(password, 1, 1, 1, 1)

    nickname_label = Gtk.Label(label="Display name")
    grid.attach(nickname_label, 0, 2, 1, 1)
    nickname = name(Gtk.Entry(), "nickname")
    nickname.set_text("Ziggy Ünal")
    nickname_label.set_mnemonic_widget(nickname)
    grid.attach(nickname, 1, 2, 1, 1)

    buttons = Gtk.Box(orientation=Gtk.Orientation.HORIZONTAL, spacing=6)
    group.append(buttons)
    buttons.append(name(Gtk.Button(label="Sign in"), "ok_button"))
    disabled = name(Gtk.Button(label="Delete account"), "disabled_button")
    disabled.set_sensitive(False)
    buttons.append(disabled)
    buttons.append(name(Gtk.CheckButton(label="Remember me"), "check"))
    refresh = name(Gtk.Button.new_from_icon_name("view-refresh"), "refresh")
    refresh.set_tooltip_text("Refresh the list")
    buttons.append(refresh)

    link = name(Gtk.LinkButton.new_with_label("file:///nowhere", "Forgot password"), "link")
    link.set_halign(Gtk.Align.START)
    outer.append(link)

    notes = name(Gtk.TextView(), "textview")
    notes.get_buffer().set_text("First line of notes\nSecond line of notes")
    notes.set_size_request(-1, 60)
    outer.append(notes)

    scroller = Gtk.ScrolledWindow()
    scroller.set_vexpand(True)
    outer.append(scroller)
    rows = Gtk.ListBox()
    scroller.set_child(rows)
    for i in range(args.rows):
        rows.append(Gtk.Label(label="Item %d" % (i + 1), xalign=0))
    if args.rows:
        name(rows.get_row_at_index(0), "first_row")
    return window, entry


def report(window):
    sx, sy = window.get_surface_transform()
    widgets, bounds = {}, {}
    for key, widget in named.items():
        x, y = widget.translate_coordinates(window, 0, 0)
        widgets[key] = [x + sx, y + sy, widget.get_width(), widget.get_height()]
        ok, rect = widget.compute_bounds(window)
        bounds[key] = [rect.get_x() + sx, rect.get_y() + sy, rect.get_width(), rect.get_height()]
    surface = window.get_surface()
    # A Wayland window has no X id: the compositor is asked where it is, by its title.
    xid = GdkX11.X11Surface.get_xid(surface) if isinstance(surface, GdkX11.X11Surface) else 0
    print(json.dumps({"ready": True, "pid": os.getpid(), "xid": xid, "title": args.title,
                      "widgets": widgets, "bounds": bounds}), flush=True)
    return False


def activate(app):
    window, entry = build()
    app.add_window(window)
    window.present()
    entry.grab_focus()
    GLib.timeout_add(500, report, window)


app = Gtk.Application(application_id=None, flags=Gio.ApplicationFlags.NON_UNIQUE)
app.connect("activate", activate)
app.run([sys.argv[0]])
