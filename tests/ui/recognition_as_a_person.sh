#!/usr/bin/env bash
# Text recognition used as a person would: the built program under Xvfb with a program folder of
# its own (branding, shutter sound and the tests' small character template) and the virtual camera
# filming a page of Chinese characters. A click on the recognition button must write a Word
# document into the pictures folder's date folder holding the page's text, Escape must close the
# recognition window, and SIGTERM must then close the program in order. Screenshots are left in
# the working folder.
#   recognition_as_a_person.sh PROGRAM FIXTURES
set -euo pipefail
program=$1
fixtures=$2
shots=$(pwd)
source "$(dirname "$0")/person.sh"
/usr/bin/python3 -c 'import docx' 2>/dev/null || { echo "skipped: python3-docx is not installed"; exit 77; }

mkdir -p "$work/program" "$work/scene"
cp "$(dirname "$program")/data.dat" "$(dirname "$program")/paizhao.wav" "$fixtures/OCR_RLDA_LN_Gra.tpl" "$work/program/"
cp "$fixtures/page-4160.png" "$work/scene/"

start_screen
start_station "$work/scene" "$work/program"

# The live picture: the page between the black bars of the preview.
live() { read -r _ _ _ spread < <(region 140 10 700 650 preview); awk -v s="$spread" 'BEGIN { exit !(s > 0.05) }'; }
wait_for 180 live || fail "the preview shows no camera picture"

# The recognition button, left of the recording button under the capture buttons.
click 940 555
documents() { find "$work/home/Pictures/Calvest" -mindepth 2 -name '*.docx' -print -quit | grep -q .; }
wait_for 400 documents || fail "no Word document was written"
document=$(find "$work/home/Pictures/Calvest" -mindepth 2 -name '*.docx' | head -n 1)
[[ $(basename "$(dirname "$document")") == $(date +%Y%m%d) ]] || fail "the document is not in the date folder: $document"
text=$(/usr/bin/python3 -c 'import docx, sys; print("\r\n".join(p.text for p in docx.Document(sys.argv[1]).paragraphs), end="")' "$document") ||
  fail "python-docx cannot read $document"
[[ $text == "$(cat "$fixtures/page.txt")" ]] || fail "the document holds \"$text\", not the page's text"
sleep 1
screenshot "$shots/recognition-as-a-person.png"

# A session that ends while the recognition window is open (and, where the desktop has no program
# for a Word document, the box that says so): SIGTERM closes both and the station in order.
stop_station
grep -qx 'INDEX=1' "$work/home/.config/Sys.ini" || fail "Sys.ini does not hold INDEX=1"
echo "passed: the camera's page read into $(basename "$document") with its Chinese text, orderly close"
