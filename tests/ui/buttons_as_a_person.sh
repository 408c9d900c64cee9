#!/usr/bin/env bash
# The command buttons as a person sees them: the built program under Xvfb with the virtual camera,
# once in each interface language of Sys.ini. The buttons must show their faces, different ones
# per language; the capture button must light up under the mouse and darken while pressed; a press
# dragged off it and released elsewhere must take no picture. Screenshots of the window in each
# language, of its panel cropped out (faces and captions at their size), and of the hovered and
# pressed capture button are left in the working folder.
set -euo pipefail
program=$1
shots=$(pwd)
source "$(dirname "$0")/person.sh"

settings_file=$work/home/.config/Sys.ini
# The panel of the default window (COrvaneDlg::LayOut): the settings button at its top left, the
# capture button 470 pixels down across the whole panel.
panel() { echo $((main_width - 210)); }
settings_face() { region "$(panel)" 10 65 26 "settings-$1"; }
capture_face() { region $(($(panel) + 4)) 474 197 30 "capture-$1"; }
# "red green blue" means of a region.
colour() { read -r r g b _ < <("$@"); echo "$r $g $b"; }
# The capture button's face is blue, brighter than it is red.
capture_is_blue() { awk -v c="$(colour capture_face "$1")" 'BEGIN { split(c, v, " "); exit !(v[3] > v[1] + 0.3) }'; }
brighter() { awk -v a="$1" -v b="$2" 'BEGIN { split(a, x, " "); split(b, y, " "); exit !(x[2] > y[2] + 0.02) }'; }

start_screen
mkdir -p "$(dirname "$settings_file")"
for language in CN CNT EN; do
  printf '[Language]\nCurrent=%s\n' "$language" >"$settings_file"
  start_station 1
  wait_for 30 capture_is_blue "$language" || fail "the capture button shows no face in $language"
  screenshot "$shots/buttons-$language.png"
  import -display "$DISPLAY" -window root -crop "215x640+$((left + $(panel) - 5))+$top" +repage \
    "$shots/buttons-panel-$language.png"
  settings_face "$language" >/dev/null
  if [[ $language == EN ]]; then
    xdotool mousemove "$((left + $(panel) + 150))" "$((top + 540))"
    sleep 0.2
    normal=$(colour capture_face normal)
    xdotool mousemove "$((left + $(panel) + 102))" "$((top + 489))"
    hovered_now() { hovered=$(colour capture_face hovered); brighter "$hovered" "$normal"; }
    wait_for 5 hovered_now || fail "the capture button does not light up under the mouse ($normal, then $hovered)"
    import -display "$DISPLAY" -window root -crop "215x48+$((left + $(panel) - 5))+$((top + 465))" +repage "$shots/buttons-hovered.png"
    xdotool mousedown 1
    pressed_now() { pressed=$(colour capture_face pressed); brighter "$normal" "$pressed"; }
    wait_for 5 pressed_now || fail "the capture button does not darken while pressed ($normal, then $pressed)"
    import -display "$DISPLAY" -window root -crop "215x48+$((left + $(panel) - 5))+$((top + 465))" +repage "$shots/buttons-pressed.png"
    # Dragged off the button and let go over the preview: no capture.
    xdotool mousemove "$((left + 400))" "$((top + 300))"
    sleep 0.2
    xdotool mouseup 1
    sleep 0.8
    taken=$(find "$work/home/Pictures" -name '*.jpg' 2>/dev/null || true)
    [[ -z $taken ]] || fail "a press dragged off the capture button took a picture: $taken"
  fi
  stop_station
done

# Each language has faces of its own.
for pair in "CN CNT" "CN EN" "CNT EN"; do
  read -r a b <<<"$pair"
  difference=$(compare -metric AE "$work/settings-$a.png" "$work/settings-$b.png" null: 2>&1 || true)
  awk -v d="${difference%% *}" 'BEGIN { exit !(d + 0 > 20) }' || fail "the settings button looks the same in $a and $b ($difference pixels differ)"
done
echo "passed: the command buttons in three languages; the capture button hovered, pressed and let go elsewhere"
