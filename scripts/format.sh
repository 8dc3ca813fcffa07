#!/usr/bin/env bash
# Formats the tree's C and C++ sources with the repository's .clang-format.
#   scripts/format.sh          rewrite every file that differs
#   scripts/format.sh --check  list the files that differ and exit 1 if any does
#   scripts/format.sh FILE...  format only the files named
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
check=0
if [[ "${1:-}" == "--check" ]]; then
  check=1
  shift
fi
fmt=${CLANG_FORMAT:-clang-format}
if ! command -v "$fmt" >/dev/null; then
  echo "format: $fmt not found (apt-get install clang-format)" >&2
  exit 2
fi
if (($#)); then
  files=("$@")
else
  mapfile -t files < <(git ls-files -- '*.c' '*.cpp' '*.h' '*.hpp')
fi
bad=0
for f in "${files[@]}"; do
  [[ -f "$f" ]] || continue
  if ((check)); then
    if ! "$fmt" --style=file "$f" | cmp -s - "$f"; then
      echo "format: $f differs from .clang-format (run scripts/format.sh $f)"
      bad=1
    fi
  else
    "$fmt" --style=file -i "$f"
  fi
done
exit $bad
