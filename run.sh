#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job on the bundled sample data.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
# The sample is USD/CHF at 30-minute steps with four decimals: chart sizes suited to its moves,
# the first third of the file as history, the rest traded.
./build/bin/kmr-replay --defaults --history-till "1997-12-01 00:00:00" \
  --tick-size 0.0001 --tick-value 10 --deal-size 1 --spread 0.0002 \
  --trend h200,t100,x50,25,12 --consider-first 3 --entry 20,o40,t60 --flags 5 \
  data/USDCHF_30min_19960401-20010330.txt
