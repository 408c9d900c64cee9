#!/usr/bin/env bash
# The Debian package read back with dpkg-deb: exactly the listed files under /usr, owned by root,
# with their modes; an executable postinst; dependencies from the linked libraries and the data
# and fonts the program opens by name, which apt can meet; a program without sanitizers.
set -euo pipefail
build=$1
listed=$(grep -v '^#' "$(dirname "$0")/installed_files.txt" | sort)
fail() { echo "FAILED: $*"; exit 1; }
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT

debs=("$build"/orvane_*.deb)
((${#debs[@]} == 1)) && [[ -f ${debs[0]} ]] || fail "no single package in $build: ${debs[*]}"
deb=$(realpath "${debs[0]}")
[[ $(dpkg-deb -f "$deb" Package) == orvane ]] || fail "the package is not named orvane"

# "-rwxr-xr-x root/root 123 2024-01-01 00:00 ./usr/lib/orvane/orvane" (links end in "-> target").
contents=$(dpkg-deb -c "$deb")
if grep -v ' root/root ' <<<"$contents"; then fail "files not owned by root"; fi
actual=$(awk '$1 !~ /^d/ {
    mode = 0
    for (i = 2; i <= 10; i++) mode = mode * 2 + (substr($1, i, 1) != "-")
    path = $6
    if (path !~ /^\.\/usr\//) { print "outside /usr:", path; next }
    print substr(path, 7), ($1 ~ /^l/ ? "link" : sprintf("%o", mode))
  }' <<<"$contents" | sort)
diff <(echo "$listed") <(echo "$actual") || fail "the package's files differ from the list (< listed, > packaged)"

dpkg-deb --ctrl-tarfile "$deb" | tar -tvf - | grep -q '^-rwxr-xr-x .* \./postinst$' || fail "no executable postinst"

depends=$(dpkg-deb -f "$deb" Depends)
# What the program opens by name, then a few of the libraries dpkg-shlibdeps finds.
for wanted in 'tesseract-ocr-eng' 'fonts-liberation2' 'fonts-wqy-zenhei \| fonts-noto-cjk' 'qt6-image-formats-plugins' \
              'qt6-translations-l10n' 'libqt6widgets6' 'libopencv-core[0-9.]+' 'libavformat[0-9]+' 'libtesseract5'; do
  grep -Eq "(^|, )$wanted( \(|,|$)" <<<"$depends" || fail "Depends lacks $wanted: $depends"
done
apt-get install -s --no-install-recommends "$deb" >"$unpacked/apt.log" 2>&1 || { cat "$unpacked/apt.log"; fail "apt cannot meet the dependencies"; }

dpkg-deb -x "$deb" "$unpacked/root"
if readelf -d "$unpacked/root/usr/lib/orvane/orvane" | grep -E 'NEEDED.*lib(a|ub|t|l)san'; then fail "the packaged program carries a sanitizer"; fi
echo "passed: $(basename "$deb"), $(wc -l <<<"$actual") files, Depends: $depends"
