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

// The common case of every tick, kept inline for the hot loop: the price stays inside the band
// (the triggers themselves are inside) and only moves the candle in progress. Returns false,
// changing nothing, when a new candle must start instead: forced, first tick, or band left.
inline bool TakeInsideBand(CandleBuilder& b, double price, bool newCandle) {
  const int i = b.currentIndex;
  if (newCandle || i < 0 || price > b.upperTrigger || price < b.lowerTrigger) return false;
  b.close[i] = price;
  // Written as selects, not branches: new extremes come at random.
  b.high[i] = price > b.high[i] ? price : b.high[i];
  b.low[i] = price < b.low[i] ? price : b.low[i];
  return true;
}

// For a tick that TakeInsideBand refused: completes the candle in progress at its trigger (one
// per tick however far the price jumped) or abandons it for a forced start, and fills `start`
// with the candle to begin and its band.
void LeaveCandle(CandleBuilder& builder, double price, bool newCandle, CandleStart& start);

// Moves the candle in progress by one price. Returns true when a new candle must start and fills
// `start`; otherwise the price stayed inside the band and only updated the candle in progress.
inline bool StepCandle(CandleBuilder& builder, double price, bool newCandle, CandleStart& start) {
  if (TakeInsideBand(builder, price, newCandle)) return false;
  LeaveCandle(builder, price, newCandle, start);
  return true;
}

// Counts the previous candle as completed and stores the new one in the next slot.
void PlaceCandle(CandleBuilder& builder, const CandleStart& start);

}  // namespace kmr
