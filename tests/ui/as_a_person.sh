#!/usr/bin/env bash
# The station used as a person would: the built program under Xvfb with the virtual camera and a
# fresh home folder. The screen must show the camera's page, Space must save a JPEG into the
# pictures folder's date folder and draw it into the first thumbnail, and SIGTERM must close the
# program in order, leaving INDEX=1 in Sys.ini. Screenshots are left in the working folder.
set -euo pipefail
program=$1
shots=$(pwd)
source "$(dirname "$0")/person.sh"

start_screen
start_station 1

# The live picture: the middle of the preview area shows the page on the desk, not a flat colour.
live() { read -r _ _ _ spread < <(region 250 100 400 400 preview); awk -v s="$spread" 'BEGIN { exit !(s > 0.05) }'; }
wait_for 60 live || fail "the preview shows no camera picture"
read -r empty_mean _ < <(region 10 80 120 120 thumbnail-before)
cp "$work/preview.png" "$shots/as-a-person-preview.png"

xdotool windowfocus --sync "$window"
xdotool key space
saved() { find "$work/home/Pictures/Calvest" -mindepth 2 -name '*.jpg' | grep -q .; }
wait_for 30 saved || fail "Space saved no JPEG"
picture=$(find "$work/home/Pictures/Calvest" -mindepth 2 -name '*.jpg' | head -n 1)
[[ $(basename "$(dirname "$picture")") == $(date +%Y%m%d) ]] || fail "the picture is not in the date folder: $picture"
identify "$picture" >/dev/null || fail "the saved picture does not decode"

# The first thumbnail now shows the dark desk instead of the pale empty slot.
drawn() {
  read -r mean _ < <(region 10 80 120 120 thumbnail-after)
  awk -v a="$empty_mean" -v b="$mean" 'BEGIN { exit !(a - b > 0.1) }'
}
wait_for 20 drawn || fail "the first thumbnail was not drawn"
screenshot "$shots/as-a-person-after-capture.png"

stop_station
grep -qx 'INDEX=1' "$work/home/.config/Sys.ini" || fail "Sys.ini does not hold INDEX=1"
echo "passed: live preview, capture on Space into $(basename "$picture"), thumbnail drawn, orderly close"
