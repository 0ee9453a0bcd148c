#!/usr/bin/python3
# A GTK 3 window for the application tests: apps_window.py TITLE CLASS [--detach]
#                                       or: apps_window.py --exit-status N
# The window's WM_CLASS is CLASS (program class) and its application id is
# "org.plenk.test.CLASS". With --exit-status it ends at once with that status, showing nothing.
# With --detach the started process ends at once with status 0 and a detached process of its
# own shows the window, as a launcher that hands over to another instance does.
import os
import sys

args = sys.argv[1:]
if "--exit-status" in args:
    sys.exit(int(args[args.index("--exit-status") + 1]))
if "--detach" in args:
    args.remove("--detach")
    if os.fork() > 0:
        os._exit(0)
    os.setsid()
    if os.fork() > 0:
        os._exit(0)
title, cls = args[0], args[1]

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, Gio, GLib, Gtk  # noqa: E402

GLib.set_prgname(cls)
Gdk.set_program_class(cls)
# A unique application owns its id on the session bus, as applications do: on Wayland, where GTK
# gives the window its program name as app_id, that name tells the application's id.
app = Gtk.Application(application_id="org.plenk.test." + cls)


def activate(application):
    window = Gtk.ApplicationWindow(application=application, title=title)
    window.set_default_size(320, 200)
    window.add(Gtk.Label(label=title))
    window.show_all()


app.connect("activate", activate)
sys.exit(app.run([sys.argv[0]]))
