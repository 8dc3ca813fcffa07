#!/usr/bin/env bash
# Builds every fuzz target (the fuzz preset: clang, libFuzzer, ASan+UBSan) and
# runs each for SECONDS (default 60) from its seed corpus, with the limits the
# kit holds itself to: 10 s per input, 2 GB of memory. Prints one line per
# target (runs, coverage, features, corpus, findings) and keeps the findings
# in build/fuzz/findings/<target>/. Exits 1 when any target found something.
# Move an input whose fault is fixed into findings/<target>/fixed/ (its copy
# kept in fuzz/regressions/): it then no longer counts as a finding.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
# FUZZ_JOBS=N runs N targets at once (default 1).
# FUZZ_CLOCK=cpu makes SECONDS the CPU time each target gets rather than wall
# time: on a shared machine a target at low priority gets only part of a core,
# so it runs in stretches until its own CPU clock has reached SECONDS.
# Every stretch is appended to fuzz/ledger.tsv (date, target, wall s, CPU s,
# runs, cov, features, corpus, findings), which sums the CPU time each target
# has had over all runs. It lives in the tree, not in build/, so the hours
# survive a new checkout or machine: commit it after a run; with FUZZ_CLOCK=cpu a stretch lasts at most
# FUZZ_STRETCH seconds of wall time (default 600). With FUZZ_TOTAL=1 (and
# FUZZ_CLOCK=cpu) SECONDS is the total the ledger should reach: each target
# runs only for what it still lacks, the least fuzzed first, so shorter
# sessions add up to the goal.
# A time-out or slow unit is checked again by running the input alone: if it completes within the limit there, the starved process (not the
# input) was slow, and the input is moved to findings/<target>/starved/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
cd "$root"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null
fz=$root/build/fuzz/fuzz
ledger=$root/fuzz/ledger.tsv

targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
  mapfile -t targets < <(find "$fz" -maxdepth 1 -type f -executable -name 'fuzz_*' \
    ! -name 'fuzz_*seed*' -printf '%f\n' | sort)
fi

# CPU seconds the ledger holds for target $1.
ledger_cpu() {
  awk -F'\t' -v t="$1" '$2 == t { c += $4 } END { printf "%.0f", c }' \
    "$ledger" 2>/dev/null || echo 0
}

if [[ ${FUZZ_TOTAL:-0} == 1 ]]; then
  [[ ${FUZZ_CLOCK:-wall} == cpu ]] || { echo "FUZZ_TOTAL=1 needs FUZZ_CLOCK=cpu" >&2; exit 2; }
  mapfile -t targets < <(for t in "${targets[@]}"; do echo "$(ledger_cpu "$t") $t"; done |
    sort -n | awk '{ print $2 }')
fi

dict_for() {
  case $1 in
  fuzz_protocol_response | fuzz_device_request) echo "$root/fuzz/dict/protocol.dict" ;;
  fuzz_registry_text) echo "$root/fuzz/dict/registry.dict" ;;
  fuzz_record_index | fuzz_overlay_records | fuzz_voice_frame) ;;
  *) echo "$root/fuzz/dict/stream.dict" ;;
  esac
}

# Sets cpu_now to the CPU seconds (user + system) of the children this shell
# has waited for. `times` must run in this shell, not in a command
# substitution's subshell, whose children are its own.
children_cpu() {
  times >"$scratch"
  cpu_now=$(tail -n1 "$scratch" | awk '{
    t = 0
    for (i = 1; i <= 2; i++) { split($i, a, /[ms]/); t += a[1] * 60 + a[2] }
    printf "%.1f", t }')
}

# A time-out (or a unit libFuzzer reports as slow, over 10 s of wall time)
# found on a starved machine is not a fault if the input, run alone,
# completes using less than the limit of CPU time (libFuzzer's limit is wall
# time). Kept as a finding when it runs out of CPU or does not end in 2 minutes.
recheck_timeouts() {
  local t=$1 findings=$2 f before after
  for f in "$findings"/timeout-* "$findings"/slow-unit-*; do
    [[ -e $f ]] || continue
    children_cpu
    before=$cpu_now
    if timeout 120 "$fz/$t" -timeout=0 -rss_limit_mb=2048 -runs=1 "$f" >/dev/null 2>&1; then
      children_cpu
      if awk -v a="$cpu_now" -v b="$before" 'BEGIN { exit !(a - b < 10) }'; then
        mkdir -p "$findings/starved"
        mv "$f" "$findings/starved/"
      fi
    fi
  done
}

