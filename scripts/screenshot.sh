#!/usr/bin/env bash
# Starts Quarn on a virtual X display (Xvfb), optionally opens an alias and
# presses keys, and saves a PNG of what the screen shows of the program:
#
#   scripts/screenshot.sh OUT.png [--open ALIAS] [--keys KEYS] [--delay MS]
#
#   --open ALIAS  opens the database ALIAS as "Открыть..." would
#   --start ALIAS opens it with its tree of tables expanded, as run.sh starts
#   --keys KEYS   keys pressed one after another, comma-separated, as Qt
#                 names them: Return, Down, F6, Shift+F6, Alt+D, Ctrl+O ...
#   --delay MS    wait before the picture is taken (default 1500)
#   --preview FILE  shows a report output file in the preview window
#   --zoom N      its zoom: 0-3 for 30 % to 100 %, 4 for the whole page
#   --sql TEXT    an SQL editor on the opened alias runs TEXT (keys then go
#                 to its grid)
#
# Examples:
#   scripts/screenshot.sh /tmp/start.png --start DEMO
#   scripts/screenshot.sh /tmp/browser.png --open DEMO --keys Return
#   scripts/screenshot.sh /tmp/error.png --open NOSUCH --keys Alt+D
#   scripts/screenshot.sh /tmp/page.png --preview /tmp/invoices.prn --zoom 4
#   scripts/screenshot.sh /tmp/grid.png --open DEMO --sql "select * from CUSTOMERS" --keys F7
#
# The program is the one of build/ (QUARN_BIN names another); the DEMO
# database is made first when it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 1 ] || [[ "$1" == -* ]]; then
  sed -n '2,25p' "$0" | sed 's/^# \{0,1\}//'
  exit 2
fi
out=$(realpath -m "$1")
shift

bin=${QUARN_BIN:-build/bin/quarn}
if [ ! -x "$bin" ]; then
  echo "Нет программы $bin: сначала соберите её (./run.sh или ./test.sh)" >&2
  exit 1
fi
command -v xvfb-run >/dev/null || { echo "Нет xvfb-run: установите пакеты xvfb xauth" >&2; exit 1; }

"$bin" --create-demo >/dev/null

export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
xvfb-run -a -s "-screen 0 1280x900x24 -dpi 96" "$bin" --screenshot "$out" "$@"
echo "Снимок: $out"
