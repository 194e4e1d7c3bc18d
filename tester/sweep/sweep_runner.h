// Runs a list of kmr-replay runs on several worker processes and hands back one row per run.
// Every run is made in a process of its own, forked from one that has loaded the engine library
// but never called it, so each run starts from the engine's state right after loading, as a
// fresh kmr-replay does, and gives the same bytes whatever the number of workers or their order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "tester/connector/engine_api.h"
#include "tester/report/run_statistics.h"
#include "tester/source/price_cache.h"

namespace kmr {

// One run: its place in the sweep, the axis values that made it, and the whole kmr-replay
// argument list (without the program name).
struct SweepRun {
  std::size_t index = 0;
  std::vector<std::pair<std::string, std::string>> params;
  std::vector<std::string> replayArgs;
};

// The figures kmr-replay --json prints besides its log and statistics.
struct SweepFigures {
  long lines = 0, historyLines = 0, tradeLines = 0;
  bool usedHistoryBars = false;
  long historyBars = 0;
  double floatingProfit = 0, closedProfit = 0, maxDrawdown = 0, maxPosition = 0;
  int longDeals = 0, shortDeals = 0, openDeals = 0;
  double accountSize = kDefaultAccountSize;
};

struct SweepRow {
  std::size_t index = 0;
  std::vector<std::pair<std::string, std::string>> params;
  std::string file;     // the price file as the run named it
  std::string command;  // the kmr-replay command that reproduces the run (empty when none)
  bool ok = false;
  std::string error;  // why the run failed, when it did
  SweepFigures figures;
  RunStatistics statistics;
  std::string json;  // the row as one line of the results file, without its line feed
};

struct SweepExec {
  int jobs = 0;            // worker processes; 0: one per core
  std::string library;     // the engine library (empty: kmr-replay's default search)
  std::string sweepId;     // written into every row
  std::size_t sweepRuns = 0;  // how many runs the whole sweep holds (all shards), in every row
  bool priceCache = true;  // parse each price file once for all runs
};

// The engine library cannot be loaded or lacks an export; what() says why.
class SweepLibraryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Runs every run on `exec.jobs` workers, calling `onRow` on the calling thread as each run
// finishes (in the order they finish). A run that fails is a row with its error. Throws
// SweepLibraryError before any run when the library cannot be loaded.
void RunSweepRuns(const std::vector<SweepRun>& runs, const SweepExec& exec,
                  const std::function<void(const SweepRow&)>& onRow);

// One run in this process, against `engine` when the run names the library `engineLibrary`
// (else its own is loaded), its price file from `caches` when they hold it. The engine must be
// fresh: this is what a worker does.
SweepRow RunSweepRunHere(const SweepRun& run, const EngineApi* engine,
                         const std::string& engineLibrary, const SweepExec& exec,
                         const PriceCaches* caches = nullptr);

// Every price file the runs read (with the ask or without), each read once.
PriceCaches BuildPriceCaches(const std::vector<SweepRun>& runs);

// The row's line of the results file: one JSON object without line breaks.
std::string SweepRowJson(const SweepRow& row, const std::string& sweepId, std::size_t sweepRuns);

// The number of cores this process may run on.
int AvailableCores();

}  // namespace kmr
