#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job on the bundled sample data.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
mkdir -p build/run
KMR_NO_WINDOW=${KMR_NO_WINDOW:-1} ./build/bin/conformance_host build/bin/KMRLibrary.so \
  data/USDCHF_30min_19960401-20010330.txt build/run
