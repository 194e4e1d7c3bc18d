// kmr-sweep's walk-forward options, checked against the rest of its command line: what a window
// plan and its runs are made from, before any file is read.
#pragma once

#include <cstddef>

#include "tester/sweep/sweep_options.h"
#include "tester/sweep/walk_forward_plan.h"

namespace kmr {

// --train, --test, --step and --warmup (both default to the test period) and --anchored.
// Throws WalkForwardError naming the option: a duration missing or bad, --shard, or
// --history-from, --history-till or --trade-till as a base option or an axis (walk-forward sets
// them per window).
WalkForwardPeriods ParseWalkForwardOptions(const SweepOptions& options);

// Throws WalkForwardError when `windows` training periods of the grid (or its sample) make
// more in-sample runs than a sweep may hold (kMaxSweepRuns).
void CheckWalkForwardRuns(const SweepOptions& options, std::size_t windows);

}  // namespace kmr
