#!/usr/bin/env bash
# Builds every benchmark of the project (bench/bench_*.cpp, the default
# preset's optimised flags), runs each one under a virtual X server of its own
# (so the X11 figures run too, and the server's CPU can be read apart), and
# prints one table: figure, target, measured, ratio, met or not.
#
#   scripts/bench.sh [--repeat N] [--seconds S] [--filter REGEX] [--only REGEX]
#                    [--out FILE]
#
#   --repeat N   runs of each benchmark (default 1); with more than one the
#                table gives the median and the spread (lowest..highest)
#   --seconds S  seconds of stream each live run plays (default 8)
#   --filter R   only the benchmark programs whose name matches R
#   --only R     within them, only the benchmarks whose name matches R
#   --out FILE   also write the table, with the date and the CPU model, to FILE
#
# Every figure is a ratio to a floor measured in the same run (a memcpy of the
# same bytes, libavcodec decoding the same pictures with one thread) or a
# count; absolute times on a shared machine vary from run to run. Benchmarks
# are not tests: nothing here fails a build.
set -euo pipefail

repeat=1
seconds=8
filter=.
only=.
out=
while [ $# -gt 0 ]; do
    case "$1" in
    --repeat) repeat=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --filter) filter=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    -h | --help) sed -n '2,22p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "bench.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/default"
cd "$root"

programs=()
for source in bench/bench_*.cpp; do
    name=$(basename "$source" .cpp)
    if [[ $name =~ $filter ]]; then
        programs+=("$name")
    fi
done
if [ ${#programs[@]} -eq 0 ]; then
    echo "bench.sh: no benchmark matches $filter" >&2
    exit 2
fi

cmake --preset default >/dev/null
cmake --build "$build" --target "${programs[@]}"

results=$(mktemp -d)
xvfb_pid=
cleanup() {
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$results"
}
trap cleanup EXIT

# A virtual X server of our own, so its process id is known.
if command -v Xvfb >/dev/null; then
    for n in $(seq 90 140); do
        if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
            Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
            xvfb_pid=$!
            for _ in $(seq 50); do
                [ -e "/tmp/.X11-unix/X$n" ] && break
                sleep 0.1
            done
            export DISPLAY=":$n" TV_BENCH_XSERVER_PID=$xvfb_pid
            break
        fi
    done
fi
export TV_BENCH_SECONDS=$seconds

for name in "${programs[@]}"; do
    echo "== $name" >&2
    # Short runs: the table compares ratios, not absolute times.
    if ! "$build/bench/$name" --benchmark_min_time=0.2 --benchmark_repetitions="$repeat" \
        --benchmark_filter="$only" \
        --benchmark_format=json --benchmark_out="$results/$name.json" \
        --benchmark_out_format=json >/dev/null 2>"$results/$name.log"; then
        echo "   $name failed (its output: $results/$name.log kept below)" >&2
        tail -5 "$results/$name.log" >&2 || true
    fi
done

cpu=$(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //')
table=$(python3 "$root/scripts/bench_table.py" "$results" "$repeat")
header="Benchmarks of $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $cpu; $repeat run(s) each, $seconds s of stream a live run"
echo "$header"
echo "$table"
if [ -n "$out" ]; then
    {
        echo "$header"
        echo
        echo "$table"
    } >"$out"
fi
