#!/usr/bin/env bash
# Installs the Debian packages the build, the demo and the tests need.
# Idempotent: only what is missing is installed.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libsdl2-dev libopenmpt-dev zlib1g-dev libpng-dev
  googletest libgtest-dev libgmock-dev
  clang libclang-rt-14-dev
  python3 python3-pil python3-numpy imagemagick
  xmp openmpt123 sox ffmpeg
  xvfb xdotool valgrind openbox x11-utils libx11-dev time
  libosmesa6-dev libstb-dev libassimp-dev libhwy-dev
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev
  desktop-file-utils appstream help2man
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
