#include "engine/charts/trend_chart.h"

namespace kmr {

// Placeholder until the charts land: a chart that never reports.
void TrendChart::Init(double, std::int32_t, std::int32_t, double, std::int32_t, bool) {
  tickSize = 0;
  trendChangeCount = 0;
  completedCount = -1;
  currentIndex = -1;
}
unsigned TrendChart::ProcessTick(double, std::uint32_t, bool) { return 0; }

}  // namespace kmr
