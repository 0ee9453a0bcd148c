#!/usr/bin/env bash
# Applications on the real desktop of the session: two test entries in the session's data
# folder, open_app of both (each answered once its window is up), list_apps, then activate
# switching between the two windows, with the window manager's active window after each and
# what frontmost says.
set -euo pipefail
echo
echo "== plenk-hands applications on the session's desktop (desktop entries, openbox)"
if [ -z "${DISPLAY:-}" ] || [ -z "${XDG_DATA_HOME:-}" ]; then
  echo "  (skipped: not inside tools/desktop-session)"
  exit 0
fi
window="$(cd "$(dirname "$0")/.." && pwd)/tests/desktop/apps/apps_window.py"
mkdir -p "$XDG_DATA_HOME/applications"
for name in Alpha Beta; do
  cat >"$XDG_DATA_HOME/applications/org.plenk.demo.Demo$name.desktop" <<ENTRY
[Desktop Entry]
Type=Application
Name=Demo $name
Exec=/usr/bin/python3 $window "Demo $name window" Demo$name
StartupWMClass=Demo$name
StartupNotify=true
ENTRY
done
coproc HANDS { "$BIN/plenk-hands" 2>"$DEMO_OUT/desktop-apps.err"; }
answer=""
ask() {
  printf '  -> %s\n' "$1"
  printf '%s\n' "$1" >&"${HANDS[1]}"
  IFS= read -r -t 40 answer <&"${HANDS[0]}"
  printf '  <- %s\n' "$answer"
}
active() {
  local window
  window=$(xprop -root _NET_ACTIVE_WINDOW | sed 's/.*# //')
  printf '     (active window: "%s")\n' "$(xprop -id "$window" _NET_WM_NAME | sed 's/.*= "\(.*\)"/\1/')"
}
ask '{"id":1,"verb":"resolve_app","args":{"name":" demo alpha.APP "}}'
ask '{"id":2,"verb":"open_app","args":{"name":"Demo Alpha"}}'
alpha=$(sed 's/.*"pid":\([0-9]*\).*/\1/' <<<"$answer")
ask '{"id":3,"verb":"open_app","args":{"name":"org.plenk.demo.DemoBeta"}}'
beta=$(sed 's/.*"pid":\([0-9]*\).*/\1/' <<<"$answer")
active
ask '{"id":4,"verb":"list_apps"}'
ask "{\"id\":5,\"verb\":\"activate\",\"args\":{\"pid\":$alpha}}"
active
ask "{\"id\":6,\"verb\":\"activate\",\"args\":{\"pid\":$beta}}"
active
ask '{"id":7,"verb":"frontmost"}'
ask '{"id":8,"verb":"open_app","args":{"name":"Demo Alpha"}}'
active
ask '{"id":9,"verb":"frontmost"}'
pid=$HANDS_PID
exec {HANDS[1]}>&-
wait "$pid" || true
kill "$alpha" "$beta" 2>/dev/null || true
