#!/usr/bin/env bash
# The installed station started as its menu entry starts it: installed into a staging folder, the
# entry's command found on the PATH, under Xvfb with the virtual camera and a fresh home folder.
# It must run from the staged program folder, show the camera's page, save a JPEG on Space and
# draw it into the first thumbnail.
# The screenshot is left in the working folder.
set -euo pipefail
build=$1
shots=$(pwd)
source "$(dirname "$0")/../ui/person.sh"

stage=$work/stage
DESTDIR=$stage cmake --install "$build" --prefix /usr >/dev/null
program=$(sed -n 's/^Exec=//p' "$stage/usr/share/applications/orvane.desktop")
[[ -n $program ]] || fail "the menu entry has no Exec line"
export PATH="$stage/usr/bin:$PATH"

start_screen
start_station 1
[[ $(readlink "/proc/$station_pid/exe") == "$stage/usr/lib/orvane/orvane" ]] ||
  fail "the entry started $(readlink "/proc/$station_pid/exe"), not the staged program"
wait_for 60 preview_live || fail "the preview shows no camera picture"
read -r empty_mean _ < <(region 10 80 120 120 thumbnail-before)

xdotool windowfocus --sync "$window"
xdotool key space
saved() { find "$work/home/Pictures/Calvest" -mindepth 2 -name '*.jpg' ! -name '.*' -print -quit | grep -q .; }
wait_for 30 saved || fail "Space saved no JPEG"
picture=$(find "$work/home/Pictures/Calvest" -mindepth 2 -name '*.jpg' ! -name '.*' | head -n 1)
identify "$picture" >/dev/null || fail "the saved picture does not decode"
# The first thumbnail then shows the dark desk instead of the pale empty slot.
drawn() { read -r mean _ < <(region 10 80 120 120 thumbnail-after); awk -v a="$empty_mean" -v b="$mean" 'BEGIN { exit !(a - b > 0.1) }'; }
wait_for 30 drawn || fail "the first thumbnail was not drawn"
screenshot "$shots/package-staged-run.png"
stop_station
echo "passed: the staged program started from its menu entry's command, saved $(basename "$picture") on Space"
