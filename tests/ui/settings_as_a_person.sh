#!/usr/bin/env bash
# The settings window used as a person would: the built program under Xvfb with the virtual
# camera, once in each interface language. The settings button must open the window under its
# caption in that language, and Escape must close it; each of its four tabs is left as a screenshot
# in the working folder. In Simplified Chinese the JPEG quality is first raised to the top with the
# keys and confirmed with Return: Sys.ini must hold it at once, and still after the station closed.
set -euo pipefail
program=$1
shots=$(pwd)
source "$(dirname "$0")/person.sh"

settings_file=$work/home/.config/Sys.ini
dialog=
find_dialog() { dialog=$(xdotool search --onlyvisible --name "$1" | head -n 1); [[ -n $dialog ]]; }
no_dialog() { ! xdotool search --onlyvisible --name "$1" | grep -q .; }
quality_is() { grep -qx "JPGQuality=$1" "$settings_file"; }
# The settings button: the first of the three at the top of the panel (COrvaneDlg::LayOut).
open_settings() {
  click $((main_width - 210 + 32)) 23
  wait_for 30 find_dialog "$1" || fail "the settings button opened no window \"$1\""
  xdotool windowfocus --sync "$dialog"
}

start_screen
for run in "CN 设置系统参数" "CNT 系統參數設定" "EN Preference"; do
  read -r language caption <<<"$run"
  if [[ -f $settings_file ]]; then
    sed -i "s/^Current=.*/Current=$language/" "$settings_file"
  else
    mkdir -p "$(dirname "$settings_file")"
    printf '[Language]\nCurrent=%s\n' "$language" >"$settings_file"
  fi
  start_station 1
  if [[ $language == CN ]]; then
    open_settings "$caption"
    # The focus is in the image tab's first field: two fields on is the quality slider.
    xdotool key Tab Tab End Return
    wait_for 20 no_dialog "$caption" || fail "Return did not confirm the settings window"
    wait_for 10 quality_is 100 || fail "Sys.ini does not hold the JPEG quality chosen: $(grep JPGQuality "$settings_file")"
  fi
  open_settings "$caption"
  eval "$(xdotool getwindowgeometry --shell "$dialog")"  # X, Y, WIDTH, HEIGHT
  for tab in image watermark device advanced; do
    sleep 0.5
    import -display "$DISPLAY" -window root -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage "$shots/settings-$language-$tab.png"
    xdotool key ctrl+Tab
  done
  xdotool key Escape
  wait_for 20 no_dialog "$caption" || fail "Escape did not close the settings window"
  stop_station
done
quality_is 100 || fail "the JPEG quality chosen did not last"
echo "passed: the settings window in three languages; the JPEG quality chosen is in Sys.ini"
