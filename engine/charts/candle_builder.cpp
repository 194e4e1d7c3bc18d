#include "engine/charts/candle_builder.h"

#include <cmath>

namespace kmr {

void InitCandles(CandleBuilder& b, double tickSize, std::int32_t n) {
  b.tickSize = tickSize;
  b.trendStep = n * tickSize;
  // 2n is formed as a 32-bit integer, wrapping rather than overflowing for absurd sizes.
  const auto twiceN = static_cast<std::int32_t>(static_cast<std::uint32_t>(n) * 2u);
  b.reversalStep = twiceN * tickSize;
  // In double precision on purpose: n = 1500 gives 1006 ticks, not 1005.
  b.openOffset = std::ceil(n * 0.67) * tickSize;
  b.brickDirection = 0;
  b.currentIndex = -1;
  b.completedCount = -1;
}

void LeaveCandle(CandleBuilder& b, double price, bool newCandle, CandleStart& start) {
  if (newCandle || b.currentIndex < 0) {
    // Before any completed move the band has width zero, so the first differing price completes
    // the candle in its own direction.
    const double m = b.brickDirection == 0 ? 0.0 : 1.0;
    start.candle = {price, price, price, price};
    start.lowerTrigger = price - m * b.trendStep;
    start.upperTrigger = price + m * b.trendStep;
    return;
  }

  // The upper trigger is tested first; TakeInsideBand has ruled out the inside of the band.
  const int i = b.currentIndex;
  const bool up = price > b.upperTrigger;
  const double d = up ? 1.0 : -1.0;
  if (up) {
    b.close[i] = b.upperTrigger;
    b.high[i] = b.close[i];
  } else {
    b.close[i] = b.lowerTrigger;
    b.low[i] = b.close[i];
  }

  // The next tick meets the new band, so a gap completes one candle per tick.
  const double c = b.close[i];
  b.brickDirection = d;
  start.upperTrigger = up ? c + b.trendStep : c + b.reversalStep;
  start.lowerTrigger = up ? c - b.reversalStep : c - b.trendStep;
  start.candle.open = c - d * b.openOffset;
  start.candle.close = c;
  start.candle.high = up ? c : c + b.openOffset;
  start.candle.low = up ? c - b.openOffset : c;
}

void PlaceCandle(CandleBuilder& b, const CandleStart& start) {
  b.completedCount += 1;
  b.currentIndex = (b.currentIndex + 1) % kRingSize;  // -1 before the first candle
  const int i = b.currentIndex;
  b.open[i] = start.candle.open;
  b.high[i] = start.candle.high;
  b.low[i] = start.candle.low;
  b.close[i] = start.candle.close;
  b.lowerTrigger = start.lowerTrigger;
  b.upperTrigger = start.upperTrigger;
}

}  // namespace kmr
