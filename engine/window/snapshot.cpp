#include "engine/window/snapshot.h"

#include <algorithm>
#include <cstring>

#include "engine/charts/entry_chart.h"
#include "engine/charts/trend_chart.h"
#include "engine/context/engine_window.h"
#include "engine/trading/trading_state.h"

namespace kmr {

ViewSettings ViewOf(const EngineWindow& w) {
  ViewSettings v;
  v.barMarginRight = w.barMarginRight;
  v.barMarginTop = w.barMarginTop;
  v.barMarginBottom = w.barMarginBottom;
  v.candleGap = w.candleGap;
  v.candleMarginRight = w.candleMarginRight;
  v.candleMarginTop = w.candleMarginTop;
  v.candleMarginBottom = w.candleMarginBottom;
  v.trendChartCount = w.trendChartCount;
  v.entryChartCount = w.entryChartCount;
  v.candleWidth = w.candleWidth;
  v.historySpan = w.historySpan;
  v.fontPoints = w.fontPoints;
  return v;
}

std::int32_t EntryRowCapacity(const ViewSettings& view, std::int32_t rowWidth) {
  const std::int32_t pitch = view.candleWidth + view.candleGap;
  if (pitch <= 0) return 0;
  return std::clamp((rowWidth - view.candleMarginRight) / pitch, 0, kEntryCandlesDrawn);
}

namespace {

void CopyTrendRow(const TrendChart& chart, TrendRowData& row) {
  row.changeCount = std::clamp(chart.trendChangeCount, 0, kTrendHistoryKept);
  row.colourHistory = chart.colourHistory;
  row.count = std::min(row.changeCount, kTrendChangesDrawn);
  const int first = row.changeCount - row.count;
  for (int i = 0; i < row.count; ++i) {
    row.direction[i] = chart.trendDirection[first + i];
    row.time[i] = static_cast<std::int32_t>(chart.trendTime[first + i]);
  }
}

}  // namespace

void TakeSnapshot(const EngineContext* context, const EngineWindow& window, std::int32_t width,
                  WindowSnapshot& out) {
  out.hasContext = context != nullptr;
  out.view = ViewOf(window);
  out.messages = window.messages;
  out.trendChartCount = 0;
  out.entryChartCount = 0;
  out.trendChartsExist = false;
  out.entryChartsExist = false;
  out.trendWord = 0;
  out.hasTrading = false;
  out.netPosition = out.floatingProfit = out.closedProfit = 0;
  out.longEnabled = out.shortEnabled = true;
  for (auto& row : out.trend) row.changeCount = row.count = 0;
  for (auto& row : out.entry) row.count = 0;
  std::memset(out.trendCaptions, 0, sizeof out.trendCaptions);
  std::memset(out.entryCaptions, 0, sizeof out.entryCaptions);
  if (context == nullptr) return;

  out.trendChartCount = std::clamp(context->trendChartCount, 0, kMaxCharts);
  out.entryChartCount = std::clamp(context->entryChartCount, 0, kMaxCharts);
  out.trendChartsExist = context->trendCharts != nullptr;
  out.entryChartsExist = context->entryCharts != nullptr;
  out.trendWord = context->trendWord;
  std::memcpy(out.trendCaptions, context->trendCaptions, sizeof out.trendCaptions);
  std::memcpy(out.entryCaptions, context->entryCaptions, sizeof out.entryCaptions);
  if (out.trendChartsExist)
    for (int k = 0; k < out.trendChartCount; ++k)
      CopyTrendRow(context->trendCharts[k], out.trend[k]);
  if (out.entryChartsExist) {
    const std::int32_t capacity = EntryRowCapacity(out.view, width - width / 2);
    for (int k = 0; k < out.entryChartCount; ++k) {
      const std::int32_t got = RecentCandles(*context, k, capacity, out.entry[k].candles);
      out.entry[k].count = std::clamp(got, 0, capacity);
    }
  }
  if (const TradingState* trading = context->trading) {
    out.hasTrading = true;
    out.netPosition = trading->netPosition;
    out.floatingProfit = trading->floatingProfit;
    out.closedProfit = trading->closedProfit;
    out.longEnabled = trading->longEnabled != 0;
    out.shortEnabled = trading->shortEnabled != 0;
  }
}

}  // namespace kmr
