// One run of kmr-replay, from its options to its results: the untimed "Process ALL" without a
// window. Every front that replays a file (kmr-replay, sweeps) goes through here, so that a run
// gives the same bytes wherever it is made.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tester/connector/engine_api.h"
#include "tester/replay/replay_options.h"
#include "tester/report/curve_reducer.h"
#include "tester/report/run_recording.h"
#include "tester/report/run_statistics.h"
#include "tester/settings/settings_store.h"
#include "tester/source/price_cache.h"

namespace kmr {

// What a run uses: the effective settings record and the history-till fields.
struct ReplaySetup {
  SettingsRecord record;
  bool haveHistoryTill = false;
  LocalDateTime historyTill;
  // The time window (seconds since 1970 UTC): --history-from, --trade-till.
  std::optional<std::int32_t> historyFrom, tradeTill;
  std::string priceFile;
  bool quotesFromFile = false;  // fill at the file's ask (--quotes bid-ask)
  std::string historyBars;      // bars fed before the price file (--history-bars)
  double accountSize = kDefaultAccountSize;
  const PriceCaches* priceCaches = nullptr;  // the price file parsed before (sweeps)
  // Buckets of the recording's equity curve; a sweep, whose rows show no curve, takes the fewest.
  std::size_t curveBuckets = kCurveBuckets;
  std::string loadNote;  // why the stored settings were not used, when they were asked for
  std::string error;     // settings that cannot be formed, naming the option; empty when fine
};

// The stored settings (or the defaults with --defaults), the command line's settings over them
// in order, the price file, the history-till time and the window. A window out of order
// (history-from not before history-till, trade-till not after it) is an error naming the option.
ReplaySetup ResolveReplaySetup(const ReplayOptions& options);

struct ReplayResult {
  long historyLines = 0, tradeLines = 0;
  bool usedHistoryBars = false;  // --history-bars was given
  long historyBars = 0;
  double floatingProfit = 0, closedProfit = 0, maxDrawdown = 0, maxPosition = 0;
  int longDeals = 0, shortDeals = 0, openDeals = 0;
  std::int32_t lastTickTime = 0;
  double lastPrice = 0;
  double historySeconds = 0, tradeSeconds = 0;
  std::vector<std::string> log;       // the tester's log lines, oldest first
  std::vector<std::string> messages;  // what the main window would show in a message box
  std::string error;                  // the error that ended the run ("FILE:LINE: message")
  RunRecording recording;             // every deal, the equity, the reduced curves
  RunStatistics statistics;
};

// Runs the history part and the trade part of `setup` against the bound `engine`, always
// untimed, and records it for its report. A window that holds no line of the file (none from
// history-from up to history-till; with trade-till, none after the history part up to
// trade-till) ends the run with an error naming the option, found while reading. The
// engine is initialised by the run itself, so one bound library serves many runs.
ReplayResult RunReplay(const EngineApi& engine, const ReplaySetup& setup);

// The result as kmr-replay --json prints it: the run's figures and log, then the account size
// and the statistics.
std::string ReplayResultJson(const std::string& file, const ReplayResult& result);

}  // namespace kmr
