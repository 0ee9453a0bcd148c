#!/usr/bin/env bash
# Real input on the session's X display: plenk-hands clicks a button of a GTK window, types into
# its entry and its text area, and scrolls its list. Screenshots before and after.
set -euo pipefail
echo
echo "== plenk-hands real input (X11 XTEST) on a GTK 3 window"
if [ -z "${DISPLAY:-}" ]; then
  echo "  (no X display: skipped)"
  exit 0
fi
probe="$(dirname "$0")/../tests/desktop/apps/input_probe.py"
said="$DEMO_OUT/probe.jsonl"
/usr/bin/python3 "$probe" 3 >"$said" 2>"$DEMO_OUT/probe.err" &
probe_pid=$!
for _ in $(seq 300); do grep -q '"ready"' "$said" && break; sleep 0.1; done
ready=$(grep '"ready"' "$said")
# The centre of a widget (or a point at an offset into it) as "x":..,"y":.. from the ready line.
at() {
  /usr/bin/python3 -c 'import json,sys
b = json.loads(sys.argv[1])["widgets"][sys.argv[2]]
dx, dy = (int(sys.argv[3]), int(sys.argv[4])) if len(sys.argv) > 4 else (b[2] // 2, b[3] // 2)
print("\"x\":%d,\"y\":%d" % (b[0] + dx, b[1] + dy))' "$ready" "$@"
}
import -window root "$DEMO_OUT/input-before.png"
coproc HANDS { "$BIN/plenk-hands" 2>"$DEMO_OUT/hands.err"; }
id=0
ask() {
  id=$((id + 1))
  local line="{\"id\":$id,\"verb\":\"$1\",\"args\":{$2}}"
  printf '  -> %s\n' "$line"
  printf '%s\n' "$line" >&"${HANDS[1]}"
  local answer
  IFS= read -r -t 30 answer <&"${HANDS[0]}"
  printf '  <- %s\n' "$answer"
}
ask click "$(at button)"
ask click "$(at entry)"
ask type '"text":"Zoë Ünal — naïve café ÉÄΩ 😀 日本語 שלום"'
ask click "$(at text 200 40)"
ask type '"text":"\nTyped by plenk-hands,\non two lines."'
ask scroll "$(at rows),\"dy\":-6"
ask key '"key":"shift+tab"'
sleep 0.5
import -window root "$DEMO_OUT/input-after.png"
hands_pid=$HANDS_PID
exec {HANDS[1]}>&-
wait "$hands_pid" || true
kill "$probe_pid" 2>/dev/null || true
echo "  the window said (last lines):"
tail -n 6 "$said" | sed 's/^/  /'
echo "  screenshots: $DEMO_OUT/input-before.png $DEMO_OUT/input-after.png"
