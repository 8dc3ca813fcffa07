#!/usr/bin/env bash
# Installs, builds and runs the whole test suite. A preset name may be given
# (default "default"; asan and tsan run the same tests under the sanitizers).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
preset=${1:-default}
bdir=$("$top/scripts/build.sh" "$preset")
cd "$bdir"
ctest --output-on-failure -j "$(nproc)" --timeout 300
