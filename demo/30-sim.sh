#!/usr/bin/env bash
# plenk-hands-sim: plenk-hands over the desktop of a scene file (docs/scene.md).
set -euo pipefail
SCENE="$(dirname "$0")/scenes/desk.json"
echo
echo "== plenk-hands-sim over demo/scenes/desk.json (an editor, a browser; prompts grant permissions)"
coproc SIM { "$BIN/plenk-hands-sim" "$SCENE" --events "$DEMO_OUT/events.jsonl" 2>"$DEMO_OUT/sim.err"; }
ask() {
  printf '  -> %s\n' "$1"
  printf '%s\n' "$1" >&"${SIM[1]}"
  local answer
  IFS= read -r -t 10 answer <&"${SIM[0]}"
  printf '  <- %s\n' "$answer"
}
ask '{"id":1,"verb":"probe"}'
ask '{"id":2,"verb":"request","args":{"what":"accessibility"}}'
ask '{"id":3,"verb":"request","args":{"what":"screen"}}'
ask '{"id":4,"verb":"probe"}'
pid=$SIM_PID
exec {SIM[1]}>&-
status=0
wait "$pid" || status=$?
printf '  standard error: %s\n' "$(cat "$DEMO_OUT/sim.err")"
printf '  input closed; exit status %s; %s events posted (%s)\n' "$status" \
  "$(wc -l <"$DEMO_OUT/events.jsonl")" "$DEMO_OUT/events.jsonl"
echo
echo "== a scene with a mistake is refused before the program starts"
printf '{"apps": [{"pid": 1, "tree": {"children": [{"role": "AXButton", "AXSize": [80]}]}}]}\n' \
  >"$DEMO_OUT/bad-scene.json"
status=0
"$BIN/plenk-hands-sim" "$DEMO_OUT/bad-scene.json" </dev/null 2>&1 | sed "s/^/  stderr: /" || status=$?
printf '  exit status %s\n' "$status"
