#!/usr/bin/env bash
# Installs what is missing, builds both engine widths, the tester and the tests, runs every test.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j"$(nproc)"

# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer (without the Qt
# windows, whose toolkit is not built for it).
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DKMR_SANITIZE=address,undefined \
  -DKMR_BUILD_GUI=OFF -DKMR_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j"$(nproc)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp" \
  ctest --test-dir build-asan --output-on-failure -j"$(nproc)"

# The host's thread against the engine window's thread under ThreadSanitizer: the exports racing
# the manual commands and paint snapshots, the real window on an Xvfb, also through unload and
# reload of the library. Only these test programs are built.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKMR_SANITIZE=thread \
  -DKMR_BUILD_GUI=OFF -DKMR_BUILD_BENCH=OFF >/dev/null
cmake --build build-tsan -j"$(nproc)" --target concurrency_tests window_tests \
  library_reload_tests
# (window_tests' other cases count the process's threads, and ThreadSanitizer adds one of its own.)
tsan() {
  TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp" \
    TZ=Europe/Zurich "$@"
}
KMR_NO_WINDOW=1 tsan build-tsan/bin/concurrency_tests
tsan build-tsan/bin/window_tests --gtest_filter='WindowConcurrency.*'
tsan build-tsan/bin/library_reload_tests

# Every fuzz target for a bounded time (clang, AddressSanitizer and UndefinedBehaviorSanitizer).
./scripts/fuzz "${KMR_FUZZ_SECONDS:-30}"
