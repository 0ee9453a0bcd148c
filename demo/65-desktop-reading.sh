#!/usr/bin/env bash
# Screen reading on a real desktop (AT-SPI): the GTK 3 test window in front, plenk-hands reading
# it, and a screenshot of the window next to the answers, so what was read can be seen.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
echo
echo "== plenk-hands on the desktop: frontmost, app_at, elements, read_text of a GTK 3 window"
if [ -z "${DISPLAY:-}" ]; then
  echo "  (no desktop session: run ./dev demo, which starts one)"
  exit 0
fi
/usr/bin/python3 "$ROOT/tests/desktop/apps/gtk3_app.py" --title "Demo window" --rows 6 \
  >"$DEMO_OUT/desktop-app.json" 2>/dev/null &
app=$!
trap 'kill $app 2>/dev/null || true' EXIT
for _ in $(seq 100); do grep -q ready "$DEMO_OUT/desktop-app.json" 2>/dev/null && break; sleep 0.1; done
xid=$(sed -n 's/.*"xid": \([0-9]*\).*/\1/p' "$DEMO_OUT/desktop-app.json")

coproc HANDS { "$BIN/plenk-hands" 2>"$DEMO_OUT/desktop-reading.err"; }
ask() {
  printf '  -> %s\n' "$1"
  printf '%s\n' "$1" >&"${HANDS[1]}"
  local answer
  IFS= read -r -t 30 answer <&"${HANDS[0]}"
  printf '%s\n' "$answer" >>"$DEMO_OUT/desktop-answers.jsonl"
  if [ ${#answer} -gt 600 ]; then answer="${answer:0:600}... (whole answer in desktop-answers.jsonl)"; fi
  printf '  <- %s\n' "$answer"
}
ask '{"id":1,"verb":"probe"}'
ask '{"id":2,"verb":"frontmost"}'
# The password entry of the window: 120 px right of the window's left edge, 166 px below its top.
read -r wx wy < <(xwininfo -id "$xid" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} END{print x, y}')
ask "{\"id\":3,\"verb\":\"app_at\",\"args\":{\"x\":$((wx + 200)),\"y\":$((wy + 123))}}"
ask '{"id":4,"verb":"elements","args":{"max":40}}'
ask '{"id":5,"verb":"read_text"}'
pid=$HANDS_PID
exec {HANDS[1]}>&-
wait "$pid"
import -window "$xid" "$DEMO_OUT/desktop-window.png"
echo "  screenshot of the window read: $DEMO_OUT/desktop-window.png"
echo "  answers: $DEMO_OUT/desktop-answers.jsonl"
