const IFACE = `<node>
  <interface name="org.plenk.Hands.Windows">
    <method name="List"><arg type="s" direction="out" name="windows"/></method>
    <method name="Activate">
      <arg type="t" direction="in" name="id"/><arg type="b" direction="out" name="done"/>
    </method>
  </interface>
</node>`;

// Bottom to top, as the shell stacks them; only windows a user would call windows.
function windows() {
  const focus = global.display.focus_window;
  const workspace = global.workspace_manager.get_active_workspace();
  const rect = r => [r.x, r.y, r.width, r.height];
  return global.get_window_actors().map(a => a.meta_window).filter(w => w &&
      !w.is_override_redirect() && !w.is_skip_taskbar()).map(w => ({
    id: w.get_id(),
    pid: w.get_pid(),
    title: w.get_title() || '',
    wmClass: w.get_wm_class() || '',
    wmInstance: w.get_wm_class_instance() || '',
    appId: w.get_gtk_application_id() || w.get_sandboxed_app_id() || '',
    x11: w.get_client_type() === Meta.WindowClientType.X11,
    frame: rect(w.get_frame_rect()),
    buffer: rect(w.get_buffer_rect()),
    focused: w === focus,
    visible: !w.minimized && w.located_on_workspace(workspace),
  }));
}

class Windows {
  List() {
    return JSON.stringify(windows());
  }

  Activate(id) {
    const w = global.get_window_actors().map(a => a.meta_window).find(m => m && m.get_id() === id);
    if (!w) return false;
    Main.activateWindow(w, global.get_current_time());
    return true;
  }
}

function exportWindows() {
  const object = Gio.DBusExportedObject.wrapJSObject(IFACE, new Windows());
  object.export(Gio.DBus.session, '/org/plenk/Hands/Windows');
  return object;
}
