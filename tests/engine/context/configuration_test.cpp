#include "engine/context/configuration.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/chart_spec.h"
#include "engine/context/engine_context.h"
#include "engine/context/engine_window.h"
#include "engine/context/message_list.h"
#include "engine/trading/trading_state.h"

namespace kmr {
namespace {

StrategyParameters Parameters(std::initializer_list<std::uint32_t> trend, int considered,
                              std::initializer_list<std::uint32_t> entry) {
  StrategyParameters p{0.25, 20, 8, 2.0, {}, considered, {}};
  std::copy(trend.begin(), trend.end(), p.trendCharts);
  std::copy(entry.begin(), entry.end(), p.entryCharts);
  return p;
}

std::unique_ptr<EngineContext> Configured(const StrategyParameters& p) {
  std::unique_ptr<EngineContext> context(CreateEngineContext(nullptr));
  ConfigureEngine(*context, p);
  return context;
}

TEST(ConfigureEngine, SkipsZeroWordsAndPutsMaskBitsAtTheChartsPositions) {
  // trendChart1 = 0, trendChart2 = X20: the X chart becomes trend chart 0.
  auto c = Configured(
      Parameters({0, kTrendNoHedge | kTrendCloseOnly | 20, 0, 400 | kTrendOpenTrade}, 0,
                 {0, 0, 5 | kEntryOpenOrCloseOwn, kEntryCloseOnly | 7, kEntryOpenOnly | 9}));
  EXPECT_EQ(c->trendChartCount, 2);
  EXPECT_EQ(c->trendCloseOnlyMask, 0b01);
  EXPECT_EQ(c->trendNoHedgeMask, 0b01);
  EXPECT_EQ(c->trendOpenMask, 0b10);
  EXPECT_EQ(c->entryChartCount, 3);
  EXPECT_EQ(c->entryOpenOrCloseMask, 0b001);
  EXPECT_EQ(c->entryCloseOnlyMask, 0b010);
  EXPECT_EQ(c->entryOpenOnlyMask, 0b100);
  EXPECT_STREQ(c->trendCaptions[0], "x20");
  EXPECT_STREQ(c->trendCaptions[1], "ht400");
  EXPECT_STREQ(c->trendCaptions[2], "");
  EXPECT_STREQ(c->entryCaptions[0], "o5");
  // The TradingState carries the same masks and counts.
  const TradingState& t = *c->trading;
  EXPECT_EQ(t.context, c.get());
  EXPECT_EQ(t.trendChartCount, 2);
  EXPECT_EQ(t.entryChartCount, 3);
  EXPECT_EQ(t.trendCloseOnlyMask, 0b01);
  EXPECT_EQ(t.trendOpenMask, 0b10);
  EXPECT_EQ(t.entryOpenOrCloseMask, 0b001);
  EXPECT_EQ(t.entryCloseOnlyMask, 0b010);
  EXPECT_EQ(t.entryOpenOnlyMask, 0b100);
  EXPECT_EQ(t.tickSize, 0.25);
}

TEST(ConfigureEngine, FlagBitsWithoutASizeMakeNoChartAndBitsAbove27AreIgnored) {
  auto c = Configured(Parameters({kTrendCloseOnly, 0xF0000000u | 30}, 0,
                                 {kEntryCloseOnly, 0xF0000000u | kEntryOpenOnly | 5}));
  EXPECT_EQ(c->trendChartCount, 1);
  EXPECT_EQ(c->trendCloseOnlyMask, 0);
  EXPECT_STREQ(c->trendCaptions[0], "h30");
  EXPECT_EQ(c->entryChartCount, 1);
  EXPECT_EQ(c->entryCloseOnlyMask, 0);
  EXPECT_EQ(c->entryOpenOnlyMask, 1);
  EXPECT_STREQ(c->entryCaptions[0], "t5");
}

TEST(ConfigureEngine, ConsideredCountFallsBackToAllCharts) {
  const struct {
    int argument;
    int charts;
    int expected;
  } cases[] = {{0, 5, 5}, {-3, 5, 5}, {9, 5, 5}, {3, 5, 3}, {1, 5, 1}, {5, 5, 5}, {2, 0, 0}};
  for (const auto& k : cases) {
    StrategyParameters p = Parameters({}, k.argument, {40});
    for (int i = 0; i < k.charts; ++i) p.trendCharts[i] = 100u * (i + 1);
    auto c = Configured(p);
    EXPECT_EQ(c->trendChartsConsidered, k.expected) << k.argument << " of " << k.charts;
    EXPECT_EQ(c->trendChartCount, k.charts);
    EXPECT_NE(c->trendCharts, nullptr) << "an empty chart array still exists";
  }
}

TEST(Captions, FollowTheLetterOrder) {
  const struct {
    std::uint32_t spec;
    bool trend;
    const char* caption;
  } cases[] = {
      {kTrendCloseOnly | kTrendOpenTrade | 20, true, "hxt20"},
      {kTrendNoHedge | 20, true, "20"},
      {20, true, "h20"},
      {kTrendNoHedge | kTrendColourHistory | 1600, true, "c1600"},
      {kChartSizeMask, true, "h16777215"},
      {kEntryOpenOrCloseOwn | 5, false, "o5"},
      {kEntryCloseOnly | 5, false, "x5"},
      {kEntryOpenOrCloseOwn | kEntryOpenOnly | kEntryDisplayOnly | kEntryCloseOnly | 40, false,
       "otdx40"},
  };
  for (const auto& k : cases) {
    char caption[kCaptionSize] = {};
    if (k.trend)
      BuildTrendCaption(k.spec, caption);
    else
      BuildEntryCaption(k.spec, caption);
    EXPECT_STREQ(caption, k.caption);
  }
}

TEST(ResetTrading, ClearsTheBookAndKeepsParametersAndSwitches) {
  std::unique_ptr<EngineContext> c(CreateEngineContext(nullptr));
  TradingState& t = *c->trading;
  EXPECT_EQ(t.deals, nullptr);
  EXPECT_EQ(t.dcaInterval, 100);
  EXPECT_EQ(t.nextDealId, 1);
  EXPECT_EQ(t.longEnabled, 1);
  EXPECT_EQ(t.shortEnabled, 1);

  ConfigureEngine(*c, Parameters({1600}, 0, {40}));
  ASSERT_TRUE(SetPriceParameters(*c, {0.2, 1.0, 1.5, 100, 7, 50, 2, 5.0, 0xB}));
  t.bid = t.ask = 1.5;
  t.tickTime = 99;
  t.trendWord = 3;
  t.trendVote = 1;
  t.commands[0] = 1;
  t.commandCount = 1;
  t.dealCount = 3;
  t.filledDealCount = 2;
  t.nextDealId = 40;
  t.netPosition = t.floatingProfit = t.closedProfit = 4;
  t.cadRequested = t.journalEnabled = 1;
  t.longEnabled = 0;
  t.journalLine[0] = 'x';

  ResetTrading(t);
  EXPECT_EQ(t.dealCapacity, 20);
  EXPECT_EQ(t.dealCount, 0);
  EXPECT_EQ(t.bid, 0);
  EXPECT_EQ(t.ask, 0);
  EXPECT_EQ(t.tickTime, 0u);
  EXPECT_EQ(t.trendWord, 0u);
  EXPECT_EQ(t.trendVote, 0);
  EXPECT_EQ(t.commands[0], 0u);
  EXPECT_EQ(t.commandCount, 0);
  EXPECT_EQ(t.filledDealCount, 0);
  EXPECT_EQ(t.netPosition, 0);
  EXPECT_EQ(t.floatingProfit, 0);
  EXPECT_EQ(t.closedProfit, 0);
  EXPECT_EQ(t.cadRequested, 0);
  EXPECT_EQ(t.journalEnabled, 0);
  EXPECT_EQ(t.nextDealId, 1);
  // Kept: context, chart data, the price parameters, the switches and the last journal line.
  EXPECT_EQ(t.context, c.get());
  EXPECT_EQ(t.tickSize, 0.25);
  EXPECT_EQ(t.dealSize, 0.2);
  EXPECT_EQ(t.dealCommission, 1.5);
  EXPECT_EQ(t.dcaInterval, 7);
  EXPECT_EQ(t.stdIntervalMinDeals, 2);
  EXPECT_EQ(t.tradingFlags, 0xBu);
  EXPECT_EQ(t.longEnabled, 0);
  EXPECT_EQ(t.journalLine[0], 'x');
}

TEST(ConfigureEngine, StartsOverButKeepsPriceParametersAndTheWindowRecord) {
  std::unique_ptr<EngineContext> c(CreateEngineContext(nullptr));
  EXPECT_FALSE(SetPriceParameters(*c, {1, 1, 1, 1, 1, 1, 1, 1, 1})) << "before InitializeKMR";
  EXPECT_EQ(c->trading->dealSize, 0);

  ConfigureEngine(*c, Parameters({1600}, 0, {40}));
  ASSERT_NE(c->window, nullptr);
  EngineWindow* window = c->window;
  EXPECT_EQ(window->candleWidth, 5);
  EXPECT_EQ(window->historySpan, 172800);
  EXPECT_EQ(window->fontPoints, 8);
  AddMessageLine(*window, "hello", 5);
  window->candleWidth = 9;
  c->live = 1;
  c->trendWord = 7;
  ASSERT_TRUE(SetPriceParameters(*c, {0.5, 2, 3, 4, 5, 6, 7, 8, 9}));

  ConfigureEngine(*c, Parameters({800, 400}, 0, {}));
  EXPECT_EQ(c->window, window);
  EXPECT_EQ(window->messages.count, 0);
  EXPECT_EQ(window->candleWidth, 9);
  EXPECT_EQ(window->trendChartCount, 2);
  EXPECT_EQ(window->entryChartCount, 0);
  EXPECT_EQ(c->live, 0u);
  EXPECT_EQ(c->trendWord, 0u);
  EXPECT_EQ(c->trading->dealSize, 0.5);
  EXPECT_EQ(c->trading->maxNetPosition, 8);
}

}  // namespace
}  // namespace kmr
