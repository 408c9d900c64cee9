#!/usr/bin/env bash
# Page collection used as a person would: the built program under Xvfb with the virtual camera and
# a fresh home folder. Ctrl+Q must leave a PDF that pdfinfo reads and no picture beside it; with
# the one-PDF box ticked, five presses of Space must fill the composer, whose four slots show the
# last four pages, and its Combine button must write one PDF of five pages; SIGTERM must close the
# program in order, leaving PDFORTIF=2 in Sys.ini. Screenshots are left in the working folder.
set -euo pipefail
program=$1
shots=$(pwd)
source "$(dirname "$0")/person.sh"

command -v pdfinfo >/dev/null || { echo "skipped: pdfinfo is not installed (tools/setup.sh installs it)"; exit 77; }
start_screen
start_station 1

wait_for 60 preview_live || fail "the preview shows no camera picture"

count() { files "$1" | wc -l; }
at_least() { (($(count "$1") >= $2)); }

xdotool windowfocus --sync "$window"
xdotool key ctrl+q
wait_for 30 at_least pdf 1 || fail "Ctrl+Q saved no PDF"
pdf=$(files pdf | head -n 1)
[[ $(pdfinfo "$pdf" | awk '/^Pages:/ { print $2 }') == 1 ]] || fail "pdfinfo does not read one page from $pdf"
# The picture goes once its PDF is whole, a moment after the PDF appears.
no_pictures() { (($(count jpg) == 0)); }
wait_for 10 no_pictures || fail "the picture of the PDF was left beside it"

# The one-PDF box, where the main window's layout (COrvaneDlg::LayOut) puts it: under the panel's
# two-in-one box, above the capture button.
click $((main_width - 160)) 434
sleep 1
for page in 1 2 3 4 5; do
  xdotool windowfocus --sync "$window"
  xdotool key space
  wait_for 30 at_least jpg "$page" || fail "Space number $page collected no page"
done

composer=
find_composer() { composer=$(xdotool search --onlyvisible --name '存为多页文件' | head -n 1); [[ -n $composer ]]; }
wait_for 20 find_composer || fail "no composer appeared"
eval "$(xdotool getwindowgeometry --shell "$composer")"  # X, Y of the composer
composer_left=$X
composer_top=$Y
# Every slot shows a page (the camera's page on its desk), none the pale placeholder.
slot_shows_page() {
  local top=$((composer_top + 30 + $1 * 151))
  import -display "$DISPLAY" -window root -crop "129x146+$((composer_left + 25))+$top" +repage "$work/slot.png"
  identify -format '%[fx:standard_deviation]\n' "$work/slot.png" | awk '{ exit !($1 > 0.05) }'
}
for slot in 0 1 2 3; do
  wait_for 20 slot_shows_page "$slot" || fail "slot $((slot + 1)) of the composer shows no page"
done
screenshot "$shots/collection-as-a-person-composer.png"

# Combine, at the composer's foot. Without a window manager nothing keeps the composer above the
# main window, so it is raised, and the pointer must be over it before the click.
over_composer() {
  xdotool windowraise "$composer"
  xdotool mousemove --sync $((composer_left + 45)) $((composer_top + 652))
  eval "$(xdotool getmouselocation --shell)"  # WINDOW under the pointer
  ((WINDOW == composer))
}
wait_for 20 over_composer || fail "the composer's Combine button cannot be reached"
xdotool click 1
page_counts() { files pdf | while read -r f; do pdfinfo "$f" 2>/dev/null | awk '/^Pages:/ { print $2 }'; done; }
# The counts are read whole first: grep -q would end early and fail the pipeline on its broken pipe.
book_written() { local counts; counts=$(page_counts); grep -qx 5 <<<"$counts"; }
if ! wait_for 60 book_written; then
  screenshot "$shots/collection-as-a-person-combine-failed.png"
  fail "Combine wrote no PDF of five pages (PDFs of $(page_counts | tr '\n' ' ')pages)"
fi
no_composer() { ! xdotool search --onlyvisible --name '存为多页文件' | grep -q .; }
wait_for 20 no_composer || fail "the composer did not close after combining"

stop_station
grep -qx 'PDFORTIF=2' "$work/home/.config/Sys.ini" || fail "Sys.ini does not hold PDFORTIF=2"
echo "passed: Ctrl+Q into $(basename "$pdf"), five pages collected and shown, combined into one PDF, orderly close"
