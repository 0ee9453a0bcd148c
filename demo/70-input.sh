#!/usr/bin/env bash
# plenk-hands input on the simulated desktop: a click, a key chord and typing, then what the
# desktop recorded. The scene's Tab moves the focus into a password field, so the last typing
# is refused.
set -euo pipefail
echo
echo "== plenk-hands input (plenk-hands-sim demo/scenes/desk.json)"
events="$DEMO_OUT/input-events.jsonl"
scene="$(dirname "$0")/scenes/desk.json"
coproc SIM { "$BIN/plenk-hands-sim" "$scene" --events "$events" 2>"$DEMO_OUT/input.err"; }
ask() {
  printf '  -> %s\n' "$1"
  printf '%s\n' "$1" >&"${SIM[1]}"
  local answer
  IFS= read -r -t 10 answer <&"${SIM[0]}"
  printf '  <- %s\n' "$answer"
}
ask '{"id":1,"verb":"request","args":{"what":"accessibility"}}'
ask '{"id":2,"verb":"click","args":{"x":50,"y":44}}'
ask '{"id":3,"verb":"key","args":{"key":"cmd+shift+s"}}'
ask '{"id":4,"verb":"type","args":{"text":"Dear Ann,\nsee you at 5."}}'
ask '{"id":5,"verb":"key","args":{"key":"tab"}}'
ask '{"id":6,"verb":"type","args":{"text":"hunter2"}}'
pid=$SIM_PID
exec {SIM[1]}>&-
wait "$pid" || true
echo "  the desktop recorded (t_ms is its clock: only the pauses move it):"
sed -e 's/,"units":\[[0-9,]*\]//' -e 's/,"source":[0-9a-z]*//' -e 's/^/  /' "$events"
