#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the normal build,
# the same suite under AddressSanitizer + UndefinedBehaviorSanitizer, the
# libFuzzer targets for a bounded number of inputs each, the arm64 build
# with its tests under qemu-user (scripts/build-arm64.sh), and the Windows
# build under Wine (scripts/windows-checks.sh).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
jobs="$(nproc)"
"$top/scripts/install-deps.sh"

export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy

echo "== build and test =="
cmake -S "$top" -B "$top/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$top/build" -j"$jobs"
ctest --test-dir "$top/build" -j"$jobs" --output-on-failure --timeout 600

echo "== Debian package =="
"$top/scripts/check-deb.sh" "$top/build"

echo "== build and test under ASan + UBSan =="
cmake -S "$top" -B "$top/build-asan" -DCMAKE_BUILD_TYPE=Debug -DSOMBRELLA_SANITIZE=ON -DSOMBRELLA_BENCH=OFF >/dev/null
cmake --build "$top/build-asan" -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$top/build-asan" -j"$jobs" --output-on-failure --timeout 900 -LE slow

echo "== fuzz =="
CC=clang CXX=clang++ cmake -S "$top" -B "$top/build-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSOMBRELLA_FUZZ=ON \
  -DSOMBRELLA_BENCH=OFF >/dev/null
cmake --build "$top/build-fuzz" --target fuzz_all -j"$jobs"
ctest --test-dir "$top/build-fuzz" -j"$jobs" --output-on-failure --timeout 900 -L fuzz

echo "== arm64: cross-build, the tests and the demo under qemu-user =="
# Skips itself (a "SKIP:" line) where the cross compiler, qemu or the arm64
# packages cannot be had; the demo's frames are compared with build/'s.
SOMBRELLA_NATIVE_BUILD="$top/build" "$top/scripts/build-arm64.sh" --test

echo "== Windows: mingw-w64 build, Wine runs and the oracles =="
# Skips itself (a "SKIP:" line) where Wine cannot be installed.
SOMBRELLA_NATIVE_BUILD="$top/build" "$top/scripts/windows-checks.sh"
