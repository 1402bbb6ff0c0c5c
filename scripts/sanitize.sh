#!/usr/bin/env bash
# Builds Quarn with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-sanitize/ (the fuzz targets too) and runs the whole test suite
# there, against a throwaway PostgreSQL server as test.sh does. Any memory
# error or undefined behaviour fails the test that met it.
#
# Leak checking is off: Qt's font and plugin caches live until exit and
# would bury real findings.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
. scripts/pg.sh

quarn_install_deps
cmake -G Ninja -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARN_SANITIZE=ON -DQUARN_FUZZ=ON
nice -n 10 cmake --build build-sanitize -j "$(nproc)"

quarn_pg_start

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd build-sanitize
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)" --timeout 1800 "$@"
