// InitializeKMR, SetKMRPriceParameters and ResetTrading: turning the strategy parameters into
// charts, masks, captions and a fresh trading state.
#pragma once

#include <cstdint>

namespace kmr {

struct EngineContext;
struct TradingState;

struct StrategyParameters {
  double tickSize;
  std::int32_t smoothing1;
  std::int32_t smoothing2;
  double reversalDeviation;
  std::uint32_t trendCharts[8];
  std::int32_t trendChartsConsidered;
  std::uint32_t entryCharts[8];
};

struct PriceParameters {
  double dealSize;
  double tickValue;
  double dealCommission;
  double cadProfit;
  std::int32_t dcaInterval;
  std::int32_t stdIntervalTicks;
  std::int32_t stdIntervalMinDeals;
  double maxNetPosition;
  std::uint32_t flags;
};

// The work of InitializeKMR: rebuilds charts, masks and captions, resets the trading state,
// creates the window record and starts the window thread unless a window is open.
void ConfigureEngine(EngineContext& context, const StrategyParameters& parameters);
// Returns false (and changes nothing) before the chart arrays exist.
bool SetPriceParameters(EngineContext& context, const PriceParameters& parameters);
void ResetTrading(TradingState& trading);
// Writes the caption of a chart word ("hxt20", "o5", ...) into `out` of kCaptionSize chars.
void BuildTrendCaption(std::uint32_t spec, char* out);
void BuildEntryCaption(std::uint32_t spec, char* out);

}  // namespace kmr
