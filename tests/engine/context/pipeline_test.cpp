#include "engine/context/pipeline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
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

// Counts heap allocations while a test asks for it. The sanitizers bring their own allocator,
// so there the count is not taken.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KMR_COUNT_ALLOCATIONS 0
#else
#define KMR_COUNT_ALLOCATIONS 1
#endif
static std::atomic<bool> g_counting{false};
static std::atomic<long> g_allocations{0};
#if KMR_COUNT_ALLOCATIONS
// The replacements pair malloc with free.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  if (g_counting) ++g_allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
#endif

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

// Small charts on a coarse tick, so that every order of the four prices leaves different candles
// behind.
StrategyParameters Fine() {
  return {0.5, 20, 8, 2.0, {1, 3}, 0, {1, 2}};
}

template <typename Chart>
bool SameChart(const Chart& a, const Chart& b) {
  return std::memcmp(&a, &b, sizeof(Chart)) == 0;  // both value-initialised: padding is zero
}

bool SameCharts(const EngineContext& a, const EngineContext& b) {
  for (int i = 0; i < a.trendChartCount; ++i)
    if (!SameChart(a.trendCharts[i], b.trendCharts[i])) return false;
  for (int i = 0; i < a.entryChartCount; ++i)
    if (!SameChart(a.entryCharts[i], b.entryCharts[i])) return false;
  return true;
}

