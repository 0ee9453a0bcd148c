#!/usr/bin/python3
"""A GTK 3 window for the desktop tests: menu bar, buttons (one disabled), an entry with a
placeholder, a password entry, an entry named by its label, a check box, an icon button with
a tooltip, a multi-line text area, a link, nested groups and a long list.

    gtk3_app.py [--title TITLE] [--rows N] [--class WMCLASS]

Once the window is shown it writes one JSON line to standard output:
    {"ready": true, "pid": ..., "xid": ..., "title": ...,
     "widgets": {"name": [x, y, w, h], ...}}
where each rectangle is the widget's allocation relative to the top left of its X window (add
the window's X11 position to get screen coordinates). It then runs until killed or closed.
"""
import argparse
import json
import os
import sys

import gi

from gi.repository import GLib  # noqa: E402

PASSWORD = "hunter2-secret"

parser = argparse.ArgumentParser()
parser.add_argument("--title", default="Plenk GTK3 Test")
parser.add_argument("--rows", type=int, default=40)
parser.add_argument("--class", dest="wmclass", default="plenk-gtk3-test")
args = parser.parse_args()

# Before GTK 3 starts (importing Gtk does): the window class comes from the program name.
GLib.set_prgname(args.wmclass)
GLib.set_application_name(args.title)

gi.require_version("Gtk", "3.0")
gi.require_version("GdkX11", "3.0")
from gi.repository import GdkX11, Gtk  # noqa: E402,F401

window = Gtk.Window(title=args.title)
window.set_default_size(640, 560)
window.move(40, 40)
window.connect("destroy", Gtk.main_quit)

named = {}


def name(widget, key):
    named[key] = widget
    return widget


outer = Gtk.Box(orientation=Gtk.Orientation.VERTICAL, spacing=4)
window.add(outer)

menubar = name(Gtk.MenuBar(), "menubar")
for title, items in (("File", ("New", "Open", "Quit")), ("Edit", ("Copy", "Paste")),
                     ("Help", ("About",))):
    top = name(Gtk.MenuItem(label=title), "menu_" + title.lower())
    menu = Gtk.Menu()
    for item in items:
        menu.append(Gtk.MenuItem(label=item))
    top.set_submenu(menu)
    menubar.append(top)
outer.pack_start(menubar, False, False, 0)

heading = name(Gtk.Label(label="Account settings"), "heading")
heading.set_xalign(0)
outer.pack_start(heading, False, False, 0)

# Nested groups: a frame holding a box holding a grid.
frame = Gtk.Frame(label="Sign in")
outer.pack_start(frame, False, False, 0)
group = Gtk.Box(orientation=Gtk.Orientation.VERTICAL, spacing=4)
frame.add(group)
grid = Gtk.Grid(column_spacing=6, row_spacing=4)
group.pack_start(grid, False, False, 0)

grid.attach(Gtk.Label(label="User name"), 0, 0, 1, 1)
entry = name(Gtk.Entry(), "entry")
entry.set_placeholder_text("Your name")
entry.set_hexpand(True)
grid.attach(entry, 1, 0, 1, 1)

grid.attach(Gtk.Label(label="Password"), 0, 1, 1, 1)
password = name(Gtk.Entry(), "password")
password.set_visibility(False)
password.set_text(PASSWORD)
grid.attach(password, 1, 1, 1, 1)

# An entry without placeholder or name: only its label, through the labelled-by relation, names it.
nickname_label = Gtk.Label(label="Display name")
grid.attach(nickname_label, 0, 2, 1, 1)
nickname = name(Gtk.Entry(), "nickname")
nickname.set_text("Ziggy Ünal")
nickname_label.set_mnemonic_widget(nickname)
grid.attach(nickname, 1, 2, 1, 1)

buttons = Gtk.Box(orientation=Gtk.Orientation.HORIZONTAL, spacing=6)
group.pack_start(buttons, False, False, 0)
ok = name(Gtk.Button(label="Sign in"), "ok_button")
buttons.pack_start(ok, False, False, 0)
disabled = name(Gtk.Button(label="Delete account"), "disabled_button")
disabled.set_sensitive(False)
buttons.pack_start(disabled, False, False, 0)
check = name(Gtk.CheckButton(label="Remember me"), "check")
buttons.pack_start(check, False, False, 0)
# An icon without text: its tooltip is all that says what it does.
# (An image added as the button's child: one set as its image would name the button "Refresh".)
refresh = name(Gtk.Button(), "refresh")
refresh.add(Gtk.Image.new_from_icon_name("view-refresh", Gtk.IconSize.BUTTON))
refresh.set_tooltip_text("Refresh the list")
buttons.pack_start(refresh, False, False, 0)

link = name(Gtk.LinkButton.new_with_label("file:///nowhere", "Forgot password"), "link")
link.set_halign(Gtk.Align.START)
outer.pack_start(link, False, False, 0)

notes = name(Gtk.TextView(), "textview")
notes.get_buffer().set_text("First line of notes\nSecond line of notes")
notes.set_size_request(-1, 60)
outer.pack_start(notes, False, False, 0)

scroller = Gtk.ScrolledWindow()
scroller.set_vexpand(True)
outer.pack_start(scroller, True, True, 0)
rows = Gtk.ListBox()
scroller.add(rows)
for i in range(args.rows):
    rows.add(Gtk.Label(label="Item %d" % (i + 1), xalign=0))
if args.rows:
    name(rows.get_row_at_index(0), "first_row")

entry.grab_focus()


def report():
    gdk_window = window.get_window()
    widgets = {}
    for key, widget in named.items():
        alloc = widget.get_allocation()
        x, y = widget.translate_coordinates(window, 0, 0) if widget is not window else (0, 0)
        widgets[key] = [x, y, alloc.width, alloc.height]
    # A Wayland window has no X id: the compositor is asked where it is, by its title.
    xid = gdk_window.get_xid() if hasattr(gdk_window, "get_xid") else 0
    print(json.dumps({"ready": True, "pid": os.getpid(), "xid": xid,
                      "title": args.title, "widgets": widgets}), flush=True)
    return False


def mapped(*_):
    # Layout is final after the first frame that follows mapping.
    GLib.timeout_add(300, report)


window.connect("map-event", mapped)
window.show_all()
Gtk.main()
