#!/usr/bin/env bash
# The station as a companion program meets it, while a person uses it: the built program under
# Xvfb on a session bus of the test's own. The station must be on the bus under its caption; after
# two pictures taken with Space, message 0x500 sent with gdbus must be answered 0 and leave the
# second picture's path, followed by zero bytes only, in the shared memory "OrvaneImageDataMap"
# the companion made; after SIGTERM the station must be gone from the bus.
set -euo pipefail
program=$1

# A bus of the test's own, which ends with the test.
if [[ -z ${ORVANE_PERSON_BUS:-} ]]; then
  command -v dbus-run-session >/dev/null ||
    { echo "skipped: dbus-run-session is not installed (tools/setup.sh installs it)"; exit 77; }
  ORVANE_PERSON_BUS=1 exec dbus-run-session -- "$0" "$@"
fi
source "$(dirname "$0")/person.sh"
command -v gdbus >/dev/null || { echo "skipped: gdbus is not installed (tools/setup.sh installs it)"; exit 77; }

# The memory's name is the machine's: other runs of this test wait for their turn.
exec 9>"${TMPDIR:-/tmp}/orvane-image-data-map.lock"
flock -w 120 9 || fail "another run kept the shared memory for two minutes"
memory=/dev/shm/OrvaneImageDataMap
trap 'rm -f "$memory"; cleanup' EXIT
size=4096
head -c "$size" /dev/zero >"$memory"

# The bus name of a window: every byte outside the letters as "_" and two hex digits.
bus_name() {
  local LC_ALL=C text=$1 name=com.morvath.window. i byte
  for ((i = 0; i < ${#text}; i++)); do
    byte=${text:i:1}
    if [[ $byte == [A-Za-z] ]]; then name+=$byte; else printf -v byte '_%02x' "'$byte"; name+=$byte; fi
  done
  echo "$name"
}
on_bus() {
  local answer
  answer=$(gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.NameHasOwner "$1")
  [[ $answer == "(true,)" ]]
}

start_screen
start_station 1
name=$(bus_name "$(xdotool getwindowname "$window")")
wait_for 20 on_bus "$name" || fail "the station is not on the bus as $name"

wait_for 60 preview_live || fail "the preview shows no camera picture"
xdotool windowfocus --sync "$window"
# A file being written is hidden (".name.XXXXXX") until it is complete.
pictures() { find "$work/home/Pictures/Calvest" -mindepth 2 -name '*.jpg' ! -name '.*' -printf '%T@ %p\n' | sort -n; }
saved() { local list; list=$(pictures); (($(grep -c . <<<"$list") >= $1)); }
for n in 1 2; do
  xdotool key space
  wait_for 30 saved "$n" || fail "Space saved no picture $n"
done
last=$(pictures | tail -n 1 | cut -d' ' -f2-)

reply=$(gdbus call --session --dest "$name" --object-path / --method com.morvath.Window.Message 0x500 0 0) ||
  fail "the station did not answer 0x500"
[[ $reply == "(int64 0,)" ]] || fail "the station answered 0x500 with $reply"
cmp -s "$memory" <(printf '%s' "$last"; head -c $((size - ${#last})) /dev/zero) ||
  fail "the shared memory does not hold $last and zero bytes: $(tr -d '\0' <"$memory")"

stop_station
on_bus "$name" && fail "the closed station is still on the bus"
echo "passed: on the bus as $name, 0x500 answered 0, the last picture $(basename "$last") in the shared memory," \
  "off the bus after SIGTERM"
