#include "engine/context/pipeline.h"

#include "engine/context/engine_context.h"

namespace kmr {

// Placeholder until the pipeline lands: guards and results only.
static bool HaveCharts(const EngineContext& c) { return c.trendCharts && c.entryCharts; }
int ProcessNewTick(EngineContext& c, double, double, std::int32_t, bool) {
  return HaveCharts(c) ? 0 : 0;
}
int ProcessHistoryM1(EngineContext& c, double, double, double, double, std::int32_t, bool) {
  return HaveCharts(c) ? 1 : 0;
}
int ProcessHistoryTick(EngineContext& c, double, std::int32_t, bool) {
  return HaveCharts(c) ? 1 : 0;
}
int ProcessHistoryDataFinished(EngineContext& c) {
  if (HaveCharts(c)) c.live = 1;
  return 0;
}

}  // namespace kmr
