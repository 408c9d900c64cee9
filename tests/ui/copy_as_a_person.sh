#!/usr/bin/env bash
# A copy printed to a file as a person would: the built program under Xvfb with the virtual camera
# and a fresh home folder, no printer on the machine. The key p (the middle key, which copies by
# default) must open the print dialog; Return must print the page into the PDF the dialog offers
# in the storage folder: one page that pdfinfo reads, and no picture of the copy left behind. A
# second copy whose dialog is cancelled must say so in a box under the station's caption.
# Screenshots of the dialog and of the box are left in the working folder.
set -euo pipefail
program=$1
shots=$(pwd)
source "$(dirname "$0")/person.sh"

command -v pdfinfo >/dev/null || { echo "skipped: pdfinfo is not installed (tools/setup.sh installs it)"; exit 77; }
start_screen
start_station 1
wait_for 60 preview_live || fail "the preview shows no camera picture"

# A visible window of the station other than its main window; its id in $other.
other=
other_window() {
  other=$(xdotool search --onlyvisible --pid "$station_pid" 2>/dev/null | grep -vx "$window" | head -n 1)
  [[ -n $other ]]
}
# The other window, cropped out of the screen into $1.
shoot_other() {
  eval "$(xdotool getwindowgeometry --shell "$other")"  # X, Y, WIDTH, HEIGHT
  import -display "$DISPLAY" -window root -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage "$1"
}

xdotool windowfocus --sync "$window"
xdotool key p
wait_for 30 other_window || fail "p opened no print dialog"
sleep 1
shoot_other "$shots/copy-as-a-person-dialog.png"
xdotool windowfocus --sync "$other"
xdotool key Return
printed() { [[ -n $(files pdf) ]]; }
wait_for 30 printed || { screenshot "$shots/copy-as-a-person-failed.png"; fail "Return printed no PDF into the storage folder"; }
pdf=$(files pdf)
[[ $(wc -l <<<"$pdf") == 1 ]] || fail "more than one PDF: $pdf"
[[ $(basename "$pdf") == Tmp*.pdf ]] || fail "the PDF is not named after the copy's picture: $pdf"
wait_for 10 bash -c "pdfinfo '$pdf' | grep -qx 'Pages: *1'" || fail "pdfinfo does not read one page from $pdf"
gone() { [[ -z $(find "$storage" -name '*.bmp') ]]; }
wait_for 10 gone || fail "the copy's picture was left behind: $(find "$storage" -name '*.bmp')"

# Cancelled: the print failure, in a box titled with the station's name.
no_other() { ! other_window; }
wait_for 10 no_other || fail "the print dialog stayed open"
xdotool windowfocus --sync "$window"
xdotool key p
wait_for 30 other_window || fail "p opened no print dialog the second time"
sleep 1
dialog_name=$(xdotool getwindowname "$other")
xdotool windowfocus --sync "$other"
xdotool key Escape
box_shown() { other_window && [[ $(xdotool getwindowname "$other") != "$dialog_name" ]]; }
wait_for 20 box_shown || fail "no box said that the copy was not printed"
caption=$(xdotool getwindowname "$other")
shoot_other "$shots/copy-as-a-person-cancelled.png"
[[ $caption == Orvane ]] || fail "the box is titled \"$caption\", not with the station's name"
xdotool windowfocus --sync "$other"
xdotool key Return
wait_for 10 no_other || fail "the box did not close"

stop_station
echo "passed: p printed the copy into $(basename "$pdf") in the storage folder; a cancelled copy said so under \"$caption\""
