#!/usr/bin/env bash
# Seeds for fuzz_splitter_live from the device simulator's record files: one
# short clip per stream kind, behind the 4 bytes the fuzzer reads first (the
# live-step configuration, the sample size and the chunk seed).
#   scripts/fuzz-seeds.sh TVDEVSIM OUTDIR
set -euo pipefail
sim=${1:?usage: fuzz-seeds.sh path/to/tvdevsim outdir}
out=${2:?usage: fuzz-seeds.sh path/to/tvdevsim outdir}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# kind, configuration index of FuzzSplitterLive.cpp, picture size
seeds=(
  "dev40 0 176x144" "dev36 0 176x144" "dev-d1 0 704x576" "dev40 2 176x144"
  "jp2k 3 176x144" "es-mpeg2 4 176x144" "es-mpeg4 4 176x144" "es-h264 1 176x144"
  "es-h264 5 176x144" "ts-mpeg2 6 176x144" "ts-h264 7 176x144" "ts192-h264 8 176x144"
  "qbox-h264 9 176x144" "qbox-mjpeg 10 176x144" "qbox-mjpeg-i 10 176x144"
)
for entry in "${seeds[@]}"; do
  read -r kind config size <<<"$entry"
  "$sim" --quiet --kind "$kind" --size "$size" --frames 6 --gop 3 --transport none --fast \
    --record "$work/$kind" >/dev/null
  clip=$(ls "$work/$kind".* | head -n1)
  name="$out/$kind-$config"
  printf "\\x$(printf %02x "$config")\\x08\\x2a\\x00" >"$name"
  cat "$clip" >>"$name"
  rm -f "$clip"
done
ls -l "$out"
