// A trend chart: candles of fixed price size, smoothed bands and the recorded trend changes.
#pragma once

#include <cstdint>

#include "engine/charts/candle_builder.h"

namespace kmr {

constexpr int kTrendHistorySize = 512;
constexpr int kTrendHistoryKept = 511;

struct TrendChart : CandleBuilder {
  double smoothedClose[kRingSize];
  double smoothedRange[kRingSize];
  double trueRangeAverage[kRingSize];
  double rangeWeightedSum;
  double rangeSum;
  std::uint8_t trendDirection[kTrendHistorySize];  // 1 up, 0 down; oldest first
  std::uint32_t trendTime[kTrendHistorySize];
  std::uint32_t lastTickTime;
  std::int32_t trendChangeCount;  // 0..511; the newest change is at trendChangeCount - 1
  std::uint8_t recordedDirection;
  std::uint8_t currentDirection;
  std::int32_t smoothing1;
  std::int32_t smoothing2;
  double reversalDeviation;
  std::uint8_t colourHistory;
  std::uint8_t rawDirection;
  std::uint8_t bandDirection;
  double lowerBand;
  double upperBand;

  void Init(double tickSize, std::int32_t smoothing1, std::int32_t smoothing2,
            double reversalDeviation, std::int32_t tickCount, bool colourHistory);
  // Returns 0, 0x101 (new trend up) or 0x401 (new trend down).
  unsigned ProcessTick(double price, std::uint32_t time, bool newCandle);

 private:
  unsigned ProcessCandleStart(double price, std::uint32_t time, bool newCandle);
  bool StartCandle(const CandleStart& start);
  void FinishCandle(int slot);
  void RebuildBands();
  void TestDirection();
  void RecordTrend(std::uint8_t direction, std::uint32_t time);
};

// Inline so that the pipeline's loop over the charts runs the common inside-band tick without
// a call; a candle start goes out of line.
inline unsigned TrendChart::ProcessTick(double price, std::uint32_t time, bool newCandle) {
  if (tickSize == 0) return 0;
  if (!TakeInsideBand(*this, price, newCandle)) return ProcessCandleStart(price, time, newCandle);
  TestDirection();
  lastTickTime = time;
  return 0;
}

// The direction that the candle in progress gives against the bands (no band rebuild).
inline void TrendChart::TestDirection() {
  if (completedCount < 1) {
    rawDirection = bandDirection = 1;
    return;
  }
  const double c = close[currentIndex];
  if (bandDirection)
    rawDirection = lowerBand > c ? 0 : 1;
  else
    rawDirection = c > upperBand ? 1 : 0;
  currentDirection = rawDirection;
}

}  // namespace kmr
