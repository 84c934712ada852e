#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) in build-fuzz/ and runs each
# for SECONDS (default 60), two at a time; the corpus is kept between runs. A crash,
# leak, hang (10 s) or blow-up (2 GiB) fails and leaves its input in
# build-fuzz/tests/conversion/core/fuzz/artifacts/: copy it into
# tests/conversion/core/fuzz/regressions/<target>/ for the suite to replay.
#   bash scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
jobs=$(nproc)

export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/sanitizers/lsan.supp}

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DTESSAVO_BUILD_GUI=OFF -DTESSAVO_FUZZ=ON -DTESSAVO_SANITIZE=address,undefined \
  -DTESSAVO_FUZZ_SECONDS="$seconds"
cmake --build build-fuzz --parallel "$jobs" --target tessavo_fuzz_all
status=0
ctest --test-dir build-fuzz --output-on-failure --parallel 2 -L fuzz || status=$?
# libFuzzer's closing figures per target: executions, coverage, corpus.
log=build-fuzz/Testing/Temporary/LastTest.log
grep -E '^[0-9]+/[0-9]+ Test: |stat::number_of_executed_units|stat::peak_rss_mb|^#[0-9]+ *DONE|replayed' "$log" || true
exit $status
