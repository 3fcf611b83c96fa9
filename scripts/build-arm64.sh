#!/usr/bin/env bash
# Cross-builds for 64-bit Arm Linux into build-arm64/ with Debian's
# g++-aarch64-linux-gnu and runs what it built under qemu-user:
#   scripts/build-arm64.sh [--test] [target...]
# Without targets it builds the demo (with its data files, made by the arm64
# generators under qemu) and every GoogleTest program but the end-to-end one.
# --test then runs each program under qemu from its folder of the build tree,
# and the demo headless for three frames; given SOMBRELLA_NATIVE_BUILD (an
# x86-64 build with the demo built), those frames must equal its own byte for
# byte. The last line reads "arm64: N passed, N failed".
# The arm64 libraries come as Debian arm64 packages unpacked into
# build-arm64/sysroot: installing them through multiarch would tie the
# machine's own libraries to the versions the arm64 index has, which need not
# be the ones installed. A toolchain or those packages that cannot be had
# skip the whole run with a "SKIP:" line, never fail it.
# Idempotent: installs and downloads only what is missing, rebuilds only what changed.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
out="$top/build-arm64"
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
# The GoogleTest programs of the normal build, but the end-to-end one, which
# starts the demo as a process of its own (without binfmt_misc it would not
# start under qemu; the demo runs below instead). The benchmarks need OSMesa.
test_programs=()
for f in "$top"/tests/*/CMakeLists.txt; do
  case "$f" in */tests/e2e/*) continue ;; esac
  test_programs+=($(sed -n 's/^gtest_discover_tests(\([A-Za-z0-9_-]*\).*/\1/p' "$f"))
done
if [ ${#targets[@]} -eq 0 ]; then
  targets=(sombrella sombrella_music_data sombrella_scene_data "${test_programs[@]}")
fi
echo "== arm64 build: ${targets[*]} =="
cmake -S "$top" -B "$out/build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/aarch64-linux-gnu.cmake" \
  -DSOMBRELLA_ARM64_SYSROOT="$sysroot" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSOMBRELLA_BENCH=OFF >/dev/null
cmake --build "$out/build" -j"$jobs" --target "${targets[@]}"
if [ -f "$out/build/bin/sombrella" ] && command -v file >/dev/null; then
  file "$out/build/bin/sombrella" | sed "s/, BuildID.*//"
fi

[ "$run_tests" -eq 1 ] || exit 0

# --- the tests under qemu ----------------------------------------------------
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
qemu=(qemu-aarch64 -L "$sysroot")
logs="$out/logs"
rm -rf "$logs" && mkdir -p "$logs"
# Each program where CTest would run it: its own folder of the build tree.
# Death tests fork without exec ("fast"); the one that insists on the
# re-executing style stays out, as qemu-user cannot start an arm64 program that
# an arm64 program executes unless binfmt_misc is set up, which is the
# machine's business, not a build's.
# Nor the one that signals a child blocked in read() during start-up: under
# qemu-user the child leaves the read instead of ending by the signal.
export GTEST_FILTER="-FsoundTest.ExitWithoutCloseKeepsTheExitStatus:Signals.DuringStartUpTheyEndTheProcessEvenInABlockingCall"
# The device's golden pictures exactly as x86-64 draws them, not within the
# usual 8 levels.
export SOMBRELLA_GOLDEN_EXACT=1
run_one() {
  local name="$1" dir
  dir=$(dirname "$(grep -l "gtest_discover_tests($name[ )]" "$top"/tests/*/CMakeLists.txt | head -1)")
  dir="$out/build/tests/$(basename "$dir")"
  if (cd "$dir" && timeout 1200 qemu-aarch64 -L "$sysroot" "$out/build/bin/$name" --gtest_brief=1 \
        --gtest_death_test_style=fast) > "$logs/$name.log" 2>&1; then
    echo "PASS $name ($(sed -n 's/.*PASSED.* \([0-9]*\) tests\{0,1\}.*/\1/p' "$logs/$name.log") tests)"
  else
    echo "FAIL $name (status $?; $logs/$name.log)"
    sed -n '/FAILED\|Failure\|error/p' "$logs/$name.log" | head -20
  fi
}
export -f run_one
export top out logs sysroot
ran=()
for t in "${test_programs[@]}"; do
  [ -x "$out/build/bin/$t" ] && ran+=("$t")
done
echo "== arm64 tests under qemu: ${#ran[@]} programs =="
printf '%s\n' "${ran[@]}" | xargs -P "$jobs" -I{} bash -c 'run_one {}' | tee "$logs/summary.txt"
passed=$(grep -c '^PASS' "$logs/summary.txt" || true)
failed=$(grep -c '^FAIL' "$logs/summary.txt" || true)

# --- the demo itself, headless, a few frames on the virtual clock -----------
if [ -x "$out/build/bin/sombrella" ]; then
  frames="$logs/frames-arm64"
  mkdir -p "$frames"
  if (cd "$out/build/bin" && SOMBRELLA_FIXED_STEP_HZ=60 SOMBRELLA_QUIT_AFTER_FRAMES=3 SOMBRELLA_CAPTURE_DIR="$frames" \
        SOMBRELLA_CAPTURE_FRAMES=0-2 SOMBRELLA_NO_DIALOGS=1 timeout 600 "${qemu[@]}" ./sombrella) > "$logs/demo.log" 2>&1 &&
     [ -f "$frames/frame_000002.png" ]; then
    echo "PASS demo: 3 frames drawn"
    passed=$((passed + 1))
  else
    echo "FAIL demo ($logs/demo.log)"
    tail -5 "$logs/demo.log"
    failed=$((failed + 1))
  fi
  # Beside the x86-64 build, the same frames byte for byte.
  native="${SOMBRELLA_NATIVE_BUILD:-}"
  if [ -n "$native" ] && [ -x "$native/bin/sombrella" ] && [ -f "$frames/frame_000002.png" ]; then
    ref="$logs/frames-native"
    mkdir -p "$ref"
    (cd "$native/bin" && SOMBRELLA_FIXED_STEP_HZ=60 SOMBRELLA_QUIT_AFTER_FRAMES=3 SOMBRELLA_CAPTURE_DIR="$ref" \
       SOMBRELLA_CAPTURE_FRAMES=0-2 SOMBRELLA_NO_DIALOGS=1 timeout 120 ./sombrella) > "$logs/demo-native.log" 2>&1 || true
    same=1
    for f in "$ref"/frame_*.png; do cmp -s "$f" "$frames/$(basename "$f")" || same=0; done
    if [ "$same" -eq 1 ] && [ -f "$ref/frame_000002.png" ]; then
      echo "PASS demo frames 0-2 identical to x86-64's"
      passed=$((passed + 1))
    else
      echo "FAIL demo frames differ from x86-64's ($frames, $ref)"
      failed=$((failed + 1))
    fi
  fi
fi
echo "arm64: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
