#include "engine/context/configuration.h"

#include <cstring>
#include <new>

#include "common/chart_spec.h"
#include "engine/charts/entry_chart.h"
#include "engine/charts/trend_chart.h"
#include "engine/context/engine_context.h"
#include "engine/context/engine_window.h"
#include "engine/context/log_file.h"
#include "engine/context/message_list.h"
#include "engine/trading/deal_table.h"
#include "engine/trading/trading_state.h"
#include "engine/window/window.h"

namespace kmr {

namespace {

// Charts move up over skipped (size 0) words, so a mask bit follows the chart's position.
struct ChartLayout {
  std::uint32_t specs[kMaxCharts];
  std::int32_t count;
};

ChartLayout LayOutCharts(const std::uint32_t (&words)[8]) {
  ChartLayout layout{};
  for (std::uint32_t word : words) {
    if (ChartSize(word) == 0) continue;
    layout.specs[layout.count++] = word;
  }
  return layout;
}

std::uint8_t MaskOf(const ChartLayout& layout, std::uint32_t flag) {
  std::uint8_t mask = 0;
  for (int i = 0; i < layout.count; ++i)
    if (HasFlag(layout.specs[i], flag)) mask |= static_cast<std::uint8_t>(1u << i);
  return mask;
}

void AppendSize(std::uint32_t spec, char* out) {
  std::size_t used = std::strlen(out);
  FormatBounded(out + used, kCaptionSize - used, "%i", ChartSize(spec));
}

}  // namespace

void BuildTrendCaption(std::uint32_t spec, char* out) {
  char* p = out;
  if (!HasFlag(spec, kTrendNoHedge)) *p++ = 'h';
  if (HasFlag(spec, kTrendCloseOnly)) *p++ = 'x';
  if (HasFlag(spec, kTrendOpenTrade)) *p++ = 't';
  if (HasFlag(spec, kTrendColourHistory)) *p++ = 'c';
  *p = '\0';
  AppendSize(spec, out);
}

void BuildEntryCaption(std::uint32_t spec, char* out) {
  char* p = out;
  if (HasFlag(spec, kEntryOpenOrCloseOwn)) *p++ = 'o';
  if (HasFlag(spec, kEntryOpenOnly)) *p++ = 't';
  if (HasFlag(spec, kEntryDisplayOnly)) *p++ = 'd';
  if (HasFlag(spec, kEntryCloseOnly)) *p++ = 'x';
  *p = '\0';
  AppendSize(spec, out);
}

void ResetTrading(TradingState& trading) {
  delete[] trading.deals;
  trading.deals = new (std::nothrow) DealRecord[kInitialDealCapacity]();
  trading.dealCapacity = trading.deals ? kInitialDealCapacity : 0;
  trading.dealCount = 0;
  trading.bid = 0;
  trading.ask = 0;
  trading.tickTime = 0;
  trading.trendWord = 0;
  trading.trendVote = 0;
  std::memset(trading.commands, 0, sizeof trading.commands);
  trading.commandCount = 0;
  trading.filledDealCount = 0;
  trading.netPosition = 0;
  trading.floatingProfit = 0;
  trading.closedProfit = 0;
  trading.cadRequested = 0;
  trading.journalEnabled = 0;
  trading.nextDealId = 1;
  trading.profitsPending = 0;
  BookChanged(trading);
}

void ConfigureEngine(EngineContext& context, const StrategyParameters& parameters) {
  const ChartLayout trend = LayOutCharts(parameters.trendCharts);
  const ChartLayout entry = LayOutCharts(parameters.entryCharts);

  delete[] context.trendCharts;
  context.trendCharts = nullptr;
  context.trendChartCount = trend.count;
  context.trendNoHedgeMask = MaskOf(trend, kTrendNoHedge);
  context.trendCloseOnlyMask = MaskOf(trend, kTrendCloseOnly);
  context.trendOpenMask = MaskOf(trend, kTrendOpenTrade);

  const std::int32_t considered = parameters.trendChartsConsidered;
  context.trendChartsConsidered =
      (considered < 1 || considered > trend.count) ? trend.count : considered;

  delete[] context.entryCharts;
  context.entryCharts = nullptr;
  context.entryChartCount = entry.count;
  context.entryOpenOrCloseMask = MaskOf(entry, kEntryOpenOrCloseOwn);
  context.entryOpenOnlyMask = MaskOf(entry, kEntryOpenOnly);
  context.entryCloseOnlyMask = MaskOf(entry, kEntryCloseOnly);

  // Out of memory leaves the arrays missing, and the exports then do nothing, as before the
  // first InitializeKMR.
  context.trendCharts = new (std::nothrow) TrendChart[trend.count]();
  context.entryCharts = new (std::nothrow) EntryChart[entry.count]();
  if (context.trendCharts == nullptr || context.entryCharts == nullptr) {
    delete[] context.trendCharts;
    delete[] context.entryCharts;
    context.trendCharts = nullptr;
    context.entryCharts = nullptr;
  } else {
    for (int i = 0; i < trend.count; ++i) {
      const std::uint32_t spec = trend.specs[i];
      context.trendCharts[i].Init(parameters.tickSize, parameters.smoothing1, parameters.smoothing2,
                                  parameters.reversalDeviation, ChartSize(spec),
                                  HasFlag(spec, kTrendColourHistory));
    }
    for (int i = 0; i < entry.count; ++i) {
      const std::uint32_t spec = entry.specs[i];
      context.entryCharts[i].Init(parameters.tickSize, ChartSize(spec),
                                  HasFlag(spec, kEntryDisplayOnly));
    }
  }

  std::memset(context.trendCaptions, 0, sizeof context.trendCaptions);
  std::memset(context.entryCaptions, 0, sizeof context.entryCaptions);
  for (int i = 0; i < trend.count; ++i) BuildTrendCaption(trend.specs[i], context.trendCaptions[i]);
  for (int i = 0; i < entry.count; ++i) BuildEntryCaption(entry.specs[i], context.entryCaptions[i]);

  if (TradingState* trading = context.trading) {
    trading->trendNoHedgeMask = context.trendNoHedgeMask;
    trading->entryOpenOrCloseMask = context.entryOpenOrCloseMask;
    trading->trendCloseOnlyMask = context.trendCloseOnlyMask;
    trading->entryOpenOnlyMask = context.entryOpenOnlyMask;
    trading->trendOpenMask = context.trendOpenMask;
    trading->entryCloseOnlyMask = context.entryCloseOnlyMask;
    trading->trendChartCount = context.trendChartCount;
    trading->entryChartCount = context.entryChartCount;
    trading->tickSize = parameters.tickSize;
    trading->context = &context;
    ResetTrading(*trading);
  }

  if (context.window == nullptr) context.window = new EngineWindow;
  EngineWindow& window = *context.window;
  window.context = &context;
  window.moduleHandle = context.moduleHandle;
  window.trendChartCount = context.trendChartCount;
  window.entryChartCount = context.entryChartCount;
  window.messages.Clear();
  if (window.windowHandle != 0)
    RequestRepaint(window);
  else
    StartWindowThread(window);

  context.live = 0;
  context.trendWord = 0;
  CloseEngineLogFile(context);
}

bool SetPriceParameters(EngineContext& context, const PriceParameters& parameters) {
  if (!context.trendCharts || !context.entryCharts || !context.trading) return false;
  TradingState& trading = *context.trading;
  // The deals keep their profits at the old values until the next valuation.
  SettleDealProfits(trading);
  BookChanged(trading);
  trading.dealSize = parameters.dealSize;
  trading.tickValue = parameters.tickValue;
  trading.dealCommission = parameters.dealCommission;
  trading.cadProfit = parameters.cadProfit;
  trading.dcaInterval = parameters.dcaInterval;
  trading.stdIntervalTicks = parameters.stdIntervalTicks;
  trading.stdIntervalMinDeals = parameters.stdIntervalMinDeals;
  trading.maxNetPosition = parameters.maxNetPosition;
  trading.tradingFlags = parameters.flags;
  return true;
}

}  // namespace kmr
