// What the window draws, copied from the engine under its lock so that drawing can happen
// outside it.
#pragma once

#include <cstdint>

#include "engine/charts/candle.h"
#include "engine/context/engine_context.h"
#include "engine/context/message_list.h"

namespace kmr {

struct EngineWindow;

constexpr int kTrendChangesDrawn = 200;
constexpr int kEntryCandlesDrawn = 255;

struct ViewSettings {
  std::int32_t barMarginRight = 5;
  std::int32_t barMarginTop = 5;
  std::int32_t barMarginBottom = 5;
  std::int32_t candleGap = 2;
  std::int32_t candleMarginRight = 5;
  std::int32_t candleMarginTop = 5;
  std::int32_t candleMarginBottom = 5;
  std::int32_t trendChartCount = 0;
  std::int32_t entryChartCount = 0;
  std::int32_t candleWidth = 5;
  std::int32_t historySpan = 172800;
  std::int32_t fontPoints = 8;
};

// The newest changes of one trend chart, oldest first.
struct TrendRowData {
  std::int32_t changeCount;  // all recorded changes, not only the copied ones
  std::uint8_t colourHistory;
  std::int32_t count;  // copied: min(changeCount, 200)
  std::uint8_t direction[kTrendChangesDrawn];
  std::int32_t time[kTrendChangesDrawn];
};

struct EntryRowData {
  std::int32_t count;
  Candle candles[kEntryCandlesDrawn];  // oldest first
};

struct WindowSnapshot {
  bool hasContext;
  ViewSettings view;
  std::int32_t trendChartCount;  // the context's counts: rows beyond them show nothing
  std::int32_t entryChartCount;
  bool trendChartsExist;
  bool entryChartsExist;
  std::uint32_t trendWord;
  char trendCaptions[kMaxCharts][kCaptionSize];
  char entryCaptions[kMaxCharts][kCaptionSize];
  TrendRowData trend[kMaxCharts];
  EntryRowData entry[kMaxCharts];
  MessageList messages;
  bool hasTrading;
  double netPosition;
  double floatingProfit;
  double closedProfit;
  bool longEnabled;
  bool shortEnabled;
};

ViewSettings ViewOf(const EngineWindow& window);
// Number of candles an entry row of `rowWidth` pixels holds (0 when none fits).
std::int32_t EntryRowCapacity(const ViewSettings& view, std::int32_t rowWidth);
// Copies what a picture `width` pixels wide needs. The caller holds the engine lock.
void TakeSnapshot(const EngineContext* context, const EngineWindow& window, std::int32_t width,
                  WindowSnapshot& out);

}  // namespace kmr
