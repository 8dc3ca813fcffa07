#!/usr/bin/env bash
# The soak: eight simulated devices through lossy, reordering, corrupting and
# disconnecting links into eight players in one process, for MINUTES minutes
# (default 20), then a summary of stalls, reconnect times, memory growth and
# the threads and descriptors left after TP_Exit. Exits non-zero when the
# process crashed, a check failed or a target was missed (no stall, reconnect
# within 5 s, growth of at most 8 MiB, threads and descriptors back).
#
#   scripts/soak.sh [MINUTES] [PRESET]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
minutes=${1:-20}
preset=${2:-default}
bdir="$top/build/$preset"
cmake --build "$bdir" --target integration_test_player_soak >/dev/null
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
TV_SOAK_MINUTES="$minutes" "$bdir/tests/integration/integration_test_player_soak" \
  --gtest_filter='PlayerSoak.*' | tee "$log" || status=$?
if ((status > 128)); then
  echo "soak: the process died of signal $((status - 128))"
fi
if ! grep -q '^targets: met$' "$log" && ((status == 0)); then
  status=1
fi
exit "$status"
