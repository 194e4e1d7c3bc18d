#!/usr/bin/env bash
# Installs what is missing, builds both engine widths, the tester and the tests, runs every test.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j"$(nproc)"
