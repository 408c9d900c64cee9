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
source "$(dirname "$0")/person.sh"

command -v ffprobe >/dev/null || { echo "skipped: ffprobe is not installed (tools/setup.sh installs it)"; exit 77; }
start_screen
start_station 1

wait_for 60 preview_live || fail "the preview shows no camera picture"
read -r empty_mean _ < <(region 10 80 120 120 thumbnail-before)
cp "$work/preview.png" "$shots/as-a-person-preview.png"

xdotool windowfocus --sync "$window"
xdotool key space
# A file being written is hidden (".name.XXXXXX") until it is complete.
saved() { find "$work/home/Pictures/Calvest" -mindepth 2 -name '*.jpg' ! -name '.*' -print -quit | grep -q .; }
wait_for 30 saved || fail "Space saved no JPEG"
picture=$(find "$work/home/Pictures/Calvest" -mindepth 2 -name '*.jpg' ! -name '.*' | head -n 1)
[[ $(basename "$(dirname "$picture")") == $(date +%Y%m%d) ]] || fail "the picture is not in the date folder: $picture"
identify "$picture" >/dev/null || fail "the saved picture does not decode"

# The first thumbnail now shows the dark desk instead of the pale empty slot.
drawn() {
  read -r mean _ < <(region 10 80 120 120 thumbnail-after)
  awk -v a="$empty_mean" -v b="$mean" 'BEGIN { exit !(a - b > 0.1) }'
}
wait_for 20 drawn || fail "the first thumbnail was not drawn"
screenshot "$shots/as-a-person-after-capture.png"

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

click $((main_width - 55)) 555
wait_for 20 find_dialog '视频录制' || fail "the recording button opened no dialog"
over_picture || fail "the recording dialog does not stand over the bottom of the live picture"
xdotool windowfocus --sync "$dialog"
xdotool key Return  # Start, the default button
# Without a sound input the dialog says once, under the station's name, that it records without
# sound: that box is answered before the recording is stopped. With one, the recording runs on.
notice=
recording_since=
notice_or_recording() {
  notice=$(xdotool search --onlyvisible --name '^Orvane$' | head -n 1)
  [[ -n $notice ]] && return 0
  [[ -n $(find "$work/home/Pictures/Calvest" -mindepth 2 -name '*.asf') ]] || return 1
  recording_since=${recording_since:-$SECONDS}
  ((SECONDS - recording_since >= 5))
}
wait_for 60 notice_or_recording || fail "Start began no recording"
screenshot "$shots/as-a-person-recording.png"
if [[ -n $notice ]]; then
  xdotool windowfocus --sync "$notice"
  xdotool key Return
  wait_for 20 bash -c "! xdotool search --onlyvisible --name '^Orvane\$' | grep -q ." ||
    fail "the notice of a recording without sound did not close"
  xdotool windowfocus --sync "$dialog"
fi
sleep 1
xdotool key Escape  # Stop
wait_for 30 no_dialog '视频录制' || fail "the recording dialog did not close on Escape"
video=$(find "$work/home/Pictures/Calvest" -mindepth 2 -name '*.asf' ! -name '.*' | head -n 1)
[[ -n $video ]] || fail "the recording left no video"
[[ $(ffprobe -v error -select_streams v:0 -show_entries stream=codec_name -of csv=p=0 "$video") == wmv2 ]] ||
  fail "ffprobe finds no video stream in $video"

click $((main_width - 108)) 585
wait_for 20 find_dialog '连续拍摄' || fail "the continuous-shooting button opened no dialog"
over_picture || fail "the continuous-shooting dialog does not stand over the bottom of the live picture"
screenshot "$shots/as-a-person-continuous.png"
xdotool windowfocus --sync "$dialog"
xdotool key Escape  # Stop
wait_for 20 no_dialog '连续拍摄' || fail "the continuous-shooting dialog did not close on Escape"

stop_station
grep -qx 'INDEX=2' "$work/home/.config/Sys.ini" || fail "Sys.ini does not hold INDEX=2"
echo "passed: live preview, capture on Space into $(basename "$picture"), thumbnail drawn," \
  "two seconds recorded into $(basename "$video"), both dialogs over the picture, orderly close"
