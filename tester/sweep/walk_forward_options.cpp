#include "tester/sweep/walk_forward_options.h"

#include "tester/replay/replay_options.h"

namespace kmr {

namespace {

// The options walk-forward sets for every run itself.
const char* const kWindowOptions[] = {"history-from", "history-till", "trade-till"};

}  // namespace

WalkForwardPeriods ParseWalkForwardOptions(const SweepOptions& options) {
  if (options.train.empty() || options.test.empty())
    throw WalkForwardError("--walk-forward needs --train D and --test D");
  if (options.shard) throw WalkForwardError("--shard is not for --walk-forward");
  WalkForwardPeriods wanted;
  wanted.train = ParseDuration("--train", options.train);
  wanted.test = ParseDuration("--test", options.test);
  wanted.step = options.step.empty() ? wanted.test : ParseDuration("--step", options.step);
  wanted.warmup = options.warmup.empty() ? wanted.test : ParseDuration("--warmup", options.warmup);
  wanted.anchored = options.anchored;
  ReplayOptions replay;
  try {
    replay = ParseReplayOptions(options.baseArgs);
  } catch (const OptionError& error) {
    throw WalkForwardError(error.what());
  }
  if (replay.historyFrom || replay.historyTill || replay.tradeTill)
    throw WalkForwardError(
        "--history-from, --history-till and --trade-till are set per window by --walk-forward");
  for (const SweepAxis& axis : options.axes)
    for (const char* name : kWindowOptions)
      if (axis.name == name)
        throw WalkForwardError("--vary " + axis.name + ": set per window by --walk-forward");
  return wanted;
}

void CheckWalkForwardRuns(const SweepOptions& options, std::size_t windows) {
  const std::uint64_t grid = options.samples ? *options.samples : GridSize(options.axes);
  if (windows > 0 && grid > kMaxSweepRuns / windows)
    throw WalkForwardError("--walk-forward: " + std::to_string(windows) + " windows of " +
                           std::to_string(grid) + " runs each make more than " +
                           std::to_string(kMaxSweepRuns) + " in-sample runs");
}

}  // namespace kmr
