// Fixed-price-size candles shared by trend and entry charts.
#pragma once

#include <cstdint>

#include "engine/charts/candle.h"

namespace kmr {

// The ring of candles and the band that completes the candle in progress.
// Slot `currentIndex` holds the candle in progress; completed ones lie before it.
struct CandleBuilder {
  double open[kRingSize];
  double high[kRingSize];
  double low[kRingSize];
  double close[kRingSize];
  std::int32_t currentIndex;
  std::int32_t completedCount;
  double lowerTrigger;
  double upperTrigger;
  double tickSize;
  double trendStep;
  double reversalStep;
  double openOffset;
  double brickDirection;
};

}  // namespace kmr
