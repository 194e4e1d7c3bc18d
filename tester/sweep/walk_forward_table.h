// The table kmr-sweep --walk-forward prints at its end, for people: a line per window, then
// the stitched out-of-sample figures.
#pragma once

#include <string>

#include "tester/sweep/walk_forward_report.h"

namespace kmr {

// Figures as the page shows them (two decimals; "-" where there is none), so that the table
// and the page read alike.
std::string WalkForwardTable(const WalkForwardReport& report);

}  // namespace kmr
