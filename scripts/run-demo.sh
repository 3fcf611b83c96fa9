#!/usr/bin/env bash
# Installs what is missing, builds, and runs the demo from its own folder.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/scripts/install-deps.sh"
cmake -S "$top" -B "$top/build" -DCMAKE_BUILD_TYPE=Release -DSOMBRELLA_BENCH=OFF >/dev/null
cmake --build "$top/build" --target sombrella -j"$(nproc)"
cd "$top/build/bin"
exec ./sombrella "$@"
