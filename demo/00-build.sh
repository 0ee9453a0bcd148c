# Demo steps run in name order with BIN (the build folder) and DEMO_OUT (a fresh folder) set.
echo "plenk demo: programs in $BIN, files written under $DEMO_OUT"
