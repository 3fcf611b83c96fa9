#!/usr/bin/env bash
# Cross-builds a static libopenmpt for Windows from Debian's own source
# package (Debian ships no mingw libopenmpt), as small as fmod.dll needs:
# the player core and the loaders of the formats the music library takes
# (MOD, S3M, XM, IT); no zlib, mpg123, ogg or vorbis.
#   build-libopenmpt-windows.sh <work dir> <arch: i686|x86_64>...
# Leaves <work dir>/<arch>/lib/libopenmpt.a and <work dir>/<arch>/include.
# Idempotent: a finished prefix is kept; the source is fetched once.
set -euo pipefail
work="$(mkdir -p "$1" && cd "$1" && pwd)"
shift
[ $# -gt 0 ] || { echo "usage: $0 <work dir> <arch>..." >&2; exit 2; }
jobs="$(nproc)"

src="$work/src"
if [ ! -f "$src/libopenmpt/libopenmpt.h" ]; then
  # apt-get source wants deb-src entries; ours live in a private apt state
  # (built from the system's own deb entries), so the system's is untouched.
  apt="$work/apt"
  mkdir -p "$apt/sources.d" "$apt/lists/partial" "$work/download"
  found=0
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    sed -e 's/^Types:.*/Types: deb-src/' "$f" > "$apt/sources.d/$(basename "$f")"
    found=1
  done
  if [ -f /etc/apt/sources.list ]; then
    grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' > "$apt/sources.d/plain.list" || true
    [ -s "$apt/sources.d/plain.list" ] && found=1
  fi
  [ "$found" = 1 ] || { echo "no apt sources to derive deb-src entries from" >&2; exit 1; }
  opts=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$apt/sources.d"
        -o "Dir::State::Lists=$apt/lists" -o APT::Sandbox::User=root)
  # A source index that fails to come is not fatal as long as the package comes.
  apt-get "${opts[@]}" update -qq || echo "apt-get update reported errors; trying the download anyway"
  (cd "$work/download" && apt-get "${opts[@]}" source --download-only -qq libopenmpt)
  rm -rf "$src.tmp"
  dpkg-source -x --skip-debianization "$(ls "$work"/download/libopenmpt_*.dsc | head -1)" "$src.tmp" >/dev/null
  mv "$src.tmp" "$src"
fi

# The loader table keeps only the formats the music library takes.
keep='XM|IT|S3M|MOD|M15'
sources=()
for f in "$src"/common/*.cpp "$src"/sounddsp/*.cpp "$src"/soundlib/*.cpp "$src"/soundlib/plugins/*.cpp \
         "$src"/soundlib/plugins/dmo/*.cpp "$src"/libopenmpt/libopenmpt_c.cpp \
         "$src"/libopenmpt/libopenmpt_cxx.cpp "$src"/libopenmpt/libopenmpt_impl.cpp \
         "$src"/libopenmpt/libopenmpt_ext_impl.cpp; do
  case "$(basename "$f")" in
    # AMS and DMF also hold sample unpackers the common sample reader calls.
    Load_xm.cpp|Load_it.cpp|Load_s3m.cpp|Load_mod.cpp|Load_ams.cpp|Load_dmf.cpp) sources+=("$f") ;;
    Load_*.cpp|load_*.cpp|Sndfile.cpp) ;;
    *) sources+=("$f") ;;
  esac
done

# One object per source, named by its path; objects already there are kept.
compile_one() {
  local o
  o="$SOMBRELLA_OBJ/$(echo "$1" | md5sum | cut -c1-12).o"
  [ -f "$o" ] && return 0
  # shellcheck disable=SC2086
  $SOMBRELLA_CXX $SOMBRELLA_FLAGS -c "$1" -o "$o.tmp" && mv "$o.tmp" "$o"
}
export -f compile_one

for arch in "$@"; do
  prefix="$work/$arch"
  if [ -f "$prefix/lib/libopenmpt.a" ]; then
    echo "libopenmpt for $arch: already built"
    continue
  fi
  obj="$work/obj-$arch"
  mkdir -p "$obj"
  # Sndfile.cpp holds the loader table: drop the rows of formats left out.
  sed -E "/^\s*MPT_DECLARE_FORMAT\(/{/MPT_DECLARE_FORMAT\(($keep)\)/!d}" \
    "$src/soundlib/Sndfile.cpp" > "$obj/Sndfile.cpp"
  cxx="$arch-w64-mingw32-g++-posix"
  flags=(-std=c++17 -O2 -DNDEBUG -DLIBOPENMPT_BUILD -DMPT_PACKAGE=true -I"$src" -I"$src/src"
         -I"$src/common" -I"$src/build/svn_version" -I"$src/soundlib" -fvisibility=hidden -w)
  echo "libopenmpt for $arch: compiling $(( ${#sources[@]} + 1 )) files"
  export SOMBRELLA_OBJ="$obj" SOMBRELLA_CXX="$cxx" SOMBRELLA_FLAGS="${flags[*]}"
  printf '%s\n' "${sources[@]}" "$obj/Sndfile.cpp" | xargs -P "$jobs" -n 1 bash -c 'compile_one "$1"' _
  mkdir -p "$prefix/lib" "$prefix/include/libopenmpt"
  rm -f "$prefix/lib/libopenmpt.a.tmp"
  "$arch-w64-mingw32-ar" rcs "$prefix/lib/libopenmpt.a.tmp" "$obj"/*.o
  cp "$src"/libopenmpt/libopenmpt.h "$src"/libopenmpt/libopenmpt_config.h \
     "$src"/libopenmpt/libopenmpt_version.h "$prefix/include/libopenmpt/"
  mv "$prefix/lib/libopenmpt.a.tmp" "$prefix/lib/libopenmpt.a"
done
