// An entry chart: the same candles as a trend chart, turned into colour-change signals.
#pragma once

#include <cstdint>

#include "engine/charts/candle_builder.h"

namespace kmr {

struct EngineContext;

struct EntryChart : CandleBuilder {
  std::uint8_t displayOnly;

  void Init(double tickSize, std::int32_t tickCount, bool displayOnly);
  // ChartResult: 0, 0x001 (candle completed) or a signal word (0x101, 0x301, 0x401, 0xC01).
  unsigned ProcessTick(double price, std::uint32_t time, bool newCandle);

 private:
  unsigned ProcessCandleStart(double price, bool newCandle);
};

// Inline for the pipeline's hot loop; `time` is accepted but not used.
inline unsigned EntryChart::ProcessTick(double price, std::uint32_t /*time*/, bool newCandle) {
  if (tickSize == 0) return 0;
  if (TakeInsideBand(*this, price, newCandle)) return 0;
  return ProcessCandleStart(price, newCandle);
}

// Copies up to `maximumCount` of entry chart `index`'s newest completed candles into `out`,
// oldest first, and returns how many it copied (at most 255; never the candle in progress).
std::int32_t RecentCandles(const EngineContext& context, std::int32_t index,
                           std::int32_t maximumCount, Candle* out);

}  // namespace kmr
