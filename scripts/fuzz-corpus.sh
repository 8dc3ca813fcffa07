#!/usr/bin/env bash
# Writes the fuzz targets' seed corpora into fuzz/corpus/<target>/ from the
# device simulator's output: short clips of every stream kind (behind the
# selector bytes each target reads first), their ".idx" indexes, the seed
# writers' pictures, sound and device requests, the registry the build writes.
# The corpora are kept small (a few frames at 176x144) and checked in; the
# fuzzers grow their own working copies (scripts/fuzz.sh).
#   scripts/fuzz-corpus.sh   (needs build/default, or TARVO_DEFAULT_BUILD=DIR, and
#                            the fuzz preset configured in build/fuzz)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
default=${TARVO_DEFAULT_BUILD:-$root/build/default}
sim=$default/tools/tvdevsim/tvdevsim
tvplay=$default/tools/tvplay/tvplay
fz=$root/build/fuzz/fuzz
out=$root/fuzz/corpus
cmake --build "$root/build/fuzz" --target fuzz_seed_writer fuzz_jp2k_seeds >/dev/null
for tool in "$sim" "$tvplay" "$fz/fuzz_seed_writer" "$fz/fuzz_jp2k_seeds"; do
  [[ -x $tool ]] || { echo "fuzz-corpus.sh: $tool is not built" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -rf "$out"
mkdir -p "$out"

# put TARGET NAME PREFIX-HEX FILE: FILE behind the prefix bytes (hex pairs).
put() {
  local dir=$out/$1
  mkdir -p "$dir"
  local prefix=$3 bytes=""
  while [[ -n $prefix ]]; do bytes+="\\x${prefix:0:2}"; prefix=${prefix:2}; done
  { printf "$bytes"; cat "$4"; } >"$dir/$2"
}

# kind, live-step configuration (FuzzSplitterLive), scanner (FuzzRecordScan),
# reader (FuzzRecordRead; 0x40 adds room for audio)
kinds=(
  "dev40 00 01 40" "dev36 00 01 40" "dev-d1 00 01 40" "jp2k 03 09 05"
  "es-mpeg2 04 04 -" "es-mpeg4 04 08 -" "es-h264 01 00 -" "ts-mpeg2 06 05 44"
  "ts-h264 07 02 44" "ts192-h264 08 03 44" "qbox-h264 09 06 41" "qbox-mjpeg 0a 07 43"
  "qbox-mjpeg-i 0a 07 43"
)
for entry in "${kinds[@]}"; do
  read -r kind live scan read <<<"$entry"
  size=176x144 frames=4
  # D1 is its only size: two frames keep its seeds small.
  [[ $kind == dev-d1 ]] && size=704x576 frames=2
  "$sim" --quiet --kind "$kind" --size "$size" --frames "$frames" --gop 2 --transport none --fast \
    --record "$work/$kind" >/dev/null
  clip=$(ls "$work/$kind".* | head -n1)
  put fuzz_detect "$kind" "" "$clip"
  put fuzz_splitter_live "$kind" "${live}082a00" "$clip"
  put fuzz_record_scan "$kind" "${scan}20" "$clip"
  [[ $read != - ]] && put fuzz_record_read "$kind" "$read" "$clip"
  case $kind in
  dev40 | dev36 | dev-d1)
    put fuzz_framequeue "$kind" "2a00" "$clip"
    put fuzz_live "$kind" "10" "$clip"
    put fuzz_h264_receive "$kind" "" "$clip"
    ;;
  ts-*) put fuzz_tsparser "$kind" "" "$clip" ;;
  qbox-*) put fuzz_qbox "$kind" "" "$clip" ;;
  es-mpeg2) put fuzz_mpeg_video "$kind" "00" "$clip" ;;
  es-mpeg4) put fuzz_mpeg_video "$kind" "01" "$clip" ;;
  esac
  # The index the player builds for the clip, behind the clip's length.
  if "$tvplay" --index "$clip" >/dev/null 2>&1 && [[ -f $clip.idx || -f ${clip%.*}.idx ]]; then
    idx=$clip.idx
    [[ -f $idx ]] || idx=${clip%.*}.idx
    len=$(stat -c %s "$clip")
    hex=$(printf '%016x' "$len" | sed 's/\(..\)/\1 /g' | awk '{for (i = NF; i > 0; i--) printf "%s", $i}')
    put fuzz_record_index "$kind" "$hex" "$idx"
  fi
done

"$fz/fuzz_seed_writer" "$work/seeds" >/dev/null
for pair in "mjpeg fuzz_mjpeg_frame" "aac fuzz_audio_buffer" "voice fuzz_voice_frame" \
  "request fuzz_device_request" "response fuzz_protocol_response" \
  "records fuzz_overlay_records" "packet fuzz_overlay_packet"; do
  read -r from to <<<"$pair"
  mkdir -p "$out/$to"
  cp "$work/seeds/$from"/* "$out/$to/"
done
mkdir -p "$out/fuzz_jp2k_fields"
"$fz/fuzz_jp2k_seeds" "$out/fuzz_jp2k_fields" >/dev/null

# The registry the build writes (every module's entries).
reg=$default/registry.reg
[[ -f $reg ]] || reg=$(find "$default" -name '*.reg' | head -n1)
[[ -n $reg ]] && { mkdir -p "$out/fuzz_registry_text"; cp "$reg" "$out/fuzz_registry_text/modules.reg"; }

du -sh "$out"
for d in "$out"/*; do echo "$(basename "$d"): $(ls "$d" | wc -l) seeds"; done
