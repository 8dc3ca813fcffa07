#!/usr/bin/env bash
# Installs what the build needs, then configures and builds one preset
# (default "default"; others: asan, tsan). Prints the build folder last.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
preset=${1:-default}
"$top/scripts/install-deps.sh" >&2
cd "$top"
cmake --preset "$preset" >&2
cmake --build --preset "$preset" -j "$(nproc)" >&2
echo "$top/build/$preset"
