#!/usr/bin/env bash
# Cross-builds for 64-bit Arm Linux into build-arm64/ with Debian's
# g++-aarch64-linux-gnu and runs what it built under qemu-user:
#   scripts/build-arm64.sh [--test] [target...]
# Without targets it builds the device and rasterizer tests, the other test
# programs and the demo itself (with its data files, made by the arm64
# generators under qemu). --test then runs those tests under qemu with CTest
# and a few frames of the demo headless.
# The arm64 libraries come as Debian arm64 packages unpacked into
# build-arm64/sysroot: installing them through multiarch would tie the
# machine's own libraries to the versions the arm64 index has, which need not
# be the ones installed. A toolchain or those packages that cannot be had
# skip the whole run with a "SKIP:" line, never fail it.
# Idempotent: installs and downloads only what is missing, rebuilds only what changed.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
out="${SOMBRELLA_ARM64_BUILD:-$top/build-arm64}"
sysroot="$out/sysroot"
jobs="$(nproc)"
run_tests=0
targets=()
for a in "$@"; do
  case "$a" in
    --test) run_tests=1 ;;
    -*) echo "unknown option: $a (--test)" >&2; exit 2 ;;
    *) targets+=("$a") ;;
  esac
done
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
skip() { echo "SKIP: arm64 stage: $*"; exit 0; }

# --- the cross compiler and qemu ---------------------------------------------
missing=()
for p in g++-aarch64-linux-gnu qemu-user pkgconf cmake; do installed "$p" || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq >/dev/null 2>&1 || true
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-remove "${missing[@]}" >/dev/null 2>&1 ||
    skip "the cross compiler or qemu-user cannot be installed on this machine"
fi

# --- the arm64 libraries -------------------------------------------------------
# Headers and link files of what the build uses, and the libraries those
# need to load (their whole dependency closure, so the programs run).
dev=(libsdl2-dev libopenmpt-dev zlib1g-dev libpng-dev libhwy-dev libgtest-dev libgmock-dev
     libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
     libmpg123-dev libogg-dev libvorbis-dev)
runtime=(libc6 libstdc++6 libgcc-s1 libsdl2-2.0-0 libopenmpt0 zlib1g libpng16-16 libhwy1
         libavcodec59 libavformat59 libavutil57 libswscale6 libswresample4)
stamp="$sysroot/.packages"
wanted="${dev[*]} ${runtime[*]}"
if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$wanted" ]; then
  if ! dpkg --print-foreign-architectures | grep -qx arm64; then
    $sudo dpkg --add-architecture arm64
    $sudo apt-get update -qq >/dev/null 2>&1 || true
  fi
  apt-cache show --no-all-versions libsdl2-dev:arm64 >/dev/null 2>&1 || {
    $sudo apt-get update -qq >/dev/null 2>&1 || true
    apt-cache show --no-all-versions libsdl2-dev:arm64 >/dev/null 2>&1 ||
      skip "no arm64 package index here"
  }
  closure=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
              --no-replaces --no-enhances "${runtime[@]/%/:arm64}" 2>/dev/null | grep -E '^[^ <].*:arm64$' | sort -u)
  debs="$out/debs"
  mkdir -p "$debs"
  echo "== arm64 packages: $(echo "$closure" | wc -w) libraries and ${#dev[@]} development packages =="
  (cd "$debs" && apt-get download -qq ${closure} "${dev[@]/%/:arm64}" >/dev/null 2>&1) ||
    skip "the arm64 packages cannot be downloaded"
  rm -rf "$sysroot" && mkdir -p "$sysroot"
  for d in "$debs"/*.deb; do dpkg-deb -x "$d" "$sysroot"; done
  # Links written as absolute paths point into the machine's own tree: make
  # them point inside the folder.
  find "$sysroot" -type l -lname '/*' | while read -r link; do
    ln -sfn "$sysroot$(readlink "$link")" "$link"
  done
  echo "$wanted" > "$stamp"
fi
export SOMBRELLA_ARM64_SYSROOT="$sysroot"

# --- build -----------------------------------------------------------------
if [ ${#targets[@]} -eq 0 ]; then
  targets=(sombrella sombrella_music_data sombrella_scene_data)
  # Every test program of the normal build; the benchmarks need OSMesa and stay out.
  targets+=($(sed -n 's/^add_executable(\(sombrella-[a-z0-9-]*-tests\).*/\1/p' "$top"/tests/*/CMakeLists.txt))
fi
echo "== arm64 build: ${targets[*]} =="
cmake -S "$top" -B "$out/build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/aarch64-linux-gnu.cmake" \
  -DSOMBRELLA_ARM64_SYSROOT="$sysroot" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSOMBRELLA_BENCH=OFF >/dev/null
cmake --build "$out/build" -j"$jobs" --target "${targets[@]}"
[ -f "$out/build/bin/sombrella" ] && file "$out/build/bin/sombrella" | sed "s/, BuildID.*//"

[ "$run_tests" -eq 1 ] || exit 0
