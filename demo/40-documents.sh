# Documents: a two-page text PDF and a two-page scan of it, through inspect, pdftext and ocr.
set -euo pipefail
work="$DEMO_OUT/documents"
mkdir -p "$work/pdftext" "$work/pdftext-scan" "$work/ocr"

# The text PDF, drawn by ghostscript from a few lines of PostScript.
cat > "$work/letter.ps" <<'PS'
/Helvetica findfont 16 scalefont setfont
/line { 72 exch moveto show } def
(Dear reader,) 760 line
(The harbour was quiet that morning, and the copper lantern) 730 line
(still burned in the window of the old stone house.) 705 line
showpage
/Helvetica findfont 16 scalefont setfont
(On the second page the river turns silver in the evening) 760 line
(light, and the garden smells of violet and rain.) 735 line
showpage
PS
gs -q -dBATCH -dNOPAUSE -dSAFER -sPAPERSIZE=a4 -sDEVICE=pdfwrite -o "$work/letter.pdf" "$work/letter.ps"
# The scan: each page as a grey picture, put into a PDF with no text layer.
pdftoppm -r 150 -gray -png "$work/letter.pdf" "$work/scan"
img2pdf "$work"/scan-*.png -o "$work/scan.pdf"
rm -f "$work"/scan-*.png "$work/letter.ps"

show() {
  echo
  echo "\$ plenk-media $*"
  # One OpenMP thread is what the program sets for itself; the demo leaves the environment alone.
  "$BIN/plenk-media" "$@" && echo "(exit 0)" || echo "(exit $?)"
}

show inspect --in "$work/letter.pdf" --nonce demo-1
show inspect --in "$work/scan.pdf" --nonce demo-2
show pdftext --in "$work/letter.pdf" --out "$work/pdftext" --nonce demo-3
show pdftext --in "$work/scan.pdf" --out "$work/pdftext-scan" --nonce demo-4
show ocr --in "$work/scan.pdf" --out "$work/ocr" --nonce demo-5
# A second run into the same folder: text.txt is never replaced.
show ocr --in "$work/scan.pdf" --out "$work/ocr" --nonce demo-6

for f in "$work/pdftext/text.txt" "$work/ocr/text.txt"; do
  echo
  echo "--- start of ${f#"$DEMO_OUT"/}:"
  head -c 400 "$f"
  echo
done
