#!/usr/bin/env bash
# Installs the Debian packages Tagsmith needs, and only those that are missing.
# This is the one list of the project's dependencies.
#
#   scripts/install-deps.sh            build, run and test
#   scripts/install-deps.sh --fuzz     also the libFuzzer tool chain (clang)
#   scripts/install-deps.sh --compare  also the programs the side-by-side
#                                      benchmarks compare against
#   scripts/install-deps.sh --banners  also what scripts/make-banners.sh draws
#                                      the shipped banner pictures with
#   scripts/install-deps.sh --xvfb     also a virtual X server, to try the
#                                      program on X without a desktop
#                                      (scripts/xvfb-check.sh)
set -euo pipefail

build=(cmake ninja-build g++ pkg-config make)
libs=(libxml2-dev libsqlite3-dev libcurl4-openssl-dev libssl-dev openssl libpng-dev libjpeg62-turbo-dev zlib1g-dev libgif-dev libwmf-dev libvips-dev)
# Qt: the widgets, the platform plugins (xcb on the desktop, offscreen for the
# tests and screenshots), the image readers beyond PNG, JPEG and GIF (WebP,
# TIFF, ...) that pasting and inserting pictures take, and a font for the
# offscreen platform, which --no-install-recommends would leave out (Liberation
# stands in for Arial, the window's font, with the same metrics; WenQuanYi
# draws Chinese and Japanese text).
qt=(qt6-base-dev qt6-qpa-plugins qt6-image-formats-plugins fonts-dejavu-core fonts-liberation2 fonts-wqy-microhei)
tests=(libgtest-dev libgmock-dev libbenchmark-dev)
fuzz=(clang libclang-rt-14-dev)
compare=(libvips-tools imagemagick libpixman-1-dev bc pandoc unrtf)
banners=(librsvg2-bin fonts-dejavu-core)
xvfb=(xvfb xauth x11-utils xdotool)

want=("${build[@]}" "${libs[@]}" "${qt[@]}" "${tests[@]}")
for arg in "$@"; do
  case "$arg" in
    --fuzz) want+=("${fuzz[@]}") ;;
    --compare) want+=("${compare[@]}") ;;
    --banners) want+=("${banners[@]}") ;;
    --xvfb) want+=("${xvfb[@]}") ;;
    *) echo "install-deps.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${want[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
