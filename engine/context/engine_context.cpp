#include "engine/context/engine_context.h"

#include "engine/charts/entry_chart.h"
#include "engine/charts/trend_chart.h"
#include "engine/context/engine_window.h"
#include "engine/context/log_file.h"
#include "engine/trading/trading_state.h"
#include "engine/window/window.h"
#include "engine/window/window_runtime.h"

namespace kmr {

EngineContext* CreateEngineContext(void* moduleHandle) {
  auto* context = new EngineContext;
  context->moduleHandle = moduleHandle;
  context->trading = new TradingState;
  return context;
}

EngineContext::~EngineContext() {
  if (window != nullptr) {
    CloseWindowAndJoin(*window);
    delete window->runtime;
    delete window;
  }
  delete[] trendCharts;
  delete[] entryCharts;
  delete trading;
  CloseEngineLogFile(*this);
}

}  // namespace kmr
