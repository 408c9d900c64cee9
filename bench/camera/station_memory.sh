#!/usr/bin/env bash
# Peak memory of the station filming its virtual camera, the whole process: the built program under
# Xvfb with a fresh home folder, left to run, then closed by SIGTERM. Prints the kernel's
# high-water mark of the resident size (read by /usr/bin/time, and from /proc while running, with
# how much of it is mapped files, that is shared libraries and fonts) and the processor time.
#   station_memory.sh PROGRAM [SECONDS [CAMERAS]]
# CAMERAS is ORVANE_VIRTUAL_CAMERA's value (default 1); SETTINGS, when set, is written to Sys.ini
# first (printf escapes), e.g. SETTINGS='[OTHER]\nMJPGMODE=TRUE\n' for the MJPG stream.
set -euo pipefail
program=$(realpath "$1")
seconds=${2:-20}
cameras=${3:-1}
for tool in Xvfb /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
work=$(mktemp -d)
xvfb_pid=
cleanup() {
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 40); do [[ -s $work/display ]] && break; sleep 0.5; done
export DISPLAY=":$(cat "$work/display")"
mkdir -p "$work/home/.config"
[[ -n ${SETTINGS:-} ]] && printf '%b' "$SETTINGS" >"$work/home/.config/Sys.ini"
(
  cd "$work"
  unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_PICTURES_DIR ORVANE_PROGRAM_DIR QT_QPA_PLATFORM
  HOME="$work/home" ORVANE_VIRTUAL_CAMERA="$cameras" exec /usr/bin/time -f '%M %U %S' -o "$work/time" "$program"
) >"$work/log" 2>&1 &
runner=$!
sleep "$seconds"
station=$(pgrep -P "$runner" -x orvane || true)
if [[ -n $station ]]; then
  awk '/^(VmHWM|VmRSS|RssAnon|RssFile):/ { printf "%s %d MB  ", $1, $2 / 1024 } END { print "" }' "/proc/$station/status"
  kill -TERM "$station"
fi
wait "$runner" || true
read -r kilobytes user system <"$work/time"
echo "peak resident: $((kilobytes / 1024)) MB; processor: user ${user} s, system ${system} s in about ${seconds} s"
