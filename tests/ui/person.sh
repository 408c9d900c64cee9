# The pieces of the tests that use the built program as a person would: a virtual screen, the
# station started on it with a fresh home folder, keys and clicks sent, the screen read back.
# Sourced by the *_as_a_person.sh scripts; they set `program` and call start_screen first.

for tool in Xvfb xdotool import identify; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed (tools/setup.sh installs it)"; exit 77; }
done

work=$(mktemp -d)
xvfb_pid=
station_pid=
window=
cleanup() {
  [[ -n $station_pid ]] && kill -KILL "$station_pid" 2>/dev/null || true
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAILED: $*"
  [[ -f $work/station.log ]] && sed 's/^/  station: /' "$work/station.log" | tail -"${STATION_LOG_LINES:-40}"
  exit 1
}

# Waits until the command succeeds, at most $1 seconds.
wait_for() {
  local seconds=$1; shift
  local until=$((SECONDS + seconds))
  until "$@" >/dev/null 2>&1; do
    ((SECONDS < until)) || return 1
    sleep 0.5
  done
}

# The mean of each colour (0 to 1) and the spread of a region of the window: "red green blue spread".
region() {  # x y width height name (x and y inside the window)
  import -display "$DISPLAY" -window root -crop "$3x$4+$((left + $1))+$((top + $2))" +repage "$work/$5.png"
  identify -format '%[fx:mean.r] %[fx:mean.g] %[fx:mean.b] %[fx:standard_deviation]\n' "$work/$5.png"
}

screenshot() { import -display "$DISPLAY" -window root "$1"; }

# The station's storage folder in its fresh home, and the finished files there with extension $1
# (a file being written is hidden, ".name.XXXXXX", until it is complete).
storage="$work/home/Pictures/Calvest"
files() { find "$storage" -mindepth 2 -name "*.$1" ! -name '.*' 2>/dev/null; }

# Whether the middle of the preview area shows the camera's page on its desk, not a flat colour
# (the region is left in $work/preview.png).
preview_live() { read -r _ _ _ spread < <(region 250 100 400 400 preview); awk -v s="$spread" 'BEGIN { exit !(s > 0.05) }'; }

start_screen() {
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
  xvfb_pid=$!
  wait_for 20 test -s "$work/display" || fail "Xvfb did not start"
  export DISPLAY=":$(cat "$work/display")"
}

# Starts the station with the virtual cameras $1 (and the program folder $2, when given) and waits
# for its window; sets left, top, main_width and main_height.
start_station() {
  mkdir -p "$work/home"
  (
    cd "$work"
    unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_PICTURES_DIR ORVANE_PROGRAM_DIR ORVANE_DEVICE_LIBRARY QT_QPA_PLATFORM
    # X's keyboard library reads its server's replies with strndup, bounded but unterminated, which
    # the strict string check of a sanitizer build takes for an overflow.
    [[ -n ${ASAN_OPTIONS:-} ]] && export ASAN_OPTIONS="${ASAN_OPTIONS//strict_string_checks=1/strict_string_checks=0}"
    [[ -n ${2:-} ]] && export ORVANE_PROGRAM_DIR="$2"
    HOME="$work/home" ORVANE_VIRTUAL_CAMERA="$1" exec "$program"
  ) >"$work/station.log" 2>&1 &
  station_pid=$!
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
}

# Clicks at (x, y) inside the window.
click() { xdotool mousemove "$((left + $1))" "$((top + $2))" click 1; }

# SIGTERM, then the station must be gone in order: within two minutes, what a machine whose every
# core is busy needs to join the cameras' threads and write the settings.
stop_station() {
  kill -TERM "$station_pid"
  wait_for 120 bash -c "! kill -0 $station_pid" || fail "SIGTERM did not end the station"
  local status=0
  wait "$station_pid" || status=$?
  station_pid=
  ((status == 0)) || fail "the station ended with status $status"
}
