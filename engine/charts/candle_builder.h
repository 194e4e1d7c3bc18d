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

constexpr int PreviousSlot(int slot) {
  return slot == 0 ? kRingSize - 1 : slot - 1;
}
constexpr int NextSlot(int slot) {
  return (slot + 1) % kRingSize;
}

// The candle a tick asks to start, with the band that will complete it.
struct CandleStart {
  Candle candle;
  double lowerTrigger;
  double upperTrigger;
};

void InitCandles(CandleBuilder& builder, double tickSize, std::int32_t tickCount);
// Moves the candle in progress by one price. Returns true when a new candle must start (forced,
// first tick, or the band was left) and fills `start`; otherwise the price stayed inside the band
// and only updated the candle in progress.
bool StepCandle(CandleBuilder& builder, double price, bool newCandle, CandleStart& start);
// Counts the previous candle as completed and stores the new one in the next slot.
void PlaceCandle(CandleBuilder& builder, const CandleStart& start);

}  // namespace kmr
