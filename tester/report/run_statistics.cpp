#include "tester/report/run_statistics.h"

#include <algorithm>
#include <cmath>
#include <type_traits>
#include <utility>
#include <vector>

#include "tester/report/json_writer.h"

namespace kmr {

namespace {

constexpr double kSecondsPerYear = 365.25 * 86400;
constexpr double kTradingDaysPerYear = 252;

std::optional<double> Ratio(double numerator, double denominator) {
  if (denominator == 0) return std::nullopt;
  const double value = numerator / denominator;
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

// The share of [first, last] covered by at least one trade.
std::optional<double> Exposure(const RunRecording& r) {
  const double period = static_cast<double>(r.lastTradeTime) - r.firstTradeTime;
  if (r.trades.empty() || period <= 0) return std::nullopt;
  std::vector<std::pair<std::int64_t, std::int64_t>> held;
  held.reserve(r.trades.size());
  for (const TradeRecord& t : r.trades)
    held.emplace_back(t.openTime, std::max<std::int64_t>(t.openTime, t.closeTime));
  std::sort(held.begin(), held.end());
  std::int64_t covered = 0, begin = held[0].first, end = held[0].second;
  for (const auto& [open, close] : held) {
    if (open > end) {
      covered += end - begin;
      begin = open;
    }
    end = std::max(end, close);
  }
  covered += end - begin;
  return std::min(1.0, covered / period);
}

// Day-on-day returns of the account's equity at the end of each day, the first against the
// account itself; nothing when the equity ever reaches zero or below.
std::vector<double> DailyReturns(const RunRecording& r, double account) {
  std::vector<double> returns;
  double previous = account;
  for (const EquityPoint& p : r.equity) {
    if (p.event != EquityEvent::kDayEnd) continue;
    if (previous <= 0) return {};
    const double now = account + p.equity;
    returns.push_back((now - previous) / previous);
    previous = now;
  }
  return returns;
}

void AddRatios(const std::vector<double>& returns, RunStatistics& s) {
  s.dailyReturns = static_cast<long>(returns.size());
  if (returns.size() < 2) return;
  const double n = static_cast<double>(returns.size());
  double sum = 0;
  for (double r : returns) sum += r;
  const double mean = sum / n;
  double squares = 0, downside = 0;
  for (double r : returns) {
    squares += (r - mean) * (r - mean);
    if (r < 0) downside += r * r;
  }
  const double deviation = std::sqrt(squares / (n - 1));
  const double downsideDeviation = std::sqrt(downside / n);
  const double annualise = std::sqrt(kTradingDaysPerYear);
  if (const auto ratio = Ratio(mean, deviation)) s.sharpe = *ratio * annualise;
  if (const auto ratio = Ratio(mean, downsideDeviation)) s.sortino = *ratio * annualise;
}

}  // namespace

RunStatistics ComputeStatistics(const RunRecording& r, double account) {
  RunStatistics s;
  s.accountSize = account;
  long winStreak = 0, lossStreak = 0;
  double heldSeconds = 0;
  for (const TradeRecord& t : r.trades) {
    ++s.trades;
    ++(t.isLong ? s.longTrades : s.shortTrades);
    // The order of the sum is the order of the closes: the broker's closed profit to the bit.
    if (t.closeReason == CloseReason::kOpenAtEnd)
      ++s.openTrades;
    else
      s.netProfit += t.profit;
    s.netProfitWithOpen += t.profit;
    s.totalCommission += t.commission;
    heldSeconds += static_cast<double>(t.closeTime) - t.openTime;
    if (t.profit > 0) {
      ++s.winningTrades;
      s.grossProfit += t.profit;
      s.largestWin = std::max(s.largestWin.value_or(t.profit), t.profit);
      lossStreak = 0;
      s.longestWinningStreak = std::max(s.longestWinningStreak, ++winStreak);
    } else if (t.profit < 0) {
      ++s.losingTrades;
      s.grossLoss += t.profit;
      s.largestLoss = std::min(s.largestLoss.value_or(t.profit), t.profit);
      winStreak = 0;
      s.longestLosingStreak = std::max(s.longestLosingStreak, ++lossStreak);
    } else {
      winStreak = lossStreak = 0;
    }
  }
  const double trades = static_cast<double>(s.trades);
  s.profitFactor = Ratio(s.grossProfit, -s.grossLoss);
  s.winRate = Ratio(static_cast<double>(s.winningTrades), trades);
  s.averageWin = Ratio(s.grossProfit, static_cast<double>(s.winningTrades));
  s.averageLoss = Ratio(s.grossLoss, static_cast<double>(s.losingTrades));
  s.expectancy = Ratio(s.netProfitWithOpen, trades);
  s.averageHoldingSeconds = Ratio(heldSeconds, trades);
  s.exposure = Exposure(r);

  s.maxPosition = r.maxPosition;
  s.maxDrawdown = r.maxDrawdown;
  s.longestDrawdownSeconds = r.longestDrawdownSeconds;
  if (account + r.peakAtMaxDrawdown > 0)
    s.maxDrawdownShare = Ratio(r.maxDrawdown, account + r.peakAtMaxDrawdown);
  s.recoveryFactor = Ratio(s.netProfitWithOpen, r.maxDrawdown);

  const double years = (static_cast<double>(r.lastTradeTime) - r.firstTradeTime) / kSecondsPerYear;
  const double finalEquity = account + s.netProfitWithOpen;
  if (account > 0 && years > 0 && finalEquity >= 0) {
    const double value = std::pow(finalEquity / account, 1 / years) - 1;
    if (std::isfinite(value)) s.annualReturn = value;
  }
  if (account > 0) AddRatios(DailyReturns(r, account), s);
  return s;
}

namespace {

struct StatisticField {
  std::string_view name;
  std::optional<double> (*value)(const RunStatistics&);
  bool isCount;  // written as a whole number
  // Sets the statistic; false for an empty value of a count.
  bool (*set)(RunStatistics&, std::optional<double>);
};

template <typename T>
bool SetMember(T& member, std::optional<double> value) {
  if constexpr (std::is_same_v<T, std::optional<double>>) {
    member = value;
  } else if constexpr (std::is_floating_point_v<T>) {
    member = value.value_or(std::nan(""));  // written empty for not being finite
  } else {
    if (!value) return false;
    member = static_cast<T>(*value);
  }
  return true;
}

#define KMR_VALUE(member)                                                          \
  [](const RunStatistics& s) -> std::optional<double> { return s.member; }, false, \
      [](RunStatistics& s, std::optional<double> v) { return SetMember(s.member, v); }
#define KMR_COUNT(member)                                                                        \
  [](const RunStatistics& s) -> std::optional<double> { return static_cast<double>(s.member); }, \
      true, [](RunStatistics& s, std::optional<double> v) { return SetMember(s.member, v); }

const StatisticField kFields[] = {
    {"netProfit", KMR_VALUE(netProfit)},
    {"netProfitWithOpen", KMR_VALUE(netProfitWithOpen)},
    {"grossProfit", KMR_VALUE(grossProfit)},
    {"grossLoss", KMR_VALUE(grossLoss)},
    {"profitFactor", KMR_VALUE(profitFactor)},
    {"trades", KMR_COUNT(trades)},
    {"longTrades", KMR_COUNT(longTrades)},
    {"shortTrades", KMR_COUNT(shortTrades)},
    {"winningTrades", KMR_COUNT(winningTrades)},
    {"losingTrades", KMR_COUNT(losingTrades)},
    {"openTrades", KMR_COUNT(openTrades)},
    {"winRate", KMR_VALUE(winRate)},
    {"averageWin", KMR_VALUE(averageWin)},
    {"averageLoss", KMR_VALUE(averageLoss)},
    {"largestWin", KMR_VALUE(largestWin)},
    {"largestLoss", KMR_VALUE(largestLoss)},
    {"expectancy", KMR_VALUE(expectancy)},
    {"longestWinningStreak", KMR_COUNT(longestWinningStreak)},
    {"longestLosingStreak", KMR_COUNT(longestLosingStreak)},
    {"maxDrawdown", KMR_VALUE(maxDrawdown)},
    {"maxDrawdownShare", KMR_VALUE(maxDrawdownShare)},
    {"longestDrawdownSeconds", KMR_COUNT(longestDrawdownSeconds)},
    {"recoveryFactor", KMR_VALUE(recoveryFactor)},
    {"exposure", KMR_VALUE(exposure)},
    {"averageHoldingSeconds", KMR_VALUE(averageHoldingSeconds)},
    {"totalCommission", KMR_VALUE(totalCommission)},
    {"maxPosition", KMR_VALUE(maxPosition)},
    {"annualReturn", KMR_VALUE(annualReturn)},
    {"sharpe", KMR_VALUE(sharpe)},
    {"sortino", KMR_VALUE(sortino)},
    {"dailyReturns", KMR_COUNT(dailyReturns)},
};

#undef KMR_VALUE
#undef KMR_COUNT

const std::vector<std::string_view>& Names() {
  static const std::vector<std::string_view> names = [] {
    std::vector<std::string_view> list;
    for (const StatisticField& f : kFields) list.push_back(f.name);
    return list;
  }();
  return names;
}

}  // namespace

std::span<const std::string_view> StatisticNames() {
  return Names();
}

std::optional<double> StatisticValue(const RunStatistics& s, std::string_view name) {
  for (const StatisticField& f : kFields)
    if (f.name == name) {
      const std::optional<double> value = f.value(s);
      if (value && !std::isfinite(*value)) return std::nullopt;
      return value;
    }
  return std::nullopt;
}

bool StatisticIsCount(std::string_view name) {
  for (const StatisticField& f : kFields)
    if (f.name == name) return f.isCount;
  return false;
}

bool SetStatistic(RunStatistics& s, std::string_view name, std::optional<double> value) {
  for (const StatisticField& f : kFields)
    if (f.name == name) return f.set(s, value);
  return false;
}

void AddStatisticsJson(JsonObject& json, const RunStatistics& s) {
  for (const StatisticField& f : kFields) {
    const std::optional<double> value = f.value(s);
    if (!value || !std::isfinite(*value))
      json.Null(f.name);
    else if (f.isCount)
      json.Integer(f.name, static_cast<long long>(*value));
    else
      json.Number(f.name, *value);
  }
}

}  // namespace kmr
