#!/usr/bin/env bash
# Builds the Debian package from a built tree, installs it, runs the demo
# headless from it and removes it again, checking nothing is left behind.
# Usage: check-deb.sh BUILD_DIR   (installing needs root)
set -euo pipefail
build="$1"
rm -f "$build"/sombrella_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/sombrella_*.deb)
echo "package: $deb"
dpkg-deb --info "$deb" | sed -n 's/^ *\(Package\|Version\|Depends\):/  &/p'
if [ "$(id -u)" -ne 0 ]; then echo "not root: the package is built but not installed"; exit 0; fi
if dpkg-query -W sombrella >/dev/null 2>&1; then echo "sombrella is already installed here: not touched"; exit 0; fi
dpkg -i "$deb" >/dev/null
trap 'dpkg -r sombrella >/dev/null 2>&1 || true' EXIT
command -v sombrella >/dev/null
work=$(mktemp -d)
(cd "$work" && SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy sombrella --quit-after 30)
rm -rf "$work"
files=$(dpkg -L sombrella | while read -r f; do [ -f "$f" ] && echo "$f"; done)
dpkg -r sombrella >/dev/null
trap - EXIT
for f in $files; do [ ! -e "$f" ] || { echo "left behind: $f"; exit 1; }; done
echo "ok: the package installs, runs and removes cleanly"
