#!/usr/bin/env bash
# Applications: resolve_app, open_app, activate and list_apps over a scene with folders, bundles
# and a Keynote that takes 400 ms to open.
set -euo pipefail
SCENE="$(dirname "$0")/../tests/scenes/apps.json"
echo
echo "== applications: plenk-hands-sim over tests/scenes/apps.json"
coproc SIM { "$BIN/plenk-hands-sim" "$SCENE" 2>"$DEMO_OUT/apps.err"; }
send() {
  printf '  -> %s\n' "$1"
  printf '%s\n' "$1" >&"${SIM[1]}"
}
receive() {
  local answer
  IFS= read -r -t 10 answer <&"${SIM[0]}"
  printf '  <- %s\n' "$answer"
}
ask() {
  send "$1"
  receive
}
ask '{"id":1,"verb":"resolve_app","args":{"name":" keynote.APP "}}'
ask '{"id":2,"verb":"resolve_app","args":{"name":"editor"}}'
ask '{"id":3,"verb":"resolve_app","args":{"name":"/Applications/Keynote.app"}}'
ask '{"id":4,"verb":"resolve_app","args":{"name":"Pages"}}'
ask '{"id":5,"verb":"list_apps"}'
echo "  (open_app answers when the app has opened; the probe sent after it is answered first)"
send '{"id":6,"verb":"open_app","args":{"name":"Keynote"}}'
send '{"id":7,"verb":"probe"}'
receive
receive
ask '{"id":8,"verb":"open_app","args":{"name":"Bare"}}'
ask '{"id":9,"verb":"open_app","args":{"name":"com.example.Ghost"}}'
ask '{"id":10,"verb":"activate","args":{"pid":700}}'
ask '{"id":11,"verb":"activate","args":{"pid":503}}'
ask '{"id":12,"verb":"activate","args":{"pid":0}}'
pid=$SIM_PID
exec {SIM[1]}>&-
status=0
wait "$pid" || status=$?
printf '  input closed; exit status %s\n' "$status"
