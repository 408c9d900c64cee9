#!/usr/bin/env bash
# The station installed into a staging folder (DESTDIR), as `make install` installs it: exactly the
# listed files with their modes; `orvane` on the PATH a relative link to the program folder's
# executable, which takes no library from the build tree; each icon of its folder's size.
set -euo pipefail
build=$1
listed=$(grep -v '^#' "$(dirname "$0")/installed_files.txt" | sort)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
fail() { echo "FAILED: $*"; exit 1; }

DESTDIR=$stage cmake --install "$build" --prefix /usr >/dev/null
root=$stage/usr
[[ -z $(find "$stage" -mindepth 1 -maxdepth 1 ! -name usr) ]] || fail "files were installed outside the prefix"
actual=$(cd "$root" && find . ! -type d -printf '%P %y %m\n' | awk '{ print $1, ($2 == "l" ? "link" : $3) }' | sort)
diff <(echo "$listed") <(echo "$actual") || fail "the installed files differ from the list (< listed, > installed)"

link=$(readlink "$root/bin/orvane")
[[ $link != /* ]] || fail "bin/orvane links to an absolute path: $link"
[[ $(readlink -f "$root/bin/orvane") == "$root/lib/orvane/orvane" ]] || fail "bin/orvane does not lead to the program folder"
if readelf -d "$root/lib/orvane/orvane" | grep -E 'R(UN)?PATH'; then fail "the installed program keeps a library path"; fi

for icon in "$root"/share/icons/hicolor/*/apps/orvane.png; do
  size=$(basename "$(dirname "$(dirname "$icon")")")
  [[ $(identify -format '%wx%h' "$icon") == "$size" ]] || fail "the icon in $size is $(identify -format '%wx%h' "$icon")"
done
echo "passed: $(echo "$actual" | wc -l) files in place, the link relative, no library path, icons of their sizes"
