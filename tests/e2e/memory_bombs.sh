#!/usr/bin/env bash
# Peak memory of the demo over hostile data files: bitmaps and TGA textures
# whose headers promise far more pixels than any texture holds, files of a
# gigabyte (sparse), a scene of a million sibling frames. Prints one line per
# case with the peak resident set size (/usr/bin/time -v) and the exit status;
# every peak must stay under 256 MB.
# Usage: memory_bombs.sh BIN_DIR FUZZ_SEEDS_DIR [PROGRAM]
#   MEASURE_ONLY=1 prints the figures without judging them (for older builds).
set -u
bin=$(cd "$1" && pwd); seeds=$(cd "$2" && pwd); program=$(realpath "${3:-$bin/sombrella}")
[ -x /usr/bin/time ] || { echo "SKIP: /usr/bin/time is not installed"; exit 0; }
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy SOMBRELLA_NO_DIALOGS=1 SOMBRELLA_QUIT_AFTER_FRAMES=3
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
limit_kb=$((256 * 1024))
failures=0
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT

tga_header() {  # width height bits type
  python3 -c "import struct,sys; sys.stdout.buffer.write(struct.pack('<BBBHHBHHHHBB',0,0,$4,0,0,0,0,0,$1,$2,$3,0x20))"
}

run_case() {  # name, then a command that prepares "$dir"
  local name="$1" dir="$work/$1" peak status
  shift
  mkdir -p "$dir"
  cp "$bin"/zel.xm "$bin"/vo.x "$bin"/building.bmp "$bin"/plaza.tga "$dir"/
  ( cd "$dir" && "$@" )
  ( cd "$dir" && timeout 120 /usr/bin/time -v "$program" ) > "$dir/out" 2> "$dir/err"
  status=$(sed -n 's/.*Exit status: //p' "$dir/err")
  peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$dir/err")
  printf '%s: peak RSS %d MB, exit status %s\n' "$name" $(( ${peak:-0} / 1024 )) "${status:-killed}"
  if [ -z "${MEASURE_ONLY:-}" ] && { [ -z "$peak" ] || [ "$peak" -ge "$limit_kb" ] || [ -z "$status" ]; }; then
    failures=$((failures + 1))
  fi
  rm -rf "$dir"
}

rle_bomb() { cp "$seeds/bmp/seeds/bomb_rle8_16384.bmp" building.bmp; }
bmp_16383() { head -c 54 "$seeds/bmp/seeds/bomb_32bit_16383.bmp" > building.bmp; truncate -s $((54 + 16383 * 16383 * 4)) building.bmp; }
tga_gib() { tga_header 16384 16384 32 2 > plaza.tga; truncate -s $((1 << 30)) plaza.tga; }
tga_4096_gib() { tga_header 4096 4096 32 2 > plaza.tga; truncate -s $((1 << 30)) plaza.tga; }
tga_65535() { cp "$seeds/tga/corpus/bomb_65535.tga" plaza.tga; }
tga_dir() { rm plaza.tga; mkdir plaza.tga; }
siblings() { python3 -c "
import sys
w=sys.stdout.write
w('xof 0302txt 0032\nFrame top {\n')
for i in range(1000000): w('Frame f%d {}\n' % i)
w('}\n')" > vo.x; }
normal() { :; }

run_case "the demo's own files" normal
run_case "RLE8 building.bmp of 33 KB declaring 16384x16384" rle_bomb
run_case "building.bmp of 16383x16383x32 (1 GiB, sparse)" bmp_16383
run_case "plaza.tga of 16384x16384x32 in 1 GiB (sparse)" tga_gib
run_case "plaza.tga of 4096x4096x32 in 1 GiB (sparse)" tga_4096_gib
run_case "plaza.tga header 65535x65535 RLE, 1 KB" tga_65535
run_case "plaza.tga a directory" tga_dir
run_case "vo.x of 1M sibling frames (16 MB)" siblings
[ "$failures" -eq 0 ] || { echo "$failures case(s) over 256 MB or killed"; exit 1; }
echo "ok"
