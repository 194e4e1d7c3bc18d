// A whole kmr-sweep --walk-forward: the plan over the price file, the grid on every training
// period (one run list on all workers), the best of each on its test period, the report.
#pragma once

#include <cstdio>

#include "tester/sweep/sweep_options.h"

namespace kmr {

// Returns the exit status (as kmr-sweep's). The windows table goes to `out`; notes and errors
// to `err`.
int RunWalkForward(const SweepOptions& options, std::FILE* out, std::FILE* err);

}  // namespace kmr
