#!/usr/bin/env bash
# Builds Quarn and starts it on the DEMO database, its browser window open
# with the tables listed (--start DEMO; a database file or --open given as an
# argument is opened instead). On a fresh machine it installs what is missing
# first; the DEMO database (demo.sqlite beside the program) is made from the
# project's SQL scripts in sql/ when it is not there yet.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/deps.sh

quarn_install_deps
# only what is started here: the tests and benchmarks are test.sh's business
quarn_build quarn quarn-report

quarn=build/bin/quarn
"$quarn" --create-demo

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "Нет дисплея (DISPLAY не задан). Окно программы можно посмотреть снимком:" >&2
  echo "  scripts/screenshot.sh /tmp/quarn.png --start DEMO" >&2
  exit 1
fi
exec "$quarn" --start DEMO "$@"
