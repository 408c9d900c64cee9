#!/usr/bin/env bash
# The station in Traditional Chinese as a person meets it: the built program under Xvfb with the
# virtual camera and a fresh home folder. The property-page button must open the camera's page;
# Escape must close it untouched. A page collected for one PDF and the box then unticked must ask
# whether to drop it; Enter (yes) must close the composer. SIGTERM must close the station in order
# with the exposure the page did not touch still in Sys.ini. Screenshots of the page and of the
# question are left in the working folder.
set -euo pipefail
program=$1
shots=$(pwd)
source "$(dirname "$0")/person.sh"

settings_file=$work/home/.config/Sys.ini
start_screen
mkdir -p "$(dirname "$settings_file")"
printf '[Language]\nCurrent=CNT\n[Camera]\nAutoExposure=true\nExposure=-3\n' >"$settings_file"
start_station 1
wait_for 60 preview_live || fail "the preview shows no camera picture"

# The station's visible windows, one id a line.
windows() { xdotool search --onlyvisible --pid "$station_pid" 2>/dev/null | sort; }
# A window of the station that was not among $1, left in $found.
found=
new_window() { found=$(comm -13 <(echo "$1") <(windows) | head -n 1); [[ -n $found ]]; }
# A window that has drawn itself shows more than a flat colour.
drawn() {
  eval "$(xdotool getwindowgeometry --shell "$1")"
  import -display "$DISPLAY" -window root -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage "$work/drawn.png"
  identify -format '%[fx:standard_deviation]\n' "$work/drawn.png" | awk '{ exit !($1 > 0.02) }'
}
gone() { ! windows | grep -qx "$1"; }

# The property-page button, beside the settings button at the panel's top (COrvaneDlg::LayOut).
before=$(windows)
click $((main_width - 210 + 70 + 32)) 23
wait_for 20 new_window "$before" || fail "the property-page button opened no page"
page=$found
[[ $(xdotool getwindowname "$page") == 'Virtual Document Camera' ]] || fail "the page is not the camera's: $(xdotool getwindowname "$page")"
wait_for 10 drawn "$page" || fail "the property page shows nothing"
screenshot "$shots/language-as-a-person-property-page.png"
xdotool windowfocus --sync "$page"
xdotool key Escape
wait_for 10 gone "$page" || fail "Escape did not close the property page"

# The one-PDF box (under the panel's two-in-one box), one page collected with Space, the box
# unticked: the question whether to drop the page.
click $((main_width - 160)) 434
sleep 1
before=$(windows)
xdotool windowfocus --sync "$window"
xdotool key space
wait_for 30 new_window "$before" || fail "Space opened no composer"
composer=$found
before=$(windows)
click $((main_width - 160)) 434
wait_for 20 new_window "$before" || fail "unticking the one-PDF box with a page collected asked nothing"
question=$found
wait_for 10 drawn "$question" || fail "the question shows nothing"
screenshot "$shots/language-as-a-person-question.png"
xdotool windowfocus --sync "$question"
xdotool key Return
wait_for 10 gone "$question" || fail "Enter did not answer the question"
wait_for 10 gone "$composer" || fail "the composer stayed open after the page was dropped"

stop_station
grep -qx 'Exposure=-3' "$settings_file" || fail "the exposure moved: $(grep '^Exposure=' "$settings_file")"
echo "passed: the property page and a question in Traditional Chinese; the page left the exposure as it was"
