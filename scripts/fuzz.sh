#!/usr/bin/env bash
# Runs one fuzz target for a while under the sanitizers:
#
#   scripts/fuzz.sh TARGET SECONDS
#
# TARGET is one of template (the template compiler), printcodes (the
# viewer's reading of an output file and its print codes), fmt (the .FMT
# reader) and grd (the .GRD reader). The target is built in build-sanitize/
# (as scripts/sanitize.sh does) and fed its seeds from fuzz/corpus/TARGET
# and mutations of them. A crash stops the run and leaves the input that
# caused it in build-sanitize/fuzz-TARGET/fuzz-current-input.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -ne 2 ]; then
  echo "usage: $0 template|printcodes|fmt|grd SECONDS" >&2
  exit 2
fi
target=$1
seconds=$2
[ -d "fuzz/corpus/$target" ] || { echo "unknown target: $target" >&2; exit 2; }
. scripts/deps.sh
quarn_install_deps
cmake -G Ninja -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARN_SANITIZE=ON -DQUARN_FUZZ=ON >/dev/null
nice -n 10 cmake --build build-sanitize -j "$(nproc)" --target "fuzz_$target"

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
work="build-sanitize/fuzz-$target"
mkdir -p "$work"
corpus=$(pwd)/fuzz/corpus/$target
cd "$work"
QT_QPA_PLATFORM=offscreen "../fuzz/fuzz_$target" "$seconds" "$corpus"
