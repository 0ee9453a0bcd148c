# plenk-media: what it offers, and a command line it refuses. Each run prints its one stdout
# line, its stderr line if any, and its exit status.
run() {
  echo "\$ plenk-media $*"
  "$BIN/plenk-media" "$@" 2>"$DEMO_OUT/media-err"
  status=$?
  [ -s "$DEMO_OUT/media-err" ] && sed 's/^/  stderr: /' "$DEMO_OUT/media-err"
  echo "  exit status $status"
}
run probe --nonce demo-1
run frames --nonce demo-2 --count
run pick --nonce demo-3
