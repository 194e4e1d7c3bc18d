// A whole kmr-sweep: the runs not yet in the results file, run and appended as they finish,
// then both results files rewritten in run order and the best runs printed; or the merge of
// shard files into the one result.
#pragma once

#include <cstdio>

#include "tester/sweep/sweep_options.h"

namespace kmr {

inline constexpr int kSweepExitBadInput = 2;
inline constexpr int kSweepExitNoLibrary = 3;

// Returns the exit status. The table goes to `out`, notes, errors and progress to `err`
// (progress only when `err` is a terminal).
int RunSweep(const SweepOptions& options, std::FILE* out, std::FILE* err);
int MergeSweepShards(const SweepOptions& options, std::FILE* out, std::FILE* err);

}  // namespace kmr
