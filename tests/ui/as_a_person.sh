#!/usr/bin/env bash
# The station used as a person would: the built program under Xvfb with the virtual camera and a
# fresh home folder. The screen must show the camera's page, Space must save a JPEG into the
# pictures folder's date folder and draw it into the first thumbnail, the recording button must
# open its dialog over the bottom of the live picture and record two seconds into a video that
# ffprobe reads, the continuous-shooting button must open its dialog there too, and SIGTERM must
# close the program in order, leaving INDEX=2 in Sys.ini. Screenshots are left in the working
# folder.
set -euo pipefail
program=$1
shots=$(pwd)

for tool in Xvfb xdotool import identify ffprobe; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed (tools/setup.sh installs it)"; exit 77; }
done

work=$(mktemp -d)
xvfb_pid=
station_pid=
cleanup() {
  [[ -n $station_pid ]] && kill -KILL "$station_pid" 2>/dev/null || true
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAILED: $*"; [[ -f $work/station.log ]] && sed 's/^/  station: /' "$work/station.log" | tail -${STATION_LOG_LINES:-40}; exit 1; }

# Waits until the command succeeds, at most $1 seconds.
wait_for() {
  local seconds=$1; shift
  local until=$((SECONDS + seconds))
  until "$@" >/dev/null 2>&1; do
    ((SECONDS < until)) || return 1
    sleep 0.5
  done
}

# The mean brightness (0 to 1) and spread of a region of the screen: "mean deviation".
region() {  # x y width height file
  import -display "$DISPLAY" -window root -crop "$3x$4+$1+$2" +repage "$work/$5.png"
  identify -format '%[fx:mean] %[fx:standard_deviation]\n' "$work/$5.png"
}

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
wait_for 20 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(cat "$work/display")"

mkdir -p "$work/home"
(
  cd "$work"
  unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_PICTURES_DIR ORVANE_PROGRAM_DIR ORVANE_DEVICE_LIBRARY QT_QPA_PLATFORM
  # X's keyboard library reads its server's replies with strndup, bounded but unterminated, which
  # the strict string check of a sanitizer build takes for an overflow.
  [[ -n ${ASAN_OPTIONS:-} ]] && export ASAN_OPTIONS="${ASAN_OPTIONS//strict_string_checks=1/strict_string_checks=0}"
  HOME="$work/home" ORVANE_VIRTUAL_CAMERA=1 exec "$program"
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
left=$X
top=$Y
main_width=$WIDTH
main_height=$HEIGHT

# The live picture: the middle of the preview area shows the page on the desk, not a flat colour.
live() { read -r _ spread < <(region $((left + 250)) $((top + 100)) 400 400 preview); awk -v s="$spread" 'BEGIN { exit !(s > 0.05) }'; }
wait_for 60 live || fail "the preview shows no camera picture"
read -r empty_mean _ < <(region $((left + 10)) $((top + 80)) 120 120 thumbnail-before)
cp "$work/preview.png" "$shots/as-a-person-preview.png"

xdotool windowfocus --sync "$window"
xdotool key space
# A file being written is hidden (".name.XXXXXX") until it is complete.
saved() { find "$work/home/Pictures/Calvest" -mindepth 2 -name '*.jpg' ! -name '.*' | grep -q .; }
wait_for 30 saved || fail "Space saved no JPEG"
picture=$(find "$work/home/Pictures/Calvest" -mindepth 2 -name '*.jpg' ! -name '.*' | head -n 1)
[[ $(basename "$(dirname "$picture")") == $(date +%Y%m%d) ]] || fail "the picture is not in the date folder: $picture"
identify "$picture" >/dev/null || fail "the saved picture does not decode"

# The first thumbnail now shows the dark desk instead of the pale empty slot.
drawn() {
  read -r mean _ < <(region $((left + 10)) $((top + 80)) 120 120 thumbnail-after)
  awk -v a="$empty_mean" -v b="$mean" 'BEGIN { exit !(a - b > 0.1) }'
}
wait_for 20 drawn || fail "the first thumbnail was not drawn"
import -display "$DISPLAY" -window root "$shots/as-a-person-after-capture.png"

# The feature dialogs. Where the buttons and the live picture lie follows the main window's
# layout (COrvaneDlg::LayOut): the buttons at the panel's foot, the picture right of the strip.
dialog=
find_dialog() { dialog=$(xdotool search --onlyvisible --name "$1" | head -n 1); [[ -n $dialog ]]; }
no_dialog() { ! xdotool search --onlyvisible --name "$1" | grep -q .; }
# The dialog stands centred across the live picture, its lower edge on the picture's.
over_picture() {
  local X Y WIDTH HEIGHT WINDOW SCREEN
  eval "$(xdotool getwindowgeometry --shell "$dialog")"
  local off_centre=$((2 * X + WIDTH - 2 * (left + 140) - (main_width - 358)))
  ((Y + HEIGHT == top + main_height - 30 && off_centre >= -2 && off_centre <= 2))
}

xdotool mousemove $((left + main_width - 55)) $((top + 590)) click 1
wait_for 20 find_dialog '视频录制' || fail "the recording button opened no dialog"
over_picture || fail "the recording dialog does not stand over the bottom of the live picture"
xdotool windowfocus --sync "$dialog"
xdotool key Return  # Start, the default button
sleep 2
import -display "$DISPLAY" -window root "$shots/as-a-person-recording.png"
xdotool key Escape  # Stop
wait_for 30 no_dialog '视频录制' || fail "the recording dialog did not close on Escape"
video=$(find "$work/home/Pictures/Calvest" -mindepth 2 -name '*.asf' ! -name '.*' | head -n 1)
[[ -n $video ]] || fail "the recording left no video"
[[ $(ffprobe -v error -select_streams v:0 -show_entries stream=codec_name -of csv=p=0 "$video") == wmv2 ]] ||
  fail "ffprobe finds no video stream in $video"

xdotool mousemove $((left + main_width - 108)) $((top + 623)) click 1
wait_for 20 find_dialog '连续拍摄' || fail "the continuous-shooting button opened no dialog"
over_picture || fail "the continuous-shooting dialog does not stand over the bottom of the live picture"
import -display "$DISPLAY" -window root "$shots/as-a-person-continuous.png"
xdotool windowfocus --sync "$dialog"
xdotool key Escape  # Stop
wait_for 20 no_dialog '连续拍摄' || fail "the continuous-shooting dialog did not close on Escape"

kill -TERM "$station_pid"
wait_for 20 bash -c "! kill -0 $station_pid" || fail "SIGTERM did not end the station"
status=0
wait "$station_pid" || status=$?
station_pid=
((status == 0)) || fail "the station ended with status $status"
grep -qx 'INDEX=2' "$work/home/.config/Sys.ini" || fail "Sys.ini does not hold INDEX=2"
echo "passed: live preview, capture on Space into $(basename "$picture"), thumbnail drawn," \
  "two seconds recorded into $(basename "$video"), both dialogs over the picture, orderly close"
