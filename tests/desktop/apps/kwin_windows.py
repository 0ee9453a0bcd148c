#!/usr/bin/env python3
"""Prints KWin's windows as a JSON array (bottom to top), for the desktop tests to judge by what
KWin itself says: a script loaded into KWin over D-Bus sends them back to this connection."""
import json
import os
import sys
import tempfile

from gi.repository import Gio, GLib

SCRIPT = """
var all = workspace.stackingOrder || (workspace.windowList ? workspace.windowList()
    : workspace.clientList()).slice().sort(function (a, b) {
  return (a.stackingOrder || 0) - (b.stackingOrder || 0);
});
var active = workspace.activeWindow !== undefined ? workspace.activeWindow : workspace.activeClient;
var out = [];
for (var i = 0; i < all.length; ++i) {
  var w = all[i];
  if (!w || !(w.normalWindow || w.dialog)) continue;
  var b = w.bufferGeometry || w.frameGeometry, f = w.frameGeometry;
  out.push({id: String(w.internalId), pid: w.pid, title: w.caption, wmClass: w.resourceClass,
            frame: [f.x, f.y, f.width, f.height], buffer: [b.x, b.y, b.width, b.height],
            focused: w === active, x11: typeof w.windowId === 'number' && w.windowId > 0});
}
callDBus(SERVICE, '/windows', 'org.plenk.Test', 'Windows', JSON.stringify(out));
"""

NODE = Gio.DBusNodeInfo.new_for_xml(
    "<node><interface name='org.plenk.Test'><method name='Windows'>"
    "<arg type='s' direction='in'/></method></interface></node>")


def main():
    address = Gio.dbus_address_get_for_bus_sync(Gio.BusType.SESSION)
    bus = Gio.DBusConnection.new_for_address_sync(
        address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
        | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION)
    loop = GLib.MainLoop()
    answer = []

    def called(connection, sender, path, iface, method, params, invocation):
        answer.append(params.unpack()[0])
        invocation.return_value(None)
        loop.quit()

    bus.register_object("/windows", NODE.interfaces[0], called)
    with tempfile.NamedTemporaryFile("w", suffix=".js", delete=False) as f:
        f.write("var SERVICE = %s;\n%s" % (json.dumps(bus.get_unique_name()), SCRIPT))
    name = "plenk-test-windows-%d" % os.getpid()

    def kwin(path, iface, method, args, answer_type):
        return bus.call_sync("org.kde.KWin", path, iface, method, args,
                             answer_type and GLib.VariantType(answer_type), 0, 3000, None)

    try:
        number = kwin("/Scripting", "org.kde.kwin.Scripting", "loadScript",
                      GLib.Variant("(ss)", (f.name, name)), "(i)").unpack()[0]
        for path in ("/Scripting/Script%d" % number, "/%d" % number):
            try:
                kwin(path, "org.kde.kwin.Script", "run", None, None)
                break
            except GLib.Error:
                continue
        GLib.timeout_add(3000, loop.quit)
        loop.run()
    finally:
        kwin("/Scripting", "org.kde.kwin.Scripting", "unloadScript", GLib.Variant("(s)", (name,)),
             "(b)")
        os.unlink(f.name)
    if not answer:
        sys.exit("KWin sent no windows")
    print(answer[0])


main()
