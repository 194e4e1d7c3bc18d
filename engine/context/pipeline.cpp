#include "engine/context/pipeline.h"

#include <cstring>

#include "engine/charts/candle.h"
#include "engine/charts/entry_chart.h"
#include "engine/charts/trend_chart.h"
#include "engine/charts/trend_vote.h"
#include "engine/context/engine_context.h"
#include "engine/context/engine_window.h"
#include "engine/context/message_list.h"
#include "engine/trading/deal_table.h"
#include "engine/trading/signals.h"
#include "engine/trading/trading_state.h"
#include "engine/window/window.h"

namespace kmr {

namespace {

bool HaveCharts(const EngineContext& context) {
  return context.trendCharts != nullptr && context.entryCharts != nullptr;
}

void RequestRepaintIfOpen(EngineContext& context) {
  if (context.window != nullptr && context.window->windowHandle != 0)
    RequestRepaint(*context.window);
}

// Feeds one price to every trend chart, then to every entry chart; results unused.
// The arrays and counts are read once: chart stores through byte fields could alias them.
void FeedHistoryPrice(EngineContext& context, double price, std::uint32_t time, bool newCandle) {
  TrendChart* const trend = context.trendCharts;
  const int trendCount = context.trendChartCount;
  for (int i = 0; i < trendCount; ++i) trend[i].ProcessTick(price, time, newCandle);
  EntryChart* const entry = context.entryCharts;
  const int entryCount = context.entryChartCount;
  for (int i = 0; i < entryCount; ++i) entry[i].ProcessTick(price, time, newCandle);
}

// "<title> n1 n2 ..." in a 256-character line, each number formatted on its own first.
template <typename Chart, typename Count>
void AddSummaryLine(EngineWindow& window, const char* title, const Chart* charts, int chartCount,
                    Count count) {
  char line[256];
  FormatBounded(line, sizeof line, "%s", title);
  std::size_t used = std::strlen(line);
  for (int i = 0; i < chartCount; ++i) {
    char number[64];
    FormatBounded(number, sizeof number, " %i", count(charts[i]));
    FormatBounded(line + used, sizeof line - used, "%s", number);
    used = std::strlen(line);
  }
  AddMessageLine(window, line, static_cast<int>(used));
}

}  // namespace

int ProcessNewTick(EngineContext& context, double bid, double ask, std::int32_t time,
                   bool newCandle) {
  if (!HaveCharts(context)) return 0;
  TradingState* trading = context.trading;
  const auto tickTime = static_cast<std::uint32_t>(time);

  // The book takes the new prices and checks the CAD target before any chart moves.
  bool hasPosition = false;
  if (context.live && trading) hasPosition = OnLiveTick(*trading, bid, ask, tickTime);

  unsigned combined = 0;
  TrendChart* const trend = context.trendCharts;
  const int trendCount = context.trendChartCount;
  for (int i = 0; i < trendCount; ++i) combined |= trend[i].ProcessTick(bid, tickTime, newCandle);

  // The trend is handled once per tick, after every trend chart has moved.
  if (combined & kResultEvent) {
    context.trendWord = ComputeTrendWord(context.trendCharts, context.trendChartCount);
    if (context.live && trading)
      OnNewTrend(*trading, context.trendWord,
                 ComputeTrendVote(context.trendWord, context.trendChartsConsidered));
  }

  // Each entry chart's signals are handled before the next entry chart sees the tick.
  // Nothing the trading logic does replaces the chart arrays, so they are read once here too.
  EntryChart* const entry = context.entryCharts;
  const int entryCount = context.entryChartCount;
  for (int j = 0; j < entryCount; ++j) {
    const unsigned result = entry[j].ProcessTick(bid, tickTime, newCandle);
    if (context.live && (result & kResultSignals) && trading)
      OnEntrySignal(*trading, j, result, /*external=*/false);
    combined |= result;
  }

  if (context.live && ((combined & kResultEvent) || hasPosition)) RequestRepaintIfOpen(context);

  if (combined != 0) return 1;
  return trading ? trading->commandCount : 0;
}

int ProcessHistoryM1(EngineContext& context, double open, double high, double low, double close,
                     std::int32_t time, bool newCandle) {
  if (!HaveCharts(context)) return 0;
  const auto t = static_cast<std::uint32_t>(time);
  // A rising bar is taken to have dipped first; a falling one (or NaN) to have peaked first.
  const bool rising = close >= open;
  const double second = rising ? low : high;
  const double third = rising ? high : low;
  TrendChart* const trend = context.trendCharts;
  const int trendCount = context.trendChartCount;
  for (int i = 0; i < trendCount; ++i) {
    TrendChart& chart = trend[i];
    chart.ProcessTick(open, t, newCandle);
    chart.ProcessTick(second, t, false);
    chart.ProcessTick(third, t, false);
    chart.ProcessTick(close, t, false);
  }
  EntryChart* const entry = context.entryCharts;
  const int entryCount = context.entryChartCount;
  for (int i = 0; i < entryCount; ++i) {
    EntryChart& chart = entry[i];
    chart.ProcessTick(open, t, newCandle);
    chart.ProcessTick(second, t, false);
    chart.ProcessTick(third, t, false);
    chart.ProcessTick(close, t, false);
  }
  return 1;
}

int ProcessHistoryTick(EngineContext& context, double price, std::int32_t time, bool newCandle) {
  if (!HaveCharts(context)) return 0;
  FeedHistoryPrice(context, price, static_cast<std::uint32_t>(time), newCandle);
  return 1;
}

int ProcessHistoryDataFinished(EngineContext& context) {
  if (!HaveCharts(context)) return 0;
  context.live = 1;
  context.trendWord = ComputeTrendWord(context.trendCharts, context.trendChartCount);
  if (TradingState* trading = context.trading) {
    trading->trendWord = context.trendWord;
    trading->trendVote = ComputeTrendVote(context.trendWord, context.trendChartsConsidered);
    if (trading->context) LogMessage(context, "History data processing finished");
  }
  RequestRepaintIfOpen(context);
  if (EngineWindow* window = context.window) {
    AddSummaryLine(*window, "Vuz1 candles:", context.trendCharts, context.trendChartCount,
                   [](const TrendChart& chart) { return chart.trendChangeCount; });
    AddSummaryLine(*window, "Simple candles:", context.entryCharts, context.entryChartCount,
                   [](const EntryChart& chart) { return chart.completedCount; });
  }
  return 0;
}

}  // namespace kmr
