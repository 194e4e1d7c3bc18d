// A whole kmr-sweep: the runs not yet in the results file, run and appended as they finish,
// then both results files rewritten in run order and the best runs printed; or the merge of
// shard files into the one result.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "tester/sweep/sweep_options.h"
#include "tester/sweep/sweep_results.h"
#include "tester/sweep/sweep_runner.h"

namespace kmr {

inline constexpr int kSweepExitBadInput = 2;
inline constexpr int kSweepExitNoLibrary = 3;

// Returns the exit status. The table goes to `out`, notes, errors and progress to `err`
// (progress only when `err` is a terminal).
int RunSweep(const SweepOptions& options, std::FILE* out, std::FILE* err);
int MergeSweepShards(const SweepOptions& options, std::FILE* out, std::FILE* err);

// The runs of `runs` that the results file `path` does not hold yet, run and appended to it
// one whole line each as they finish; `rows` gets the file's rows and the new ones, in run
// order. Rows of another sweep, or (with `shard`) of another shard, are refused. Returns 0, or
// the exit status after a line on `err`; progress goes to `err` when it is a terminal.
int RunMissingRuns(const std::string& path, const std::vector<SweepRun>& runs,
                   const SweepExec& exec, const std::optional<SweepShard>& shard,
                   std::vector<ResultRow>& rows, std::FILE* err);

}  // namespace kmr
