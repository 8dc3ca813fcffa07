#!/usr/bin/env bash
# Installs, builds and runs the main job: the player demo.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bdir=$("$top/scripts/build.sh" default)
exec "$bdir/tools/tvplay/tvplay" --demo "$@"
