#!/usr/bin/env bash
# Installs, builds and runs the whole test suite. A preset name may be given
# (default "default"; asan and tsan run the same tests under the sanitizers).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
preset=${1:-default}
bdir=$("$top/scripts/build.sh" "$preset")
cd "$bdir"
# Without a display the suite runs under a virtual X server when one is
# installed, so the video renderer's X11 path is tested too.
run=()
if [[ -z "${DISPLAY:-}" ]] && command -v xvfb-run >/dev/null; then
  run=(xvfb-run -a)
fi
status=0
"${run[@]}" ctest --output-on-failure -j "$(nproc)" --timeout 300 || status=$?
# The sources must match .clang-format; a difference fails the run after the
# tests have reported.
"$top/scripts/format.sh" --check || status=1
exit $status
