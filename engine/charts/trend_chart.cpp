#include "engine/charts/trend_chart.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kmr {

namespace {

// The slot `distance` candles before `slot`, for any distance a setting may give.
int SlotBefore(int slot, std::int64_t distance) {
  const std::int64_t s = (slot - distance) % kRingSize;
  return static_cast<int>(s < 0 ? s + kRingSize : s);
}

}  // namespace

void TrendChart::Init(double tickSize, std::int32_t smoothing1, std::int32_t smoothing2,
                      double reversalDeviation, std::int32_t tickCount, bool colourHistory) {
  InitCandles(*this, tickSize, tickCount);
  this->smoothing1 = smoothing1;
  this->smoothing2 = smoothing2;
  this->reversalDeviation = reversalDeviation;
  this->colourHistory = colourHistory ? 1 : 0;
  rawDirection = bandDirection = recordedDirection = 1;
  // Up, so that nothing is recorded until the direction first turns down.
  currentDirection = 1;
  lastTickTime = 0;
  lowerBand = upperBand = 0;
  rangeWeightedSum = rangeSum = 0;
  trendChangeCount = 0;
}

unsigned TrendChart::ProcessCandleStart(double price, std::uint32_t time, bool newCandle) {
  CandleStart start;
  LeaveCandle(*this, price, newCandle, start);
  const bool changed = StartCandle(start);
  RebuildBands();
  TestDirection();
  lastTickTime = time;
  if (!changed) return 0;
  return trendDirection[trendChangeCount - 1] != 0 ? kResultEvent | kResultUp1
                                                   : kResultEvent | kResultDown1;
}

bool TrendChart::StartCandle(const CandleStart& start) {
  if (currentIndex != -1) FinishCandle(currentIndex);
  PlaceCandle(*this, start);
  if (currentDirection == recordedDirection) return false;
  // lastTickTime still holds the previous tick: the change is stamped with it.
  RecordTrend(currentDirection, lastTickTime);
  recordedDirection = currentDirection;
  return true;
}

void TrendChart::RecordTrend(std::uint8_t direction, std::uint32_t time) {
  trendDirection[trendChangeCount] = direction;
  trendTime[trendChangeCount] = time;
  if (trendChangeCount < kTrendHistoryKept) {
    ++trendChangeCount;
    return;
  }
  std::memmove(trendDirection, trendDirection + 1, kTrendHistoryKept * sizeof trendDirection[0]);
  std::memmove(trendTime, trendTime + 1, kTrendHistoryKept * sizeof trendTime[0]);
}

void TrendChart::FinishCandle(int i) {
  const std::int32_t k = completedCount;
  const int prev = PreviousSlot(i);

  if (k < 1) {
    trueRangeAverage[i] = high[i] - low[i];
  } else {
    const double range = std::max(
        {high[i] - low[i], std::fabs(high[i] - close[prev]), std::fabs(low[i] - close[prev])});
    const std::int32_t p = std::min<std::int64_t>(std::int64_t{k} + 1, smoothing2);
    trueRangeAverage[i] = ((p - 1.0) * trueRangeAverage[prev] + range) / p;
  }

  if (k == 0) {
    smoothedClose[i] = close[i];
  } else {
    const double a = 2.0 / (smoothing1 + 1.0);
    smoothedClose[i] = (1 - a) * smoothedClose[prev] + a * close[i];
  }

  // Linearly weighted average of the true range average over the last p candles, kept as two
  // running sums instead of a scan of the ring.
  const std::int32_t p = std::min<std::int64_t>(std::int64_t{k} + 1, smoothing1);
  const bool full = k >= smoothing1;
  const double x = trueRangeAverage[i];
  const double weighted = p * x + (rangeWeightedSum - (full ? rangeSum : 0));
  rangeSum = rangeSum + x - (full ? trueRangeAverage[SlotBefore(i, smoothing1)] : 0);
  rangeWeightedSum = weighted;
  smoothedRange[i] = weighted / ((p + 1.0) * (p * 0.5));
}

// Done only after a candle start: the slot before currentIndex is the candle just completed.
void TrendChart::RebuildBands() {
  if (completedCount < 1) return;  // the first candle: TestDirection keeps both directions up
  const int prev = PreviousSlot(currentIndex);
  const double mid = smoothedClose[prev];
  const double width = tickSize > smoothedRange[prev] ? tickSize : smoothedRange[prev];
  const double dev = width * reversalDeviation;
  const double lo = mid - dev;
  const double hi = mid + dev;
  // While the direction holds, the far band trails the price and only moves with the trend.
  if (rawDirection) {
    upperBand = hi;
    lowerBand = bandDirection ? std::max(lowerBand, lo) : lo;
  } else {
    lowerBand = lo;
    upperBand = bandDirection ? hi : std::min(upperBand, hi);
  }
  bandDirection = rawDirection;
}

}  // namespace kmr
