// The report of a walk-forward analysis, written like the run report: the windows with the
// parameters each training period chose and their in-sample and out-of-sample statistics, and
// the out-of-sample periods stitched into one equity curve with its own statistics.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tester/report/run_recording.h"
#include "tester/report/run_statistics.h"
#include "tester/sweep/sweep_runner.h"
#include "tester/sweep/walk_forward_plan.h"

namespace kmr {

struct WalkForwardWindowResult {
  WalkForwardWindow window;
  std::size_t runs = 0, failedRuns = 0;  // of the training period's grid
  bool ok = false;
  std::string error;  // why the window has no out-of-sample result
  std::vector<std::pair<std::string, std::string>> params;  // the training period's choice
  std::string inSampleCommand;
  RunStatistics inSample;
  std::string outOfSampleCommand;
  SweepFigures outOfSampleFigures;
  RunStatistics outOfSample;
  std::optional<double> efficiency;  // WalkForwardEfficiency of the two annual returns
};

struct WalkForwardReport {
  std::string priceFile;
  std::string train, test, step, warmup;  // as given
  bool anchored = false;
  std::string rankBy;
  double accountSize = kDefaultAccountSize;
  std::vector<WalkForwardWindowResult> windows;
  RunRecording stitched;  // the out-of-sample periods one after another
  RunStatistics stitchedStatistics;
  std::optional<double> meanInSampleAnnualReturn;
  std::optional<double> efficiency;  // stitched annual return over the mean in-sample one
};

// The walk-forward efficiency, out-of-sample over in-sample annual return: only over an
// in-sample gain, so empty when either return is empty or not finite, the in-sample one is 0 or
// below, or the ratio is not finite.
std::optional<double> WalkForwardEfficiency(std::optional<double> outOfSample,
                                            std::optional<double> inSample);

// A window's in-sample figure of the --rank-by statistic as the table and the page show it: a
// count whole, any other with two decimals, "-" when the window has none.
std::string RankedFigureText(const WalkForwardWindowResult& window, const std::string& rankBy);

std::string WalkForwardJson(const WalkForwardReport& report);
std::string WalkForwardWindowsCsv(const WalkForwardReport& report);
std::string WalkForwardHtml(const WalkForwardReport& report);

// STEM.walk-forward.json, STEM.windows.csv, STEM.oos-equity.csv, STEM.oos-trades.csv and
// STEM.walk-forward.html beside `stemPath`, each whole or not at all. Returns the error or "".
std::string WriteWalkForwardReport(const std::string& stemPath, const WalkForwardReport& report);

}  // namespace kmr
