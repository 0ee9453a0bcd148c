# Choosing photographs and videos. Without a display there is no picker window, so plenk-media
# refuses the verb (95-pick-window.sh shows the window). plenk-media-pick-test runs the same verb over a
# scripted picker: the user chooses a photograph, a video and another photograph, and the video
# is the slowest to be handed over.
echo "\$ DISPLAY= plenk-media pick --out $DEMO_OUT --nonce demo-p1"
DISPLAY= WAYLAND_DISPLAY= "$BIN/plenk-media" pick --out "$DEMO_OUT" --nonce demo-p1 2>/dev/null
echo "  exit status $?"

pick="$DEMO_OUT/pick"
mkdir -p "$pick/out" "$pick/tmp"
/usr/bin/convert -size 2400x1600 gradient:orange-purple "$pick/beach.jpg"
ffmpeg -nostdin -v error -f lavfi -i testsrc=size=320x240:rate=10:duration=2 \
  -f lavfi -i sine=duration=2 -c:v mpeg4 -c:a aac -shortest "$pick/clip.mov" </dev/null
cat >"$pick/script.json" <<JSON
{"tempDir": "$pick/tmp",
 "items": [
  {"types": ["public.heic", "public.jpeg"], "files": {"public.jpeg": "$pick/beach.jpg"}},
  {"types": ["com.apple.quicktime-movie"], "files": {"com.apple.quicktime-movie": "$pick/clip.mov"}, "rank": 9},
  {"types": ["public.jpeg"], "files": {"public.jpeg": "$pick/beach.jpg"}}]}
JSON
echo "\$ plenk-media-pick-test script.json pick --out $pick/out --nonce demo-p2"
"$BIN/plenk-media-pick-test" "$pick/script.json" pick --out "$pick/out" --nonce demo-p2
echo "  exit status $?"
echo "\$ ls $pick/out"
ls "$pick/out"
