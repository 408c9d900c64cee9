#!/usr/bin/env bash
# The view modes used as a person would: the built program under Xvfb with a document, a portrait
# and a third virtual camera; the switch button clicked until the two-camera view and the view of
# the two front-facing cameras. Each screenshot must show the pictures where the layout puts them:
# the portrait camera films a person before a blue wall, the third one before a green wall, the
# document camera a page on a dark desk. Then, in the view of the two front-facing cameras, the
# document camera is pulled out and plugged in again (through the virtual cameras' plug FIFO): the
# station says so once, and the camera comes back alone in view 0, the third camera parked.
# Screenshots are left in the working folder.
set -euo pipefail
program=$1
shots=$(pwd)
source "$(dirname "$0")/person.sh"

# The default window: preview area (140, 10)-(882, 690); the switch button at (1064, 117).
switch_view() { click 1064 117; }
# "red green blue" means of a region.
colour() { read -r r g b _ < <(region "$@"); echo "$r $g $b"; }
is_blue_wall() { awk -v c="$(colour "$@")" 'BEGIN { split(c, v, " "); exit !(v[3] > v[1] + 0.1 && v[3] > 0.6) }'; }
is_green_wall() { awk -v c="$(colour "$@")" 'BEGIN { split(c, v, " "); exit !(v[2] > v[1] && v[2] > v[3] + 0.1) }'; }
is_desk() { awk -v c="$(colour "$@")" 'BEGIN { split(c, v, " "); exit !(v[1] < 0.45 && v[1] >= v[3]) }'; }

# Another visible window of the station than its main window (a message box).
find_box() { box=$(xdotool search --onlyvisible --pid "$station_pid" | grep -vx "$window" | head -n 1); [[ -n $box ]]; }
no_box() { ! find_box; }
# A line to the plug FIFO, which the station holds open once it runs.
plug() { timeout 10 bash -c "echo $1 >'$work/plug'" || fail "the station does not read the plug FIFO"; }

start_screen
mkfifo "$work/plug"
export ORVANE_VIRTUAL_PLUG=$work/plug
start_station document,portrait,third

wait_for 60 is_desk 160 250 80 60 mode0 || fail "view 0 does not show the document camera's desk"
wait_for 120 preview_live || fail "view 0 shows no picture of the document camera"
screenshot "$shots/views-mode-0.png"

# 0 -> 1 (portrait) -> 2 (third) -> 3 (document with the portrait above it on the right).
for _ in 1 2 3; do switch_view; sleep 1; done
wait_for 30 is_blue_wall 750 20 40 30 mode3-portrait || fail "view 3 does not show the portrait at the top right"
wait_for 10 is_desk 160 300 80 60 mode3-document || fail "view 3 does not show the document below the band"
screenshot "$shots/views-mode-3.png"

# 3 -> 4 (document with the third camera) -> 5 (third on the left, portrait on the right).
for _ in 1 2; do switch_view; sleep 1; done
wait_for 30 is_green_wall 150 225 50 30 mode5-third || fail "view 5 does not show the third camera on the left"
wait_for 10 is_blue_wall 525 225 50 30 mode5-portrait || fail "view 5 does not show the portrait on the right"
screenshot "$shots/views-mode-5.png"

plug out
wait_for 30 find_box || fail "pulling the document camera out was not told"
screenshot "$shots/views-unplugged.png"
xdotool windowfocus --sync "$box" key Return
wait_for 10 no_box || fail "Return did not close the message"
plug in
# The document camera's picture over the whole preview area, where view 5 showed the third camera
# and the portrait.
replugged() {
  ! is_green_wall 150 225 50 30 replugged-left && ! is_blue_wall 525 225 50 30 replugged-right && preview_live
}
wait_for 120 replugged || fail "the camera plugged in again is not shown alone, with its picture"
no_box || fail "plugging the camera in again was told"
screenshot "$shots/views-replugged.png"

stop_station
echo "passed: views 0, 3 and 5 show their cameras where the layout puts them; a camera plugged in again in view 5 comes back alone"
