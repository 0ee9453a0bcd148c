#!/usr/bin/env bash
# The picker window on this desktop: a Pictures and Videos library made here, plenk-media pick
# on it, two photographs and a video chosen through plenk-hands (its elements verb tells where
# the tiles are, its click verb chooses them), a screenshot of the picker, then Add.
set -euo pipefail
echo
echo "== plenk-media pick: the picker window"
lib="$DEMO_OUT/pick-window"
mkdir -p "$lib/Pictures/2025" "$lib/Videos" "$lib/config" "$lib/out"
/usr/bin/convert -size 1600x1200 plasma:fractal -quality 85 "$lib/Pictures/harbour.heic"
/usr/bin/convert -size 1200x800 gradient:orange-purple "$lib/Pictures/sideways.jpg"
# Stored sideways: an Exif orientation tag 6 (turn clockwise to view) after the start marker.
/usr/bin/python3 - "$lib/Pictures/sideways.jpg" <<'PY'
import sys
p = sys.argv[1]
b = open(p, "rb").read()
exif = (b"\xFF\xE1\x00\x22Exif\0\0MM\0\x2A\0\0\0\x08"
        b"\0\x01\x01\x12\0\x03\0\0\0\x01\0\x06\0\0\0\0\0\0")
open(p, "wb").write(b[:2] + exif + b[2:])
PY
for colour in teal gold tomato; do
  /usr/bin/convert -size 800x600 "radial-gradient:$colour-white" "$lib/Pictures/2025/$colour.jpg"
done
ffmpeg -nostdin -v error -f lavfi -i testsrc=size=640x480:rate=10:duration=2 \
  -f lavfi -i sine=duration=2 -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest \
  "$lib/Videos/clip.mov" </dev/null
printf 'not a picture' >"$lib/Pictures/broken.jpg"
: >"$lib/Videos/empty.mp4"
printf 'XDG_PICTURES_DIR="%s"\nXDG_VIDEOS_DIR="%s"\n' "$lib/Pictures" "$lib/Videos" \
  >"$lib/config/user-dirs.dirs"

echo "\$ plenk-media pick --out $lib/out --limit 3 --nonce demo-w1"
XDG_CONFIG_HOME="$lib/config" XDG_CACHE_HOME="$lib/cache" \
  "$BIN/plenk-media" pick --out "$lib/out" --limit 3 --nonce demo-w1 >"$lib/answer" 2>"$lib/err" &
pid=$!
coproc HANDS { "$BIN/plenk-hands" 2>"$DEMO_OUT/pick-hands.err"; }
id=0
answer=""
ask() {
  id=$((id + 1))
  printf '{"id":%d,"verb":"%s","args":{%s}}\n' "$id" "$1" "$2" >&"${HANDS[1]}"
  IFS= read -r -t 30 answer <&"${HANDS[0]}"
}
# Asks for the front window's elements until one of this role and label shows (20 s at most);
# its centre goes to $at as "x":..,"y":..
at=""
where() {
  for _ in $(seq 100); do
    ask elements '"max":250'
    at=$(/usr/bin/python3 -c 'import json, sys
for e in json.loads(sys.argv[1]).get("result", {}).get("elements", []):
    if e["role"] == sys.argv[2] and e["label"] == sys.argv[3]:
        print("\"x\":%d,\"y\":%d" % (e["x"] + e["w"] / 2, e["y"] + e["h"] / 2))
        break' "$answer" "$1" "$2")
    [ -n "$at" ] && return 0
    sleep 0.2
  done
  echo "  $1 $2 did not show" >&2
  return 1
}
for name in harbour.heic sideways.jpg clip.mov; do
  where checkbox "$name"
  echo "  plenk-hands: $name is a tile at {$at}: click"
  ask click "$at"
done
where statictext "3 of 3 chosen, no more can be added"
import -window root "$DEMO_OUT/pick-window.png"
echo "  screenshot of the picker: $DEMO_OUT/pick-window.png"
where button Add
echo "  plenk-hands: Add is a button at {$at}: click"
ask click "$at"
exec {HANDS[1]}>&-
status=0
wait "$pid" || status=$?
sed 's/^/  /' "$lib/answer"
echo "  exit status $status"
echo "\$ ls $lib/out"
ls "$lib/out" | sed 's/^/  /'
