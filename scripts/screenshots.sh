#!/bin/sh
# Screenshots of the property pages (each filter's pages in the Qt property
# frame) and of the console's pages, as PNG files in DIR (default
# /tmp/tarvo-screenshots), rendered under a virtual X server.
#
#   scripts/screenshots.sh [DIR]
#
# Build first (cmake --preset default && cmake --build --preset default); the
# programs come from build/default, or from $TARVO_BUILD when set.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=${TARVO_BUILD:-$here/build/default}
dir=${1:-/tmp/tarvo-screenshots}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

# Under a display of its own unless the caller already runs one for us.
if [ -z "${TARVO_SCREENSHOTS_X:-}" ]; then
    command -v xvfb-run >/dev/null || { echo "screenshots.sh: xvfb-run is missing (apt: xvfb)" >&2; exit 1; }
    TARVO_SCREENSHOTS_X=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$dir"
fi

status=0
pages=$build/tools/tvpages/tvpages
if [ -x "$pages" ]; then
    "$pages" --screenshots "$dir" || status=1
else
    echo "screenshots.sh: $pages is not built (it needs Qt 6: qt6-base-dev)" >&2
    status=1
fi

console=$build/console/vxconsole/vxconsole
if [ -x "$console" ]; then
    "$console" --screenshots "$dir" || status=1
else
    echo "screenshots.sh: $console is not built yet: the console's pages are skipped" >&2
fi

ls -1 "$dir"/*.png 2>/dev/null || true
exit $status
