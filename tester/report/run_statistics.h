// The statistics of a run, each defined once here (formulas in STATISTICS.md beside this file).
// An empty value (no trades, nothing to divide by) is an empty optional, never NaN or infinity.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "tester/report/run_recording.h"

namespace kmr {

class JsonObject;

// The account size that annual return, Sharpe, Sortino and the drawdown share are measured
// against when none is given.
inline constexpr double kDefaultAccountSize = 100000;

// Follows the equity line by line as the broker follows its drawdown (same comparisons on the
// same figures, so the maximum drawdown is the broker's to the bit), and the longest time spent
// below a peak.
struct EquityTracker {
  double peak = 0;
  double maxDrawdown = 0;
  double peakAtMaxDrawdown = 0;
  double drawdown = 0;  // of the last line
  std::int32_t peakTime = 0;
  std::int64_t longestDrawdownSeconds = 0;
  bool started = false;

  void Add(std::int32_t time, double equity) {
    if (!started) {
      started = true;
      peakTime = time;
    }
    if (equity > peak)
      peak = equity;
    else if (peak - equity > maxDrawdown) {
      maxDrawdown = peak - equity;
      peakAtMaxDrawdown = peak;
    }
    if (equity >= peak) {
      drawdown = 0;
      peakTime = time;
    } else {
      drawdown = peak - equity;
      const std::int64_t below = static_cast<std::int64_t>(time) - peakTime;
      if (below > longestDrawdownSeconds) longestDrawdownSeconds = below;
    }
  }
};

struct RunStatistics {
  double accountSize = kDefaultAccountSize;
  double netProfit = 0;          // closed deals
  double netProfitWithOpen = 0;  // closed deals and the floating profit of those still open
  double grossProfit = 0;
  double grossLoss = 0;  // zero or negative
  std::optional<double> profitFactor;
  long trades = 0, longTrades = 0, shortTrades = 0;
  long winningTrades = 0, losingTrades = 0, openTrades = 0;
  std::optional<double> winRate;  // a share, 0 to 1
  std::optional<double> averageWin, averageLoss, largestWin, largestLoss, expectancy;
  long longestWinningStreak = 0, longestLosingStreak = 0;
  double maxDrawdown = 0;
  std::optional<double> maxDrawdownShare;
  std::int64_t longestDrawdownSeconds = 0;
  std::optional<double> recoveryFactor;
  std::optional<double> exposure;  // a share, 0 to 1
  std::optional<double> averageHoldingSeconds;
  double totalCommission = 0;
  double maxPosition = 0;
  std::optional<double> annualReturn;  // a share per year, 0.1 = 10 %
  std::optional<double> sharpe, sortino;
  long dailyReturns = 0;  // how many days the two ratios are taken over
};

RunStatistics ComputeStatistics(const RunRecording& recording, double accountSize);

// Every statistic under its name; an empty value is null.
void AddStatisticsJson(JsonObject& json, const RunStatistics& statistics);

// The names, in the order of the JSON object, and a statistic by name (nullopt when the name is
// unknown or the value empty).
std::span<const std::string_view> StatisticNames();
std::optional<double> StatisticValue(const RunStatistics& statistics, std::string_view name);
// Whether the statistic is a whole count (trades, streaks, seconds, days).
bool StatisticIsCount(std::string_view name);
// Sets a statistic by name, as read back from its JSON; false when the name is unknown or an
// empty `value` is given for a count.
bool SetStatistic(RunStatistics& statistics, std::string_view name, std::optional<double> value);

}  // namespace kmr
