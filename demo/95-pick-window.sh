#!/usr/bin/env bash
# The picker window on this desktop: a Pictures and Videos library made here, plenk-media pick
# on it, two photographs and a video chosen by clicks of plenk-hands (where the tiles are is read
# through the accessibility bus), a screenshot of the picker, then Add.
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
driver="$(dirname "$0")/../tests/desktop/pick_driver.py"
/usr/bin/python3 "$driver" --hands "$BIN/plenk-hands" "$pid" wait harbour.heic,sideways.jpg,clip.mov,teal.jpg \
  click harbour.heic click sideways.jpg click clip.mov sleep 1 >/dev/null
import -window root "$DEMO_OUT/pick-window.png"
echo "  screenshot of the picker: $DEMO_OUT/pick-window.png"
/usr/bin/python3 "$driver" --hands "$BIN/plenk-hands" "$pid" press Add >/dev/null
status=0
wait "$pid" || status=$?
sed 's/^/  /' "$lib/answer"
echo "  exit status $status"
echo "\$ ls $lib/out"
ls "$lib/out" | sed 's/^/  /'
