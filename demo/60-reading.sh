#!/usr/bin/env bash
# Screen reading on the simulated desktop: what is in front, what can be acted on, what it says.
set -euo pipefail
SCENE="$(dirname "$0")/scenes/desk.json"
echo
echo "== plenk-hands-sim $(basename "$SCENE"): frontmost, app_at, elements, read_text"
coproc SIM { "$BIN/plenk-hands-sim" "$SCENE" 2>"$DEMO_OUT/reading.err"; }
ask() {
  printf '  -> %s\n' "$1"
  printf '%s\n' "$1" >&"${SIM[1]}"
  local answer
  IFS= read -r -t 30 answer <&"${SIM[0]}"
  printf '  <- %s\n' "$answer"
}
ask '{"id":1,"verb":"elements"}'
ask '{"id":2,"verb":"request","args":{"what":"accessibility"}}'
ask '{"id":3,"verb":"frontmost"}'
ask '{"id":4,"verb":"app_at","args":{"x":950,"y":130}}'
ask '{"id":5,"verb":"elements","args":{"max":12}}'
ask '{"id":6,"verb":"read_text","args":{"max_chars":60}}'
pid=$SIM_PID
exec {SIM[1]}>&-
wait "$pid"
