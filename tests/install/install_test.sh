#!/usr/bin/env bash
# The installed tree: every file in place, the desktop entry and AppStream
# metainfo valid, the man page readable, and the launcher running the demo
# headless from another folder, a relative --record path landing there.
# Usage: install_test.sh BUILD_DIR
set -u
build="$1"
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null || fail "cmake --install"
root="$work/root/usr"
for f in bin/sombrella libexec/sombrella/sombrella share/sombrella/vo.x share/sombrella/building.bmp \
         share/sombrella/zel.xm share/applications/org.sombrella.Sombrella.desktop \
         share/metainfo/org.sombrella.Sombrella.metainfo.xml share/icons/hicolor/256x256/apps/sombrella.png \
         share/man/man6/sombrella.6; do
  [ -s "$root/$f" ] || fail "$f is not installed"
done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/share/applications/org.sombrella.Sombrella.desktop" || fail "desktop entry"
else echo "note: desktop-file-validate is not installed"; fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$root/share/metainfo/org.sombrella.Sombrella.metainfo.xml" || fail "metainfo"
else echo "note: appstreamcli is not installed"; fi
man -l "$root/share/man/man6/sombrella.6" 2>/dev/null | grep -q -- "--record-size" || fail "man page"
[ "$(identify -format '%wx%h' "$root/share/icons/hicolor/256x256/apps/sombrella.png" 2>/dev/null)" = 256x256 ] ||
  fail "icon size"
mkdir "$work/here"
( cd "$work/here" && SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy "$root/bin/sombrella" --quit-after 30 \
    --record clip.mkv ) || fail "the launcher's run"
[ -s "$work/here/clip.mkv" ] || fail "no recording in the starting folder"
echo "ok: installed tree valid and runs"
