#include "engine/charts/trend_chart.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>

namespace kmr {
namespace {

std::unique_ptr<TrendChart> Chart(int n, int smoothing1, int smoothing2, double deviation,
                                  double tickSize = 1) {
  auto chart = std::make_unique<TrendChart>();
  chart->Init(tickSize, smoothing1, smoothing2, deviation, n, false);
  return chart;
}

// Up five ticks, down five ticks, again and again.
double Zigzag(int i) {
  return 100 + (i % 10 < 5 ? i % 10 : 10 - i % 10);
}

TEST(TrendChart, FirstTicksBuildTheFirstCandlesWithoutATrend) {
  auto chart = Chart(10, 20, 8, 2.0);
  const TrendChart& c = *chart;
  EXPECT_EQ(chart->ProcessTick(100, 1, false), 0u);
  EXPECT_EQ(c.currentIndex, 0);
  EXPECT_EQ(c.completedCount, 0);
  EXPECT_EQ(c.lowerTrigger, 100);
  EXPECT_EQ(c.upperTrigger, 100);
  EXPECT_EQ(c.lastTickTime, 1u);
  EXPECT_EQ(chart->ProcessTick(100, 2, false), 0u) << "equal to both triggers: inside";
  EXPECT_EQ(c.completedCount, 0);
  EXPECT_EQ(c.lastTickTime, 2u);

  EXPECT_EQ(chart->ProcessTick(101, 3, false), 0u) << "up is the start direction: no change";
  EXPECT_EQ(c.completedCount, 1);
  EXPECT_EQ(c.brickDirection, 1);
  EXPECT_EQ(c.close[0], 100) << "closed at the trigger, not the price";
  EXPECT_EQ(c.trueRangeAverage[0], 0);
  EXPECT_EQ(c.smoothedClose[0], 100);
  const int i = c.currentIndex;
  EXPECT_EQ(i, 1);
  EXPECT_EQ(c.open[i], 93);
  EXPECT_EQ(c.high[i], 100);
  EXPECT_EQ(c.low[i], 93);
  EXPECT_EQ(c.close[i], 100);
  EXPECT_EQ(c.upperTrigger, 110);
  EXPECT_EQ(c.lowerTrigger, 80);
  EXPECT_EQ(c.trendChangeCount, 0);
  EXPECT_EQ(c.lastTickTime, 3u);
}

// The direction turns down inside a candle; the change is recorded, and reported, only by the
// tick that starts the next candle, stamped with the time of the tick before it.
TEST(TrendChart, ADirectionFlipIsReportedByTheNextCandleStart) {
  auto chart = Chart(1, 1, 1, 0.5);
  const double up[] = {100, 102, 104, 106, 108};
  std::uint32_t time = 10;
  for (double price : up) ASSERT_EQ(chart->ProcessTick(price, time++, false), 0u);
  // Fall inside the band far enough for the direction test to turn down.
  ASSERT_EQ(chart->ProcessTick(chart->lowerTrigger, time++, false), 0u);
  ASSERT_EQ(chart->currentDirection, 0) << "decided at the tick";
  EXPECT_EQ(chart->trendChangeCount, 0) << "but not recorded yet";
  const std::uint32_t before = time - 1;
  EXPECT_EQ(chart->ProcessTick(chart->lowerTrigger - 1, time, false), 0x401u);
  ASSERT_EQ(chart->trendChangeCount, 1);
  EXPECT_EQ(chart->trendDirection[0], 0);
  EXPECT_EQ(chart->trendTime[0], before);
  EXPECT_EQ(chart->lastTickTime, time);
}

TEST(TrendChart, RecordsAlternatingChangesStampedWithThePreviousTick) {
  auto chart = Chart(1, 1, 1, 0.5);
  int reported = 0;
  std::uint8_t lastDirection = 1;  // nothing is recorded until the direction first turns down
  for (int i = 0; i < 20000; ++i) {
    const int before = chart->trendChangeCount;
    const unsigned result = chart->ProcessTick(Zigzag(i), 1000 + i, false);
    if (result == 0) {
      EXPECT_EQ(chart->trendChangeCount, before);
      continue;
    }
    ++reported;
    ASSERT_TRUE(result == 0x101 || result == 0x401) << result;
    const int newest = chart->trendChangeCount - 1;
    EXPECT_EQ(chart->trendChangeCount, std::min(before + 1, 511));
    EXPECT_EQ(chart->trendTime[newest], 1000u + i - 1) << "stamped with the tick before";
    EXPECT_EQ(chart->trendDirection[newest], result == 0x101 ? 1 : 0);
    EXPECT_NE(chart->trendDirection[newest], lastDirection) << "only changes are recorded";
    lastDirection = chart->trendDirection[newest];
  }
  ASSERT_GT(reported, 600) << "the zigzag must turn the trend often";
  EXPECT_EQ(chart->trendChangeCount, 511) << "the history keeps the newest 511 changes";
  // The kept entries are the newest ones, oldest first, still alternating.
  for (int k = 1; k < 511; ++k) {
    EXPECT_NE(chart->trendDirection[k], chart->trendDirection[k - 1]);
    EXPECT_LT(chart->trendTime[k - 1], chart->trendTime[k]);
  }
}

TEST(TrendChart, SmoothingOfOneGivesTheRawValues) {
  auto chart = Chart(2, 1, 1, 2.0, 0.5);
  std::uint32_t seed = 12345;
  double price = 100;
  int checked = 0;
  for (int i = 0; i < 5000; ++i) {
    seed = seed * 1664525u + 1013904223u;
    price += ((seed >> 16) % 7 - 3) * 0.5;
    const int completedBefore = chart->completedCount;
    chart->ProcessTick(price, i, false);
    if (chart->completedCount == completedBefore || chart->completedCount < 2) continue;
    const int s = PreviousSlot(chart->currentIndex);  // the candle that has just completed
    const int p = PreviousSlot(s);
    const double range =
        std::max({chart->high[s] - chart->low[s], std::fabs(chart->high[s] - chart->close[p]),
                  std::fabs(chart->low[s] - chart->close[p])});
    EXPECT_EQ(chart->trueRangeAverage[s], range);
    EXPECT_EQ(chart->smoothedClose[s], chart->close[s]);
    EXPECT_EQ(chart->smoothedRange[s], chart->trueRangeAverage[s]);
    ++checked;
  }
  EXPECT_GT(checked, 100);
}

TEST(TrendChart, SmoothingOutsideItsRangeStaysInsideTheRings) {
  const struct {
    int smoothing1, smoothing2;
  } cases[] = {{0, 0},  {-5, -1}, {256, 8}, {300, 8}, {INT_MAX, INT_MIN}, {INT_MIN, INT_MAX},
               {255, 1}};
  for (const auto& k : cases) {
    auto chart = Chart(1, k.smoothing1, k.smoothing2, 2.0);
    for (int i = 0; i < 3000; ++i) chart->ProcessTick(Zigzag(i) + (i / 100), i, i % 500 == 0);
    EXPECT_GE(chart->currentIndex, 0);
    EXPECT_LT(chart->currentIndex, 256);
    EXPECT_GE(chart->trendChangeCount, 0);
    EXPECT_LE(chart->trendChangeCount, 511);
  }
}

TEST(TrendChart, ZeroTickSizeIgnoresEveryTick) {
  auto chart = Chart(10, 20, 8, 2.0, 0);
  EXPECT_EQ(chart->ProcessTick(100, 5, false), 0u);
  EXPECT_EQ(chart->ProcessTick(200, 6, true), 0u);
  EXPECT_EQ(chart->currentIndex, -1);
  EXPECT_EQ(chart->lastTickTime, 0u);
}

}  // namespace
}  // namespace kmr
