# plenk-media on a recording: a 6-second clip with sound, made here by ffmpeg, told apart by
# inspect, then four frames and its sound written into a fresh folder.
dir="$DEMO_OUT/recordings"
mkdir -p "$dir/out"
clip="$dir/clip.mp4"
echo "\$ ffmpeg ... (a 6 s 640x360 test picture at 30 fps with a 440 Hz tone) $clip"
ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=640x360:rate=30:duration=6 \
  -f lavfi -i sine=frequency=440:duration=6 -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest "$clip"

run() {
  echo "\$ plenk-media $*"
  "$BIN/plenk-media" "$@" 2>"$dir/err"
  status=$?
  [ -s "$dir/err" ] && sed 's/^/  stderr: /' "$dir/err"
  echo "  exit status $status"
}
run inspect --in "$clip" --nonce rec-1
run frames --in "$clip" --out "$dir/out" --count 4 --max-edge 480 --nonce rec-2
run audio --in "$clip" --out "$dir/out" --max-seconds 4 --nonce rec-3
echo "files written into $dir/out:"
ls -l "$dir/out" | sed 1d | awk '{print "  " $5 " bytes  " $NF}'
echo "what ffmpeg reads back from audio.m4a:"
ffprobe -v error -show_entries stream=codec_name,sample_rate,channels:format=duration \
  -of default=nw=1 "$dir/out/audio.m4a" | sed 's/^/  /'
echo "the same audio again (the name is taken, nothing is replaced):"
run audio --in "$clip" --out "$dir/out" --nonce rec-4
