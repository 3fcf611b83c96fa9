#!/usr/bin/env bash
# Builds the demo as a Windows program with mingw-w64 into build-windows/:
# i686/bin/sombrella.exe (PE32, the demo's own target) and x86_64/bin/ (PE32+),
# each with our fmod.dll, the X-file dump tool and the seam check, and the
# ready-to-run archives sombrella-win32.zip and sombrella-win64.zip.
#   scripts/build-windows.sh [i686] [x86_64]      (both when none is named)
# Idempotent: installs only what is missing and rebuilds only what changed.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
out="$top/build-windows"
jobs="$(nproc)"
archs=("$@")
[ ${#archs[@]} -gt 0 ] || archs=(i686 x86_64)
for arch in "${archs[@]}"; do
  case "$arch" in i686|x86_64) ;; *) echo "unknown architecture: $arch (i686 or x86_64)" >&2; exit 2 ;; esac
done

# The native build makes the data files; the cross build needs these too.
"$top/scripts/install-deps.sh"
packages=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix zip dpkg-dev python3 clang)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq || echo "apt-get update reported errors; installing from the indexes there are"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

echo "== data files (native tools) =="
# SOMBRELLA_NATIVE_BUILD reuses a configured native build (CI passes build/).
native="${SOMBRELLA_NATIVE_BUILD:-$out/native}"
[ -f "$native/CMakeCache.txt" ] ||
  cmake -S "$top" -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSOMBRELLA_BENCH=OFF >/dev/null
cmake --build "$native" -j"$jobs" --target sombrella_scene_data sombrella_music_data
data="$native/bin"

echo "== libopenmpt for Windows =="
"$top/scripts/build-libopenmpt-windows.sh" "$out/libopenmpt" "${archs[@]}"

for arch in "${archs[@]}"; do
  echo "== sombrella.exe ($arch) =="
  cmake -S "$top/windows" -B "$out/$arch" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64-$arch.cmake" \
    -DSOMBRELLA_OPENMPT_PREFIX="$out/libopenmpt/$arch" >/dev/null
  cmake --build "$out/$arch" -j"$jobs"
  # The program runs with its data beside it.
  for f in "$data"/vo.x "$data"/zel.xm "$data"/*.bmp "$data"/*.tga; do
    [ -f "$f" ] && cp -f "$f" "$out/$arch/bin/"
  done
  case "$arch" in i686) zipname=sombrella-win32.zip ;; x86_64) zipname=sombrella-win64.zip ;; esac
  stage="$out/$arch/package"
  rm -rf "$stage" && mkdir -p "$stage"
  cp "$out/$arch/bin/sombrella.exe" "$out/$arch/bin/fmod.dll" "$stage/"
  for f in "$data"/vo.x "$data"/zel.xm "$data"/*.bmp "$data"/*.tga; do
    [ -f "$f" ] && cp "$f" "$stage/"
  done
  rm -f "$out/$zipname"
  (cd "$stage" && zip -q -X "$out/$zipname" ./*)
  echo "$out/$zipname: $(cd "$stage" && ls | tr '\n' ' ')"
done
