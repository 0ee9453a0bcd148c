#!/usr/bin/env bash
# plenk-hands: a short conversation over its standard streams.
set -euo pipefail
echo
echo "== plenk-hands on this desktop session: its probe, a line that is not JSON, an unknown verb"
coproc HANDS { "$BIN/plenk-hands" 2>"$DEMO_OUT/hands.err"; }
ask() {
  printf '  -> %s\n' "$1"
  printf '%s\n' "$1" >&"${HANDS[1]}"
  local answer
  IFS= read -r -t 10 answer <&"${HANDS[0]}"
  printf '  <- %s\n' "$answer"
}
ask '{"id":1,"verb":"probe"}'
ask 'this is not JSON'
ask '{"id":2,"verb":"fly"}'
ask '{"id":3,"verb":"request","args":{"what":"screen"}}'
pid=$HANDS_PID
exec {HANDS[1]}>&-
status=0
wait "$pid" || status=$?
printf '  standard error: %s\n' "$(cat "$DEMO_OUT/hands.err")"
printf '  input closed; exit status %s\n' "$status"
