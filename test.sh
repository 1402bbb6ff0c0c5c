#!/usr/bin/env bash
# Builds Quarn and runs every test. Installs missing packages first (as root).
set -euo pipefail
cd "$(dirname "$0")"
. scripts/deps.sh
. scripts/pg.sh

quarn_install_deps
quarn_build

# A throwaway PostgreSQL server for the data tests; it sets QUARN_PG_DSN and
# is stopped when this script ends, whether the tests pass or not.
quarn_pg_start

cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)"
