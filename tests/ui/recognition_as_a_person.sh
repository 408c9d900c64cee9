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

for tool in Xvfb xdotool import identify; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed (tools/setup.sh installs it)"; exit 77; }
done
/usr/bin/python3 -c 'import docx' 2>/dev/null || { echo "skipped: python3-docx is not installed"; exit 77; }

work=$(mktemp -d)
xvfb_pid=
station_pid=
cleanup() {
  [[ -n $station_pid ]] && kill -KILL "$station_pid" 2>/dev/null || true
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAILED: $*"; [[ -f $work/station.log ]] && sed 's/^/  station: /' "$work/station.log" | tail -40; exit 1; }

wait_for() {
  local seconds=$1; shift
  local until=$((SECONDS + seconds))
  until "$@" >/dev/null 2>&1; do
    ((SECONDS < until)) || return 1
    sleep 0.5
  done
}

mkdir -p "$work/home" "$work/program" "$work/scene"
cp "$(dirname "$program")/data.dat" "$(dirname "$program")/paizhao.wav" "$fixtures/OCR_RLDA_LN_Gra.tpl" "$work/program/"
cp "$fixtures/page-4160.png" "$work/scene/"

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
wait_for 20 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(cat "$work/display")"

(
  cd "$work"
  unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_PICTURES_DIR ORVANE_DEVICE_LIBRARY QT_QPA_PLATFORM
  # As in as_a_person.sh: X's keyboard library and the strict string check do not agree.
  [[ -n ${ASAN_OPTIONS:-} ]] && export ASAN_OPTIONS="${ASAN_OPTIONS//strict_string_checks=1/strict_string_checks=0}"
  HOME="$work/home" ORVANE_PROGRAM_DIR="$work/program" ORVANE_VIRTUAL_CAMERA="$work/scene" exec "$program"
) >"$work/station.log" 2>&1 &
station_pid=$!

window=
find_window() {
  kill -0 "$station_pid" 2>/dev/null || fail "the station ended before its window appeared"
  window=$(xdotool search --onlyvisible --name 'Orvane' | head -n 1)
  [[ -n $window ]]
}
wait_for 90 find_window || fail "no main window appeared"
eval "$(xdotool getwindowgeometry --shell "$window")"  # X, Y, WIDTH, HEIGHT

# The live picture: the page between the black bars of the preview.
live() {
  import -display "$DISPLAY" -window root -crop "700x650+$((X + 140))+$((Y + 10))" +repage "$work/preview.png"
  read -r spread < <(identify -format '%[fx:standard_deviation]\n' "$work/preview.png")
  awk -v s="$spread" 'BEGIN { exit !(s > 0.05) }'
}
wait_for 60 live || fail "the preview shows no camera picture"

# The recognition button, left of the recording button under the capture buttons.
xdotool mousemove --window "$window" $((WIDTH - 160)) 590 click 1
documents() { find "$work/home/Pictures/Calvest" -mindepth 2 -name '*.docx' | grep -q .; }
wait_for 120 documents || fail "no Word document was written"
document=$(find "$work/home/Pictures/Calvest" -mindepth 2 -name '*.docx' | head -n 1)
[[ $(basename "$(dirname "$document")") == $(date +%Y%m%d) ]] || fail "the document is not in the date folder: $document"
text=$(/usr/bin/python3 -c 'import docx, sys; print("\r\n".join(p.text for p in docx.Document(sys.argv[1]).paragraphs), end="")' "$document") ||
  fail "python-docx cannot read $document"
[[ $text == "$(cat "$fixtures/page.txt")" ]] || fail "the document holds \"$text\", not the page's text"
sleep 1
import -display "$DISPLAY" -window root "$shots/recognition-as-a-person.png"

xdotool key Escape
kill -TERM "$station_pid"
wait_for 20 bash -c "! kill -0 $station_pid" || fail "SIGTERM did not end the station (is the recognition window still open?)"
status=0
wait "$station_pid" || status=$?
station_pid=
((status == 0)) || fail "the station ended with status $status"
grep -qx 'INDEX=1' "$work/home/.config/Sys.ini" || fail "Sys.ini does not hold INDEX=1"
echo "passed: the camera's page read into $(basename "$document") with its Chinese text, orderly close"
