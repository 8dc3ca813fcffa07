#!/usr/bin/env bash
# Builds every fuzz target (the fuzz preset: clang, libFuzzer, ASan+UBSan) and
# runs each for SECONDS (default 60) from its seed corpus, with the limits the
# kit holds itself to: 10 s per input, 2 GB of memory. Prints one line per
# target (runs, coverage, features, corpus, findings) and keeps the findings
# in build/fuzz/findings/<target>/. Exits 1 when any target found something.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
# FUZZ_JOBS=N runs N targets at once (default 1).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
cd "$root"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null
fz=$root/build/fuzz/fuzz

targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
  mapfile -t targets < <(find "$fz" -maxdepth 1 -type f -executable -name 'fuzz_*' \
    ! -name 'fuzz_*seed*' -printf '%f\n' | sort)
fi

dict_for() {
  case $1 in
  fuzz_protocol_response | fuzz_device_request) echo "$root/fuzz/dict/protocol.dict" ;;
  fuzz_registry_text) echo "$root/fuzz/dict/registry.dict" ;;
  fuzz_record_index | fuzz_overlay_records | fuzz_voice_frame) ;;
  *) echo "$root/fuzz/dict/stream.dict" ;;
  esac
}

run_one() {
  local t=$1
  local work=$root/build/fuzz/corpus/$t findings=$root/build/fuzz/findings/$t
  local log=$root/build/fuzz/logs/$t.log
  mkdir -p "$work" "$findings" "$(dirname "$log")"
  [[ -d $root/fuzz/corpus/$t ]] && cp -n "$root/fuzz/corpus/$t"/* "$work/" 2>/dev/null || true
  local args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -close_fd_mask=2
    -print_final_stats=1 -artifact_prefix="$findings/")
  local dict
  dict=$(dict_for "$t")
  [[ -n $dict ]] && args+=(-dict="$dict")
  local rc=0
  "$fz/$t" "${args[@]}" "$work" >"$log" 2>&1 || rc=$?
  local runs cov ft
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n1 | grep -o '[0-9]*' || echo 0)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -n1 | grep -o '[0-9]*' || echo 0)
  local found
  found=$(find "$findings" -type f | wc -l)
  printf '%-24s %6ss %12s %7s %8s %7s %8s  %s\n' "$t" "$seconds" "$runs" "$cov" "$ft" \
    "$(ls "$work" | wc -l)" "$found" "$([[ $rc -eq 0 && $found -eq 0 ]] && echo ok || echo "FOUND (see $log)")"
}

printf '%-24s %7s %12s %7s %8s %7s %8s  %s\n' target time runs cov features corpus findings result
export -f run_one dict_for
export root seconds fz
printf '%s\n' "${targets[@]}" | xargs -P "${FUZZ_JOBS:-1}" -I{} bash -c 'run_one {}' | tee "$root/build/fuzz/summary.txt"
! grep -q FOUND "$root/build/fuzz/summary.txt"