TEST(Pipeline, BarsFeedTheirFourPricesInTheOrderOfTheirColour) {
  const struct {
    double open, high, low, close;
    double fed[4];
  } bars[] = {
      {10, 12, 9, 11, {10, 9, 12, 11}},    // rising: the low comes first
      {10, 12, 9, 9.5, {10, 12, 9, 9.5}},  // falling: the high comes first
      {10, 12, 9, 10, {10, 9, 12, 10}},    // close equal to open counts as rising
      {10, 12, 9, NAN, {10, 12, 9, NAN}},  // not a number: as a falling bar
      {NAN, 12, 9, 10, {NAN, 12, 9, 10}},  // and the NaN itself is passed over
  };
  for (const auto& bar : bars) {
    for (bool newCandle : {false, true}) {
      auto byBar = Configured(Fine());
      auto byTicks = Configured(Fine());
      auto swapped = Configured(Fine());
      for (auto* c : {byBar.get(), byTicks.get(), swapped.get()})  // a running chart
        for (double price : {11.0, 13.0, 12.5}) ProcessHistoryTick(*c, price, 5, false);

      EXPECT_EQ(ProcessHistoryM1(*byBar, bar.open, bar.high, bar.low, bar.close, 60, newCandle), 1);
      const double other[4] = {bar.fed[0], bar.fed[2], bar.fed[1], bar.fed[3]};
      for (int k = 0; k < 4; ++k) {
        ProcessHistoryTick(*byTicks, bar.fed[k], 60, k == 0 && newCandle);
        ProcessHistoryTick(*swapped, other[k], 60, k == 0 && newCandle);
      }
      EXPECT_TRUE(SameCharts(*byBar, *byTicks)) << bar.close << " " << newCandle;
      EXPECT_FALSE(SameCharts(*byBar, *swapped)) << "the order must matter";
      EXPECT_EQ(byBar->trendWord, 0u) << "history does not recompute the word";
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

// The trading logic hears of entry signals (and says so in a message line) only once live;
// a display-only chart never signals.
TEST(Pipeline, EntrySignalsReachTheTradingLogicOnlyWhenLive) {
  const struct {
    bool live;
    std::uint32_t entry;
    bool heard;
  } cases[] = {{false, 1, false}, {true, 1, true}, {true, 1 | kEntryDisplayOnly, false}};
  for (const auto& k : cases) {
    auto c = Configured({1, 20, 8, 2.0, {1000}, 0, {k.entry}});
    if (k.live) ProcessHistoryDataFinished(*c);
    const int before = c->window->messages.count;
    for (double price : {100, 101, 102, 99, 98, 101}) ProcessNewTick(*c, price, price, 1, false);
    const MessageList& messages = c->window->messages;
    bool heard = false;
    for (int i = before; i < messages.count; ++i)
      heard |=
          std::string(messages.Line(i)).find("1. entry chart signal(s): ") != std::string::npos;
    EXPECT_EQ(heard, k.heard) << k.live << " " << k.entry;
  }
}

void RecordTrends(TrendChart& chart, std::initializer_list<int> directions) {
  chart.trendChangeCount = 0;
  for (int d : directions) chart.trendDirection[chart.trendChangeCount++] = d;
}

// "HH:MM:SS text"
bool IsTimeStamped(const std::string& line, const std::string& text) {
  if (line.size() != 9 + text.size() || line.compare(9, std::string::npos, text) != 0) return false;
  for (int i : {0, 1, 3, 4, 6, 7})
    if (line[i] < '0' || line[i] > '9') return false;
  return line[2] == ':' && line[5] == ':' && line[8] == ' ';
}

TEST(Pipeline, HistoryEndWritesTheSummaryAfterItsMessage) {
  const struct {
    std::uint32_t trend[2];
    std::uint32_t entry[2];
    int trendChanges[2];
    int completed[2];
    const char* trendLine;
    const char* entryLine;
  } cases[] = {
      {{100, 200}, {40}, {3, 0}, {41}, "Vuz1 candles: 3 0", "Simple candles: 41"},
      {{100},
       {40, 80},
       {511},
       {-1, 2147483647},
       "Vuz1 candles: 511",
       "Simple candles: -1 2147483647"},
      {{}, {}, {}, {}, "Vuz1 candles:", "Simple candles:"},
  };
  for (const auto& k : cases) {
    auto c = Configured({1, 20, 8, 2.0, {k.trend[0], k.trend[1]}, 0, {k.entry[0], k.entry[1]}});
    for (int i = 0; i < c->trendChartCount; ++i)
      c->trendCharts[i].trendChangeCount = k.trendChanges[i];
    for (int i = 0; i < c->entryChartCount; ++i) c->entryCharts[i].completedCount = k.completed[i];
    for (int round = 1; round <= 2; ++round) {  // again in live mode: the same lines again
      EXPECT_EQ(ProcessHistoryDataFinished(*c), 0);
      EXPECT_EQ(c->live, 1u);
      const MessageList& messages = c->window->messages;
      ASSERT_EQ(messages.count, 3 * round);
      const std::string first = messages.Line(3 * round - 3);
      EXPECT_TRUE(IsTimeStamped(first, "History data processing finished")) << first;
      EXPECT_STREQ(messages.Line(3 * round - 2), k.trendLine);
      EXPECT_STREQ(messages.Line(3 * round - 1), k.entryLine);
    }
  }
}

TEST(Pipeline, AChartThatNeverSawATickShowsMinusOne) {
  auto c = Configured({1, 20, 8, 2.0, {100}, 0, {2, 1u << 23}});
  for (double price : {10.0, 12.5, 15.0, 17.5}) ProcessHistoryTick(*c, price, 1, false);
  ProcessHistoryDataFinished(*c);
  // Even a chart too big to move completes its first candle, which has a band of width zero.
  EXPECT_STREQ(c->window->messages.Line(2), "Simple candles: 3 1");
  auto fresh = Configured({1, 20, 8, 2.0, {100}, 0, {2}});
  ProcessHistoryDataFinished(*fresh);
  EXPECT_STREQ(fresh->window->messages.Line(1), "Vuz1 candles: 0");
  EXPECT_STREQ(fresh->window->messages.Line(2), "Simple candles: -1");
}

TEST(Pipeline, HistoryEndStoresTheTrendWordAndVoteInTheBook) {
  const struct {
    int considered;
    std::initializer_list<int> histories[3];  // trend directions per chart, oldest first
    std::uint32_t word;
    std::int32_t vote;
  } cases[] = {
      {0, {{1}, {0, 1}, {1, 0}}, 0x1F, 2}, {0, {{0}, {1, 0}, {1}}, 0x35, -2},
      {0, {{1}, {1}, {}}, 0x0F, 0},  // a considered chart without a trend blocks the vote
      {2, {{1}, {1}, {}}, 0x0F, 2},        {1, {{0}, {1}, {1}}, 0x3D, -1},
  };
  for (const auto& k : cases) {
    auto c = Configured({1, 20, 8, 2.0, {100, 200, 300}, k.considered, {40}});
    for (int i = 0; i < 3; ++i) RecordTrends(c->trendCharts[i], k.histories[i]);
    ProcessHistoryDataFinished(*c);
    EXPECT_EQ(c->trendWord, k.word);
    EXPECT_EQ(c->trading->trendWord, k.word);
    EXPECT_EQ(c->trading->trendVote, k.vote) << std::hex << k.word;
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
  if (!KMR_COUNT_ALLOCATIONS) GTEST_SKIP() << "allocations are not counted under sanitizers";
  auto c = Configured(Defaults());
  for (bool live : {false, true}) {
    if (live) ProcessHistoryDataFinished(*c);
    const int capacityBefore = c->trading->dealCapacity;
    g_allocations = 0;
    g_counting = true;
    for (int i = 0; i < 100000; ++i) {
      const double price = 1.4 + 0.03 * std::sin(i / 200.0) + 0.002 * std::sin(i / 7.0);
      ProcessHistoryTick(*c, price, i, i % 3000 == 0);
      ProcessHistoryM1(*c, price, price + 0.001, price - 0.001, price + 0.0004, i, i % 1000 == 0);
      ProcessNewTick(*c, price, price + 0.0002, i, i % 5000 == 0);
    }
    g_counting = false;
    // The one allocation a tick may make: the book doubling its deal table for a new deal.
    int doublings = 0;
    for (int capacity = capacityBefore; capacity < c->trading->dealCapacity; capacity *= 2)
      ++doublings;
    EXPECT_EQ(g_allocations, doublings) << (live ? "live" : "history");
  }
  int candles = 0;
  for (int i = 0; i < c->entryChartCount; ++i) candles += c->entryCharts[i].completedCount;
  EXPECT_GT(candles, 1000) << "the run must really move the charts";
}

}  // namespace
}  // namespace kmr
