#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with, only when one is missing.
# Quiet and quick when everything is there; apt-get as root, sudo otherwise.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake pkg-config git
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # imaging and documents
  libopencv-core-dev libopencv-imgproc-dev libopencv-imgcodecs-dev
  libturbojpeg0-dev libjpeg62-turbo-dev libtiff-dev libhpdf-dev libzbar-dev
  # recognition
  libtesseract-dev tesseract-ocr-eng
  # only for the page-recognition check against Tesseract's Chinese data and orientation
  tesseract-ocr-chi-sim tesseract-ocr-osd
  # user interface
  qt6-base-dev qt6-image-formats-plugins libgl-dev
  # Qt's own buttons and dialogs in the station's languages
  qt6-translations-l10n
  # media and devices
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  libasound2-dev libudev-dev libzip-dev
  # companion programs meet the station on the D-Bus session bus; the tests run a private bus and
  # call the station as a companion would
  libdbus-1-dev dbus-daemon libglib2.0-bin
  # the virtual camera prints a QR code on its page
  libqrencode-dev
  # the PDF tests draw the pages as readers do (poppler and MuPDF)
  poppler-utils mupdf-tools
  # the TIFF tests read the pages' resolution as other programs do (tiffinfo)
  libtiff-tools
  # fonts: CJK texts, and a metric match for "Arial"
  fonts-wqy-zenhei fonts-liberation2
  # the character template is trained on these (FreeType renders them), its distances calibrated
  # on Micro Hei; Latin faces for the digits and letters
  libfreetype-dev fonts-wqy-microhei fonts-arphic-ukai fonts-arphic-uming fonts-noto-cjk
  fonts-arphic-bkai00mp fonts-arphic-bsmi00lp fonts-smiley-sans fonts-dejavu-core
  # kept out of training: the page-recognition check reads pages set in these
  fonts-cwtex-kai fonts-cwtex-ming fonts-cwtex-fs fonts-cwtex-heib
  # a locale with a decimal comma, for the tests of locale-independent numbers
  locales
  # the station used as a person would: a virtual screen, keys sent to it, screenshots read
  xvfb xdotool imagemagick
  # a real reader of the Word documents the tests write
  python3-docx
  # ... and a recording read back as a player would
  ffmpeg
  # USB sticks' file systems, made and mounted for the tests of writers on them
  dosfstools exfatprogs exfat-fuse
  # the Debian package (CPack finds the libraries it links with file and dpkg-shlibdeps), its menu
  # entry checked as desktops read it, and its camera-button rule run through udev's own rules
  dpkg-dev file desktop-file-utils udev
)

as_root=()
[[ $(id -u) -eq 0 ]] || as_root=(sudo)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
if [[ ${#missing[@]} -gt 0 ]]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${as_root[@]}" apt-get update -qq
  "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf-\?8'; then
  echo "setup: generating the de_DE.UTF-8 locale"
  "${as_root[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
