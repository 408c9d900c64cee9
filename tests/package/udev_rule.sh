#!/usr/bin/env bash
# The camera button's udev rule run by udev itself (udevadm test) over a made-up sysfs: the event
# node of a USB video camera's input device (its parent interface bound to uvcvideo) is tagged
# uaccess early enough that 73-seat-late.rules gives it to the logged-in user; a USB keyboard's
# event node is not. `udevadm verify` checks the rule's syntax too where udev has it (systemd 254
# and later). The made-up sysfs, /dev and /run are mounted in a private mount namespace.
set -euo pipefail
rule=$1
fail() { echo "FAILED: $*"; exit 1; }
command -v udevadm >/dev/null || { echo "skipped: udevadm is not installed (tools/setup.sh installs udev)"; exit 77; }
seat_late=
for folder in /usr/lib/udev/rules.d /lib/udev/rules.d; do
  [[ -f $folder/73-seat-late.rules ]] && { seat_late=$folder/73-seat-late.rules; break; }
done
[[ -n $seat_late ]] || { echo "skipped: udev has no 73-seat-late.rules"; exit 77; }
namespace=(unshare --mount --propagation private)
(($(id -u) == 0)) || namespace=(unshare --mount --map-root-user --propagation private)
"${namespace[@]}" true 2>/dev/null || { echo "skipped: no private mount namespace can be made here"; exit 77; }

if udevadm verify --help >/dev/null 2>&1; then
  udevadm verify "$rule" || fail "udevadm verify rejects the rule"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sys=$work/sys
mkdir -p "$sys/bus/usb/drivers/usb" "$sys/bus/usb/drivers/uvcvideo" "$sys/bus/usb/drivers/usbhid" "$sys/class/input"
# A device folder: path below sys/, its subsystem, its driver (or ""), then its uevent lines.
device() {
  local folder=$sys/$1 subsystem=$2 driver=$3
  shift 3
  mkdir -p "$folder"
  ln -sr "$sys/$subsystem" "$folder/subsystem"
  [[ -z $driver ]] || ln -sr "$sys/bus/usb/drivers/$driver" "$folder/driver"
  printf '%s\n' "$@" >"$folder/uevent"
}
hub=devices/pci0000:00/0000:00:14.0/usb1
camera_event=$hub/1-1/1-1:1.0/input/input5/event5
keyboard_event=$hub/1-2/1-2:1.0/input/input6/event6
device "$hub/1-1" bus/usb usb DEVTYPE=usb_device
device "$hub/1-1/1-1:1.0" bus/usb uvcvideo DEVTYPE=usb_interface DRIVER=uvcvideo
device "$hub/1-1/1-1:1.0/input/input5" class/input "" 'NAME="Document Camera"'
device "$camera_event" class/input "" MAJOR=13 MINOR=69 DEVNAME=input/event5
device "$hub/1-2" bus/usb usb DEVTYPE=usb_device
device "$hub/1-2/1-2:1.0" bus/usb usbhid DEVTYPE=usb_interface DRIVER=usbhid
device "$hub/1-2/1-2:1.0/input/input6" class/input "" 'NAME="Keyboard"'
device "$keyboard_event" class/input "" MAJOR=13 MINOR=70 DEVNAME=input/event6
mkdir "$work/rules" "$work/empty"
cp "$rule" "$seat_late" "$work/rules/"

# udev's rules folders hold only the rule under test and 73-seat-late.rules. The made-up sysfs is
# not a real one: SYSTEMD_DEVICE_VERIFY_SYSFS=0 lets udev read it.
simulate() {
  SYSTEMD_DEVICE_VERIFY_SYSFS=0 "${namespace[@]}" bash -c '
    set -e
    mount --bind "$1/sys" /sys
    mount -t tmpfs none /run
    mount -t tmpfs none /dev
    for folder in /etc/udev/rules.d /usr/local/lib/udev/rules.d /usr/lib/udev/rules.d /lib/udev/rules.d; do
      [[ -d $folder && ! -L $folder ]] && mount --bind "$1/empty" "$folder"
    done
    mount --bind "$1/rules" /usr/lib/udev/rules.d
    udevadm test --action=add "/sys/$2"' simulate "$work" "$1" >"$work/udev.log" 2>&1 ||
    { cat "$work/udev.log"; fail "udevadm test failed on $1"; }
}
simulate "$camera_event"
if grep -i "$(basename "$rule")" "$work/udev.log" | grep -iE 'invalid|error|ignor|unknown'; then
  fail "udev finds fault with the rule"
fi
grep -qx "run: 'uaccess'" "$work/udev.log" || { cat "$work/udev.log"; fail "the camera's button is not given to the logged-in user"; }
simulate "$keyboard_event"
if grep -q "uaccess" <(grep -E "^(TAGS|run:)" "$work/udev.log"); then fail "a keyboard's event node is given away too"; fi
echo "passed: the camera's button tagged uaccess and handed to the seat, a keyboard's not"
