#include "engine/charts/entry_chart.h"

namespace kmr {

// Placeholder until the charts land: a chart that never reports.
void EntryChart::Init(double, std::int32_t, bool) {
  tickSize = 0;
  completedCount = -1;
  currentIndex = -1;
}
unsigned EntryChart::ProcessTick(double, std::uint32_t, bool) { return 0; }
std::int32_t RecentCandles(const EngineContext&, std::int32_t, std::int32_t, Candle*) { return 0; }

}  // namespace kmr
