#!/usr/bin/env bash
# Installs what is needed, builds Tessavo (Release) and runs the whole test
# suite, then the packaging and hardening stages:
#   1. Release build, every CTest test                       (build/)
#   2. The Debian package: contents, metadata, an install
#      with apt-get and a run of /usr/bin/tessavo-convert    (build/)
#   3. AddressSanitizer + UndefinedBehaviorSanitizer, every
#      CTest test, halting on the first report              (build-asan/)
#   4. ThreadSanitizer, the state and run tests (Qt)         (build-tsan/)
#   5. libFuzzer (clang): each target for about a minute,
#      plus the replay of its corpus and regressions         (build-fuzz/)
# CI runs all five. For a quick local run, TESSAVO_QUICK=1 stops after
# the first stage; TESSAVO_STAGES="release asan tsan" picks stages by name
# (release, package, asan, tsan, fuzz). Longer fuzzing: bash scripts/fuzz.sh SECONDS.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

bash scripts/install-deps.sh
jobs=$(nproc)

stages=${TESSAVO_STAGES:-release package asan tsan fuzz}
[ "${TESSAVO_QUICK:-0}" = 1 ] && stages=release
wants() { [[ " $stages " == *" $1 "* ]]; }
stage_start() { stage_began=$SECONDS; echo "== stage $1"; }
stage_end() { echo "== stage $1 took $((SECONDS - stage_began)) s"; }

if wants release; then
  stage_start release
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
  cmake --build build --parallel "$jobs"
  ctest --test-dir build --output-on-failure --parallel "$jobs"
  stage_end release
fi

if wants package; then
  stage_start package
  [ -f build/CPackConfig.cmake ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
  cmake --build build --parallel "$jobs" --target tessavo tessavo-convert
  bash scripts/check-package.sh build
  stage_end package
fi

# Qt, fontconfig and the other system libraries are not instrumented; the
# suppression files name only frames inside them (see their comments).
supp=$repo/tests/sanitizers
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$supp/lsan.supp:print_suppressions=0
# die_after_fork=0: once a test has started a child with QProcess,
# ThreadSanitizer takes the test itself for a forked child and would end it
# at the next thread it starts (the bookmark store's writer).
export TSAN_OPTIONS=halt_on_error=1:exitcode=66:second_deadlock_stack=1:die_after_fork=0:suppressions=$supp/tsan.supp

if wants asan; then
  stage_start asan
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSAVO_SANITIZE=address,undefined
  cmake --build build-asan --parallel "$jobs"
  # The tests that load the window's QML.
  quick_tests='^(test_main_window(_2x|_de_DE|_fr_FR)?|test_file_intake|test_screen_reader)$'
  ctest --test-dir build-asan --output-on-failure --parallel "$jobs" -E "$quick_tests"
  cat "$supp/lsan.supp" "$supp/lsan-qtquick.supp" >build-asan/lsan-qtquick-combined.supp
  LSAN_OPTIONS=suppressions=$PWD/build-asan/lsan-qtquick-combined.supp:print_suppressions=0 \
    ctest --test-dir build-asan --output-on-failure --parallel "$jobs" -R "$quick_tests"
  stage_end asan
fi

if wants tsan; then
  stage_start tsan
  # The state and run tests: the jobs on the thread pool and their hand-off
  # to the GUI thread.
  tsan_tests=(test_conversion_run test_file_intake test_bookmark_store)
  cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSAVO_SANITIZE=thread
  cmake --build build-tsan --parallel "$jobs" --target "${tsan_tests[@]}"
  regex="^($(IFS='|'; echo "${tsan_tests[*]}"))\$"
  ctest --test-dir build-tsan --output-on-failure --parallel "$jobs" -R "$regex" -E '^test_file_intake$'
  # The intake's threads (the folder walk), without the case that loads the
  # window's QML: Qt Quick's own threads are not built for ThreadSanitizer.
  QT_QPA_PLATFORM=offscreen build-tsan/tests/intake/test_file_intake \
    pickerAndDropTakeTheSameNamesOnce foldersJoinInNameOrderAndEveryRefusalIsSaid foldersArriveInBatchesPastAStuckOne
  stage_end tsan
fi

if wants fuzz; then
  stage_start fuzz
  bash scripts/fuzz.sh "${TESSAVO_FUZZ_SECONDS:-60}"
  stage_end fuzz
fi
