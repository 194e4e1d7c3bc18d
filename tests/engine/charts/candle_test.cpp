#include <gtest/gtest.h>

#include <vector>

#include "engine/charts/entry_chart.h"
#include "engine/charts/trend_chart.h"
#include "engine/context/engine_context.h"

namespace kmr {
namespace {

Candle InProgress(const CandleBuilder& b) {
  const int i = b.currentIndex;
  return {b.open[i], b.high[i], b.low[i], b.close[i]};
}

void ExpectCandle(const CandleBuilder& b, Candle expected, const char* where) {
  const Candle c = InProgress(b);
  EXPECT_EQ(c.open, expected.open) << where;
  EXPECT_EQ(c.high, expected.high) << where;
  EXPECT_EQ(c.low, expected.low) << where;
  EXPECT_EQ(c.close, expected.close) << where;
}

EntryChart Entry(int n, double tickSize = 1) {
  EntryChart chart{};
  chart.Init(tickSize, n, false);
  return chart;
}

// n = 10, tick size 1: an up candle completes at 100, then either continues or reverses.
TEST(CandleBuilder, WorkedExampleOfAnUpMove) {
  for (bool reverse : {false, true}) {
    EntryChart c = Entry(10);
    c.ProcessTick(90, 0, false);  // forced first candle, band of width zero
    c.ProcessTick(91, 0, false);  // completes upwards at the trigger 90
    ExpectCandle(c, {83, 90, 83, 90}, "after the first completion");
    c.ProcessTick(101, 0, false);  // leaves the band 70..100 upwards
    ExpectCandle(c, {93, 100, 93, 100}, "after C = 100");
    EXPECT_EQ(c.upperTrigger, 110);
    EXPECT_EQ(c.lowerTrigger, 80);
    if (!reverse) {
      c.ProcessTick(111, 0, false);
      ExpectCandle(c, {103, 110, 103, 110}, "continuation");
    } else {
      c.ProcessTick(79, 0, false);
      ExpectCandle(c, {87, 87, 80, 80}, "reversal");
      EXPECT_EQ(c.upperTrigger, 100);
      EXPECT_EQ(c.lowerTrigger, 70);
    }
  }
}

TEST(CandleBuilder, TriggersAreStrictAndOneCandleCompletesPerTick) {
  EntryChart c = Entry(10);
  c.ProcessTick(90, 0, false);
  c.ProcessTick(91, 0, false);  // band now 70..100
  const int completed = c.completedCount;
  c.ProcessTick(100, 0, false);  // equal to the trigger: inside
  c.ProcessTick(70, 0, false);
  EXPECT_EQ(c.completedCount, completed);
  EXPECT_EQ(InProgress(c).close, 70);
  EXPECT_EQ(InProgress(c).low, 70);
  c.ProcessTick(500, 0, false);  // a gap of many steps completes one candle, at the trigger
  EXPECT_EQ(c.completedCount, completed + 1);
  EXPECT_EQ(c.close[PreviousSlot(c.currentIndex)], 100);
  EXPECT_EQ(InProgress(c).close, 100);
  c.ProcessTick(500, 0, false);  // the next tick completes the next one
  EXPECT_EQ(c.completedCount, completed + 2);
  EXPECT_EQ(InProgress(c).close, 110);
}

TEST(CandleBuilder, ForcedCandleAfterADownMoveHasABandOfOneStepEachSide) {
  EntryChart c = Entry(10);
  c.ProcessTick(90, 0, false);
  c.ProcessTick(89, 0, false);  // first completion, downwards
  EXPECT_EQ(c.brickDirection, -1);
  c.ProcessTick(85, 0, true);
  ExpectCandle(c, {85, 85, 85, 85}, "forced");
  EXPECT_EQ(c.lowerTrigger, 75);
  EXPECT_EQ(c.upperTrigger, 95);
}

TEST(CandleBuilder, OpenOffsetIsCeilOfSixtySevenPercentInDoublePrecision) {
  const struct {
    int n;
    double ticks;
  } cases[] = {{1500, 1006}, {10, 7}, {100, 67}, {1, 1}, {0, 0}};
  for (const auto& k : cases) {
    EntryChart c = Entry(k.n, 0.5);
    EXPECT_EQ(c.openOffset, k.ticks * 0.5) << k.n;
    EXPECT_EQ(c.trendStep, k.n * 0.5);
    EXPECT_EQ(c.reversalStep, 2 * k.n * 0.5);
  }
}

TEST(EntryChart, ColourChangesBecomeSignals) {
  // n = 1, tick size 1. Candle colours, oldest first: bootstrap, bull, bear, bear, bull, bear,
  // bull, bull, bear.
  const struct {
    double price;
    unsigned result;
  } ticks[] = {{100, 0x001}, {101, 0x001}, {102, 0x001}, {98, 0x401}, {97, 0x001}, {101, 0x301},
               {97, 0x401},  {101, 0x101}, {102, 0x001}, {98, 0xC01}, {98.5, 0}};
  EntryChart chart = Entry(1);
  EntryChart displayOnly{};
  displayOnly.Init(1, 1, true);
  for (const auto& t : ticks) {
    EXPECT_EQ(chart.ProcessTick(t.price, 0, false), t.result) << t.price;
    EXPECT_EQ(displayOnly.ProcessTick(t.price, 0, false), 0u) << t.price;
  }
  EXPECT_EQ(displayOnly.completedCount, chart.completedCount) << "display-only still builds";
}

TEST(EntryChart, FirstTicksAndZeroTickSize) {
  EntryChart chart = Entry(1);
  EXPECT_EQ(chart.ProcessTick(100, 0, false), 0x001u);
  EXPECT_EQ(chart.ProcessTick(100, 0, false), 0u);
  EXPECT_EQ(chart.ProcessTick(101, 0, false), 0x001u);
  EXPECT_EQ(chart.completedCount, 1);
  EntryChart dead = Entry(1, 0);
  EXPECT_EQ(dead.ProcessTick(100, 0, false), 0u);
  EXPECT_EQ(dead.completedCount, -1);
}

TEST(EntryChart, AForcedStartCountsTheAbandonedCandleAndSignalsAtOnce) {
  EntryChart chart = Entry(1);
  for (double price : {100.0, 101.0, 102.0}) chart.ProcessTick(price, 0, false);
  ASSERT_EQ(chart.completedCount, 2);  // the candle in progress opened at 100
  EXPECT_EQ(chart.ProcessTick(99.5, 0, false), 0u) << "inside the band: it turns bearish";
  EXPECT_EQ(chart.ProcessTick(99.75, 0, true), 0x401u) << "abandoned bearish after bullish";
  EXPECT_EQ(chart.completedCount, 3);
  EXPECT_EQ(chart.close[PreviousSlot(chart.currentIndex)], 99.5);
  ExpectCandle(chart, {99.75, 99.75, 99.75, 99.75}, "forced");
  EXPECT_EQ(chart.lowerTrigger, 98.75);
  EXPECT_EQ(chart.upperTrigger, 100.75);
}

TEST(RecentCandles, CopiesTheNewestCompletedOldestFirst) {
  EngineContext context;
  EntryChart charts[1] = {Entry(1)};
  context.entryCharts = charts;
  context.entryChartCount = 1;
  Candle out[300];
  EXPECT_EQ(RecentCandles(context, 0, 300, out), 0) << "no tick yet";
  double price = 100;
  for (int i = 0; i < 1001; ++i) charts[0].ProcessTick(price += 2, 0, false);
  ASSERT_EQ(charts[0].completedCount, 1000);
  ASSERT_EQ(RecentCandles(context, 0, 300, out), 255);
  const int newest = PreviousSlot(charts[0].currentIndex);
  EXPECT_EQ(out[254].close, charts[0].close[newest]);
  EXPECT_EQ(out[254].open, charts[0].open[newest])
      << "the newest completed, not the one in progress";
  EXPECT_EQ(out[253].close, charts[0].close[PreviousSlot(newest)]);
  EXPECT_LT(out[0].close, out[1].close);
  EXPECT_EQ(RecentCandles(context, 0, 3, out), 3);
  EXPECT_EQ(out[2].close, charts[0].close[newest]);
  EXPECT_EQ(RecentCandles(context, 1, 3, out), 0);
  EXPECT_EQ(RecentCandles(context, -1, 3, out), 0);
  EXPECT_EQ(RecentCandles(context, 0, 0, out), 0);
  context.entryCharts = nullptr;
  EXPECT_EQ(RecentCandles(context, 0, 3, out), 0);
}

}  // namespace
}  // namespace kmr
