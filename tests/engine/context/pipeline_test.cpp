#include "engine/context/pipeline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#include "common/chart_spec.h"
#include "engine/charts/entry_chart.h"
#include "engine/charts/trend_chart.h"
#include "engine/context/configuration.h"
#include "engine/context/engine_context.h"
#include "engine/context/engine_window.h"
#include "engine/trading/deal_table.h"
#include "engine/trading/trading_state.h"

// Counts heap allocations while a test asks for it. The replacements pair malloc with free.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
static std::atomic<bool> g_counting{false};
static std::atomic<long> g_allocations{0};
void* operator new(std::size_t size) {
  if (g_counting) ++g_allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (g_counting) ++g_allocations;
  return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size) {
  return operator new(size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}

namespace kmr {
namespace {

std::unique_ptr<EngineContext> Configured(StrategyParameters p) {
  std::unique_ptr<EngineContext> context(CreateEngineContext(nullptr));
  ConfigureEngine(*context, p);
  return context;
}

StrategyParameters Defaults() {
  return {0.0001,
          20,
          8,
          2.0,
          {kTrendNoHedge | 1600, kTrendNoHedge | 800, kTrendNoHedge | 400, kTrendNoHedge | 200,
           kTrendNoHedge | 100},
          5,
          {40, 80, 120}};
}

TEST(Pipeline, NothingBeforeInitialize) {
  std::unique_ptr<EngineContext> c(CreateEngineContext(nullptr));
  EXPECT_EQ(ProcessNewTick(*c, 1, 1, 1, false), 0);
  EXPECT_EQ(ProcessHistoryTick(*c, 1, 1, false), 0);
  EXPECT_EQ(ProcessHistoryM1(*c, 1, 2, 0, 1, 1, false), 0);
  EXPECT_EQ(ProcessHistoryDataFinished(*c), 0);
  EXPECT_EQ(c->live, 0u);
}

TEST(Pipeline, BarsRunThroughTheirExtremesInTheOrderOfTheirColour) {
  // On a fresh chart with a wide band the second price decides the first completed move:
  // -1 means the low came second.
  const struct {
    double open, high, low, close;
    double firstMove;
  } bars[] = {{10, 12, 9, 11, -1}, {10, 12, 9, 9.5, +1}, {10, 12, 9, 10, -1}, {10, 12, 9, NAN, +1}};
  for (const auto& bar : bars) {
    auto c = Configured({1, 20, 8, 2.0, {1000}, 0, {1000}});
    EXPECT_EQ(ProcessHistoryM1(*c, bar.open, bar.high, bar.low, bar.close, 60, false), 1);
    for (const CandleBuilder* chart : {static_cast<const CandleBuilder*>(&c->trendCharts[0]),
                                       static_cast<const CandleBuilder*>(&c->entryCharts[0])}) {
      EXPECT_EQ(chart->brickDirection, bar.firstMove) << bar.close;
      EXPECT_EQ(chart->completedCount, 1);
    }
  }
}

TEST(Pipeline, ResultIsOneOnAChartEventElseTheQueuedCommands) {
  for (bool live : {false, true}) {
    auto c = Configured({1, 20, 8, 2.0, {1000}, 0, {1000}});
    if (live) ProcessHistoryDataFinished(*c);
    EXPECT_EQ(ProcessNewTick(*c, 50, 50, 1, false), 1) << "first tick starts a candle";
    EXPECT_EQ(ProcessNewTick(*c, 50, 50, 2, false), 0);
    for (int i = 0; i < 3; ++i) PushCommand(*c->trading, 0x1100000001ull + i);
    EXPECT_EQ(ProcessNewTick(*c, 50, 50, 3, false), 3) << live;
    EXPECT_EQ(ProcessNewTick(*c, 80, 80, 4, false), 1) << "an entry candle completes";
    EXPECT_EQ(c->trading->tickTime, live ? 4u : 0u) << "the book sees live ticks only";
  }
}

TEST(Pipeline, HistoryEndSwitchesToLiveAndSummarisesTheCharts) {
  StrategyParameters p = Defaults();
  p.entryCharts[3] = 1u << 23;  // a chart far too big ever to complete a candle
  auto c = Configured(p);
  for (int i = 0; i < 20000; ++i)
    ProcessHistoryTick(*c, 1.4 + 0.05 * std::sin(i / 300.0), 1000 + 60 * i, false);
  c->entryCharts[3].Init(0.0001, 1, false);  // and one that never saw a tick
  EXPECT_EQ(ProcessHistoryDataFinished(*c), 0);
  EXPECT_EQ(c->live, 1u);

  std::string trend = "Vuz1 candles:", entry = "Simple candles:";
  for (int i = 0; i < c->trendChartCount; ++i)
    trend += " " + std::to_string(c->trendCharts[i].trendChangeCount);
  for (int i = 0; i < c->entryChartCount; ++i)
    entry += " " + std::to_string(c->entryCharts[i].completedCount);
  EXPECT_NE(entry.find(" -1"), std::string::npos);
  const MessageList& messages = c->window->messages;
  ASSERT_EQ(messages.count, 3);
  EXPECT_EQ(std::string(messages.Line(0)).substr(8), " History data processing finished");
  EXPECT_EQ(messages.Line(1), trend);
  EXPECT_EQ(messages.Line(2), entry);

  EXPECT_EQ(c->trading->trendWord, c->trendWord);
  // Charts with no recorded trend block the vote.
  bool allRecorded = true;
  for (int i = 0; i < 5; ++i) allRecorded &= c->trendCharts[i].trendChangeCount > 0;
  if (!allRecorded) {
    EXPECT_EQ(c->trading->trendVote, 0);
  }
}

TEST(Pipeline, TrendWordFollowsTheChartsBeforeLiveMode) {
  auto c = Configured({1, 1, 1, 0.5, {1}, 1, {}});
  for (int i = 0; i < 200; ++i) {
    const double price = 100 + (i % 10 < 5 ? i % 10 : 10 - i % 10);
    ProcessNewTick(*c, price, price, i, false);
  }
  const TrendChart& chart = c->trendCharts[0];
  ASSERT_GT(chart.trendChangeCount, 0);
  EXPECT_EQ(c->trendWord, chart.trendDirection[chart.trendChangeCount - 1] ? 3u : 1u);
  EXPECT_EQ(c->trading->trendWord, 0u) << "the book only learns the trend when live";
}

TEST(Pipeline, TicksAndBarsAllocateNothing) {
  auto c = Configured(Defaults());
  ProcessHistoryTick(*c, 1.4, 0, false);
  ProcessHistoryDataFinished(*c);
  g_allocations = 0;
  g_counting = true;
  for (int i = 0; i < 100000; ++i) {
    const double price = 1.4 + 0.03 * std::sin(i / 200.0);
    ProcessHistoryTick(*c, price, i, false);
    ProcessHistoryM1(*c, price, price + 0.001, price - 0.001, price, i, i % 1000 == 0);
    ProcessNewTick(*c, price, price + 0.0002, i, false);
  }
  g_counting = false;
  EXPECT_EQ(g_allocations, 0);
}

}  // namespace
}  // namespace kmr
