#!/usr/bin/env bash
# Runs one fuzz target for a while under the sanitizers:
#
#   scripts/fuzz.sh TARGET SECONDS
#
# TARGET is one of template (the template compiler), printcodes (the
# viewer's reading of an output file and its print codes), fmt (the .FMT
# reader), grd (the .GRD reader), sqltext (the statement splitter and the
# SQL text readers) and searchsql (the SQL written from search values, marks
# and builder rows). With clang and its libFuzzer runtime (installed here
# when missing, as root) the target is built in build-libfuzzer/ and
# libFuzzer drives it, guided by coverage, from the seeds in
# fuzz/corpus/TARGET; a crash leaves its input as crash-* in
# build-libfuzzer/fuzz-TARGET. Without clang the target is built in
# build-sanitize/ with the plain mutation driver, which leaves a crashing
# input in build-sanitize/fuzz-TARGET/fuzz-current-input.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -ne 2 ]; then
  echo "usage: $0 template|printcodes|fmt|grd|sqltext|searchsql SECONDS" >&2
  exit 2
fi
target=$1
seconds=$2
[ -d "fuzz/corpus/$target" ] || { echo "unknown target: $target" >&2; exit 2; }
. scripts/deps.sh
quarn_install_deps
if [ "$(id -u)" -eq 0 ] && ! dpkg-query -W -f='${Status}' clang libclang-rt-14-dev 2>/dev/null | grep -q "install ok installed.*install ok installed"; then
  apt-get install -y -qq --no-install-recommends clang libclang-rt-14-dev >/dev/null 2>&1 || true
fi
corpus=$(pwd)/fuzz/corpus/$target
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
if command -v clang++ >/dev/null && ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
  CXX=clang++ cmake -G Ninja -S . -B build-libfuzzer -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARN_FUZZ=ON \
    -DQUARN_LIBFUZZER=ON -DQUARN_TESTS=OFF -DQUARN_BENCH=OFF >/dev/null
  nice -n 10 cmake --build build-libfuzzer -j "$(nproc)" --target "fuzz_$target"
  work="build-libfuzzer/fuzz-$target"
  mkdir -p "$work/corpus"
  cd "$work"
  QT_QPA_PLATFORM=offscreen "../fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 corpus "$corpus"
else
  cmake -G Ninja -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARN_SANITIZE=ON -DQUARN_FUZZ=ON >/dev/null
  nice -n 10 cmake --build build-sanitize -j "$(nproc)" --target "fuzz_$target"
  work="build-sanitize/fuzz-$target"
  mkdir -p "$work"
  cd "$work"
  QT_QPA_PLATFORM=offscreen "../fuzz/fuzz_$target" "$seconds" "$corpus"
fi
