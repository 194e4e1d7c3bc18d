// The statistics on small hand-made runs whose answers are known.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "tester/report/json_writer.h"
#include "tester/report/run_statistics.h"

namespace kmr {
namespace {

constexpr std::int32_t kStart = 1'000'000'000;

TradeRecord Trade(double profit, bool isLong = true, std::int32_t open = 0, std::int32_t close = 0,
                  CloseReason reason = CloseReason::kEngine) {
  TradeRecord t;
  t.isLong = isLong;
  t.openTime = kStart + open;
  t.closeTime = kStart + close;
  t.profit = profit;
  t.commission = 1.5;
  t.volume = 1;
  t.closeReason = reason;
  return t;
}

RunRecording Recording(std::vector<TradeRecord> trades, std::int32_t length = 1000) {
  RunRecording r;
  r.trades = std::move(trades);
  r.tradeLines = 100;
  r.firstTradeTime = kStart;
  r.lastTradeTime = kStart + length;
  return r;
}

struct Expected {
  const char* name;
  std::optional<double> value;
};

struct Case {
  const char* what;
  RunRecording run;
  std::vector<Expected> expected;
};

TEST(Statistics, HandMadeTradeSequences) {
  const std::nullopt_t none = std::nullopt;
  const Case cases[] = {
      {"no trades",
       Recording({}),
       {{"trades", 0},
        {"netProfit", 0},
        {"netProfitWithOpen", 0},
        {"grossProfit", 0},
        {"grossLoss", 0},
        {"profitFactor", none},
        {"winRate", none},
        {"averageWin", none},
        {"averageLoss", none},
        {"largestWin", none},
        {"largestLoss", none},
        {"expectancy", none},
        {"longestWinningStreak", 0},
        {"longestLosingStreak", 0},
        {"exposure", none},
        {"averageHoldingSeconds", none},
        {"totalCommission", 0},
        {"recoveryFactor", none},
        {"sharpe", none},
        {"sortino", none}}},
      {"only winners, two of them overlapping in time",
       Recording({Trade(10, true, 0, 100), Trade(20, false, 50, 150), Trade(30, true, 300, 400)}),
       {{"trades", 3},
        {"longTrades", 2},
        {"shortTrades", 1},
        {"netProfit", 60},
        {"grossProfit", 60},
        {"grossLoss", 0},
        {"profitFactor", none},
        {"winRate", 1},
        {"averageWin", 20},
        {"averageLoss", none},
        {"largestWin", 30},
        {"largestLoss", none},
        {"expectancy", 20},
        {"longestWinningStreak", 3},
        {"longestLosingStreak", 0},
        {"exposure", 0.25},
        {"averageHoldingSeconds", 100},
        {"totalCommission", 4.5}}},
      {"only losers",
       Recording({Trade(-5, false), Trade(-15, false)}),
       {{"trades", 2},
        {"shortTrades", 2},
        {"netProfit", -20},
        {"grossLoss", -20},
        {"profitFactor", 0},
        {"winRate", 0},
        {"averageWin", none},
        {"averageLoss", -10},
        {"largestWin", none},
        {"largestLoss", -15},
        {"expectancy", -10},
        {"longestWinningStreak", 0},
        {"longestLosingStreak", 2}}},
      {"one deal still open at the end",
       Recording({Trade(10, true, 0, 200), Trade(-4, true, 600, 1000, CloseReason::kOpenAtEnd)}),
       {{"trades", 2},
        {"openTrades", 1},
        {"netProfit", 10},
        {"netProfitWithOpen", 6},
        {"grossProfit", 10},
        {"grossLoss", -4},
        {"profitFactor", 2.5},
        {"winRate", 0.5},
        {"expectancy", 3},
        {"exposure", 0.6},
        {"averageHoldingSeconds", 300}}},
      {"equal profits",
       Recording({Trade(7), Trade(7), Trade(7), Trade(7)}),
       {{"trades", 4},
        {"netProfit", 28},
        {"averageWin", 7},
        {"largestWin", 7},
        {"expectancy", 7},
        {"longestWinningStreak", 4},
        {"profitFactor", none},
        {"winRate", 1}}},
      {"break-even trades end both streaks and count as neither",
       Recording({Trade(1), Trade(1), Trade(-1), Trade(-1), Trade(0), Trade(-1), Trade(1)}),
       {{"trades", 7},
        {"winningTrades", 3},
        {"losingTrades", 3},
        {"winRate", 3.0 / 7},
        {"longestWinningStreak", 2},
        {"longestLosingStreak", 2},
        {"profitFactor", 1},
        {"netProfit", 0},
        {"expectancy", 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const RunStatistics s = ComputeStatistics(c.run, 1000);
    for (const Expected& e : c.expected) {
      const std::optional<double> value = StatisticValue(s, e.name);
      if (!e.value) {
        EXPECT_FALSE(value) << e.name << " = " << *value;
      } else {
        ASSERT_TRUE(value) << e.name;
        EXPECT_NEAR(*value, *e.value, 1e-12) << e.name;
      }
    }
  }
}

// Day-end equity points of a run against an account of 1000.
RunRecording Days(const std::vector<double>& equities, double maxDrawdown = 0, double peak = 0) {
  RunRecording r = Recording({}, static_cast<std::int32_t>(86400 * equities.size()));
  for (std::size_t i = 0; i < equities.size(); ++i) {
    EquityPoint p;
    p.time = kStart + static_cast<std::int32_t>(86400 * (i + 1));
    p.equity = equities[i];
    p.event = EquityEvent::kDayEnd;
    r.equity.push_back(p);
    EquityPoint event = p;
    event.event = EquityEvent::kClose;  // trade events do not count as days
    event.equity = -999;
    r.equity.push_back(event);
  }
  r.maxDrawdown = maxDrawdown;
  r.peakAtMaxDrawdown = peak;
  return r;
}

TEST(Statistics, RatiosOnDailyEquityReturns) {
  struct RatioCase {
    const char* what;
    RunRecording run;
    std::optional<double> sharpe, sortino;
  } cases[] = {
      // Returns +2 % and -1 %: mean 0.005, sample deviation 0.0212132, downside 0.0070711.
      {"a gain and a loss", Days({20, 9.8}), 3.7416573867739413, 11.224972160321824},
      {"no losing day: no downside to divide by", Days({20, 20}), 11.224972160321824, std::nullopt},
      {"one day only", Days({20}), std::nullopt, std::nullopt},
      {"flat equity", Days({0, 0, 0}), std::nullopt, std::nullopt},
      {"an account that is wiped out", Days({-1000, 5, 10}), std::nullopt, std::nullopt},
  };
  for (const RatioCase& c : cases) {
    SCOPED_TRACE(c.what);
    const RunStatistics s = ComputeStatistics(c.run, 1000);
    ASSERT_EQ(s.sharpe.has_value(), c.sharpe.has_value());
    if (c.sharpe) {
      EXPECT_NEAR(*s.sharpe, *c.sharpe, 1e-9);
    }
    ASSERT_EQ(s.sortino.has_value(), c.sortino.has_value());
    if (c.sortino) {
      EXPECT_NEAR(*s.sortino, *c.sortino, 1e-9);
    }
  }
}

TEST(Statistics, DrawdownShareRecoveryAndAnnualReturn) {
  const std::int32_t year = static_cast<std::int32_t>(365.25 * 86400);
  RunRecording twoYears = Recording({Trade(210, true, 0, 10)}, 2 * year);
  twoYears.maxDrawdown = 50;
  twoYears.peakAtMaxDrawdown = 100;
  const RunStatistics s = ComputeStatistics(twoYears, 1000);
  EXPECT_NEAR(*s.annualReturn, 0.1, 1e-12);  // 1000 to 1210 in two years
  EXPECT_DOUBLE_EQ(*s.maxDrawdownShare, 50.0 / 1100);
  EXPECT_DOUBLE_EQ(*s.recoveryFactor, 210.0 / 50);
  EXPECT_EQ(s.maxDrawdown, 50);

  // More lost than the account holds: no annual return to speak of.
  EXPECT_FALSE(ComputeStatistics(Recording({Trade(-1500)}, year), 1000).annualReturn);
  // No time traded: nothing to annualise.
  EXPECT_FALSE(ComputeStatistics(Recording({Trade(5)}, 0), 1000).annualReturn);
}

TEST(Statistics, EveryNameIsInTheJsonAndEmptyValuesAreNull) {
  const RunStatistics s = ComputeStatistics(Recording({}), kDefaultAccountSize);
  JsonObject json;
  AddStatisticsJson(json, s);
  const std::string text = json.Finish();
  for (std::string_view name : StatisticNames())
    EXPECT_NE(text.find("\"" + std::string(name) + "\": "), std::string::npos) << name;
  EXPECT_NE(text.find("\"profitFactor\": null"), std::string::npos);
  EXPECT_NE(text.find("\"trades\": 0,"), std::string::npos);
  EXPECT_EQ(text.find("nan"), std::string::npos);
  EXPECT_EQ(text.find("inf"), std::string::npos);
  // The names the sweeps rank by.
  for (const char* name : {"netProfit",
                           "netProfitWithOpen",
                           "grossProfit",
                           "grossLoss",
                           "profitFactor",
                           "trades",
                           "longTrades",
                           "shortTrades",
                           "winRate",
                           "averageWin",
                           "averageLoss",
                           "largestWin",
                           "largestLoss",
                           "expectancy",
                           "longestWinningStreak",
                           "longestLosingStreak",
                           "maxDrawdown",
                           "maxDrawdownShare",
                           "longestDrawdownSeconds",
                           "recoveryFactor",
                           "exposure",
                           "averageHoldingSeconds",
                           "totalCommission",
                           "annualReturn",
                           "sharpe",
                           "sortino"})
    EXPECT_NE(std::find(StatisticNames().begin(), StatisticNames().end(), name),
              StatisticNames().end())
        << name;
  EXPECT_FALSE(StatisticValue(s, "noSuchStatistic"));
}

}  // namespace
}  // namespace kmr
