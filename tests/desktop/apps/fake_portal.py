#!/usr/bin/python3
# Stands in for the desktop portal's remote desktop, whose real dialog waits for a person: owns
# org.freedesktop.portal.Desktop on the session bus, answers the session's requests as the portal
# does (through Response signals on the request paths its rule names), holds Start's answer until
# the file CONSENT exists (the user's "Share"), and writes each notification it gets as a JSON line
# to LOG. Two monitors: stream 41 at (0, 0) and stream 42 at (640, 0), each 640x800.
#   fake_portal.py LOG CONSENT
import json
import os
import sys

from gi.repository import Gio, GLib

LOG, CONSENT = sys.argv[1], sys.argv[2]
XML = """
<node>
 <interface name="org.freedesktop.portal.RemoteDesktop">
  <method name="CreateSession"><arg type="a{sv}" direction="in"/><arg type="o" direction="out"/></method>
  <method name="SelectDevices"><arg type="o" direction="in"/><arg type="a{sv}" direction="in"/><arg type="o" direction="out"/></method>
  <method name="Start"><arg type="o" direction="in"/><arg type="s" direction="in"/><arg type="a{sv}" direction="in"/><arg type="o" direction="out"/></method>
  <method name="NotifyPointerMotionAbsolute"><arg type="o"/><arg type="a{sv}"/><arg type="u"/><arg type="d"/><arg type="d"/></method>
  <method name="NotifyPointerButton"><arg type="o"/><arg type="a{sv}"/><arg type="i"/><arg type="u"/></method>
  <method name="NotifyPointerAxisDiscrete"><arg type="o"/><arg type="a{sv}"/><arg type="u"/><arg type="i"/></method>
  <method name="NotifyKeyboardKeycode"><arg type="o"/><arg type="a{sv}"/><arg type="i"/><arg type="u"/></method>
  <method name="NotifyKeyboardKeysym"><arg type="o"/><arg type="a{sv}"/><arg type="i"/><arg type="u"/></method>
  <property name="AvailableDeviceTypes" type="u" access="read"/>
 </interface>
 <interface name="org.freedesktop.portal.ScreenCast">
  <method name="SelectSources"><arg type="o" direction="in"/><arg type="a{sv}" direction="in"/><arg type="o" direction="out"/></method>
 </interface>
</node>
"""
ROOT = "/org/freedesktop/portal/desktop"
log = open(LOG, "a", buffering=1)


def note(**what):
    log.write(json.dumps(what) + "\n")


def request_path(sender, options):
    return "%s/request/%s/%s" % (ROOT, sender[1:].replace(".", "_"), options["handle_token"])


def respond(bus, path, results):
    bus.emit_signal(None, path, "org.freedesktop.portal.Request", "Response",
                    GLib.Variant("(ua{sv})", (0, results)))
    return False


def call(bus, sender, path, iface, method, params, invocation):
    args = params.unpack()
    if method.startswith("Notify"):
        note(method=method, session=args[0], values=list(args[2:]))
        invocation.return_value(None)
        return
    options = args[-1]
    handle = request_path(sender, options)
    invocation.return_value(GLib.Variant("(o)", (handle,)))
    note(method=method, options={k: v for k, v in options.items() if k != "handle_token"})
    if method == "CreateSession":
        session = "%s/session/%s/%s" % (ROOT, sender[1:].replace(".", "_"),
                                        options["session_handle_token"])
        GLib.idle_add(respond, bus, handle, {"session_handle": GLib.Variant("s", session)})
    elif method in ("SelectDevices", "SelectSources"):
        GLib.idle_add(respond, bus, handle, {})
    elif method == "Start":
        streams = GLib.Variant("a(ua{sv})", [
            (41, {"position": GLib.Variant("(ii)", (0, 0)), "size": GLib.Variant("(ii)", (640, 800))}),
            (42, {"position": GLib.Variant("(ii)", (640, 0)), "size": GLib.Variant("(ii)", (640, 800))}),
        ])

        def consented():
            if not os.path.exists(CONSENT):
                return True
            respond(bus, handle, {"devices": GLib.Variant("u", 3), "streams": streams})
            return False

        GLib.timeout_add(50, consented)


def registered(bus, name):
    info = Gio.DBusNodeInfo.new_for_xml(XML)
    for iface in info.interfaces:
        bus.register_object(ROOT, iface, call, lambda *a: GLib.Variant("u", 3), None)


Gio.bus_own_name(Gio.BusType.SESSION, "org.freedesktop.portal.Desktop",
                 Gio.BusNameOwnerFlags.REPLACE, registered, lambda *a: note(method="ready"),
                 lambda *a: (note(method="lost"), sys.exit(1)))
GLib.MainLoop().run()
