#include "engine/charts/entry_chart.h"

#include <algorithm>

#include "engine/context/engine_context.h"

namespace kmr {

namespace {

bool IsBullish(const CandleBuilder& b, int slot) {
  return b.close[slot] >= b.open[slot];
}

}  // namespace

void EntryChart::Init(double tickSize, std::int32_t tickCount, bool displayOnly) {
  InitCandles(*this, tickSize, tickCount);
  this->displayOnly = displayOnly ? 1 : 0;
}

unsigned EntryChart::ProcessCandleStart(double price, bool newCandle) {
  CandleStart start;
  LeaveCandle(*this, price, newCandle, start);
  PlaceCandle(*this, start);
  if (displayOnly) return 0;
  // The very first candle opens and closes at one price; the thresholds keep it out of every
  // colour comparison.
  if (completedCount <= 2) return kResultEvent;
  const int c1 = PreviousSlot(currentIndex);
  const int c2 = PreviousSlot(c1);
  const int c3 = PreviousSlot(c2);
  const bool up = IsBullish(*this, c1);
  if (up == IsBullish(*this, c2)) return kResultEvent;
  const unsigned base = kResultEvent | (up ? kResultUp1 : kResultDown1);
  if (completedCount <= 3) return base;
  if (IsBullish(*this, c3) == IsBullish(*this, c2)) return base | (up ? kResultUp2 : kResultDown2);
  return base;
}

std::int32_t RecentCandles(const EngineContext& context, std::int32_t index,
                           std::int32_t maximumCount, Candle* out) {
  if (context.entryCharts == nullptr || index < 0 || index >= context.entryChartCount) return 0;
  const EntryChart& chart = context.entryCharts[index];
  const std::int32_t k = std::min({maximumCount, kRingSize - 1, chart.completedCount});
  if (k < 1) return 0;
  int slot = chart.currentIndex;
  for (int j = k - 1; j >= 0; --j) {
    slot = PreviousSlot(slot);
    out[j] = {chart.open[slot], chart.high[slot], chart.low[slot], chart.close[slot]};
  }
  return k;
}

}  // namespace kmr
