// The command line of kmr-sweep.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tester/sweep/sweep_axes.h"

namespace kmr {

// --shard K/N: the K-th (from 0) of N interleaved slices of the run list.
using SweepShard = std::pair<std::uint64_t, std::uint64_t>;

struct SweepOptions {
  std::vector<std::string> baseArgs;  // every kmr-replay option and the price file, in order
  std::string priceFile;
  std::string library;  // --library among the base options
  std::vector<SweepAxis> axes;
  std::optional<std::uint64_t> samples;
  std::uint64_t seed = 1;
  int jobs = 0;  // 0: one per core
  std::string out = "sweep.jsonl";
  std::string rankBy = "netProfit";
  std::size_t top = 10;
  std::optional<SweepShard> shard;
  bool merge = false;
  std::vector<std::string> mergeFiles;
  bool priceCache = true;  // --no-price-cache: every run reads the price file itself
  bool help = false;
  // Walk-forward analysis: the durations as given.
  bool walkForward = false;
  std::string train, test, step, warmup;
  bool anchored = false;
};

// Throws SweepOptionError naming the option. Base options are checked as kmr-replay checks
// them; the price file must be given and readable (except with --merge or --help).
SweepOptions ParseSweepOptions(const std::vector<std::string>& args);

// The runs of the sweep: the whole grid or its sample, every one (all shards).
std::vector<SweepRun> SweepRunsOf(const SweepOptions& options);

extern const char* const kSweepHelp;

}  // namespace kmr