run_one() {
  local t=$1 seconds=$seconds
  if [[ ${FUZZ_TOTAL:-0} == 1 ]]; then
    seconds=$((seconds - $(ledger_cpu "$t")))
    if ((seconds < 60)); then
      printf '%-24s %s\n' "$t" "has its CPU time in the ledger already"
      return 0
    fi
  fi
  local work=$root/build/fuzz/corpus/$t findings=$root/build/fuzz/findings/$t
  local log=$root/build/fuzz/logs/$t.log
  mkdir -p "$work" "$findings" "$(dirname "$log")"
  [[ -d $root/fuzz/corpus/$t ]] && cp -n "$root/fuzz/corpus/$t"/* "$work/" 2>/dev/null || true
  local dict
  dict=$(dict_for "$t")
  local rc=0 cpu=0 wall=0 stretch start cpu_now scratch cpu_before runs=0 n cov=0 ft=0 found
  scratch=$(mktemp)
  : >"$log"
  while :; do
    stretch=$seconds
    if [[ ${FUZZ_CLOCK:-wall} == cpu ]]; then
      # Bounded stretches, each in the ledger as it ends, so that a run
      # stopped part-way loses at most one stretch.
      stretch=$(awk -v s="$seconds" -v c="$cpu" -v m="${FUZZ_STRETCH:-600}" \
        'BEGIN { r = s - c; r = r < 60 ? 60 : int(r); print (r > m ? m : r) }')
    fi
    local args=(-max_total_time="$stretch" -timeout=10 -rss_limit_mb=2048 -close_fd_mask=2
      -print_final_stats=1 -artifact_prefix="$findings/")
    [[ -n $dict ]] && args+=(-dict="$dict")
    start=$SECONDS
    cpu_before=$cpu
    "$fz/$t" "${args[@]}" "$work" >"$log.stretch" 2>&1 || rc=$?
    cat "$log.stretch" >>"$log"
    wall=$((wall + SECONDS - start))
    children_cpu
    cpu=$cpu_now
    recheck_timeouts "$t" "$findings"
    if [[ $rc -ne 0 ]] && [[ -z $(find "$findings" -maxdepth 1 -type f -print -quit) ]] &&
      grep -q 'ALARM: working on the last Unit' "$log.stretch"; then
      rc=0 # only a starved time-out, moved aside above
    fi
    n=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log.stretch" | grep -o '[0-9]*$' |
      awk '{ n += $1 } END { print n + 0 }')
    runs=$((runs + n))
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n1 | grep -o '[0-9]*' || echo 0)
    ft=$(grep -o 'ft: [0-9]*' "$log" | tail -n1 | grep -o '[0-9]*' || echo 0)
    # Only what lies in findings/<target>/ itself: its subdirectories hold inputs
    # set aside (starved/ above, fixed/ for faults already mended), which are no
    # finding of this run.
    found=$(find "$findings" -maxdepth 1 -type f | wc -l)
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$(date -u +%FT%TZ)" "$t" "$((SECONDS - start))" \
      "$(awk -v a="$cpu" -v b="$cpu_before" 'BEGIN { printf "%.1f", a - b }')" \
      "$n" "$cov" "$ft" "$(ls "$work" | wc -l)" "$found" >>"$ledger"
    [[ ${FUZZ_CLOCK:-wall} == cpu && $rc -eq 0 ]] || break
    awk -v s="$seconds" -v c="$cpu" 'BEGIN { exit !(c < s - 30) }' || break
  done
  rm -f "$scratch" "$log.stretch"
  printf '%-24s %6ss %7ss %12s %7s %8s %7s %8s  %s\n' "$t" "$wall" "$cpu" "$runs" "$cov" "$ft" \
    "$(ls "$work" | wc -l)" "$found" "$([[ $rc -eq 0 && $found -eq 0 ]] && echo ok || echo "FOUND (see $log)")"
}

printf '%-24s %7s %8s %12s %7s %8s %7s %8s  %s\n' target wall cpu runs cov features corpus findings result
export -f run_one dict_for children_cpu recheck_timeouts ledger_cpu
export root seconds fz ledger
printf '%s\n' "${targets[@]}" | xargs -P "${FUZZ_JOBS:-1}" -I{} bash -c 'run_one {}' | tee "$root/build/fuzz/summary.txt"
! grep -q FOUND "$root/build/fuzz/summary.txt"
