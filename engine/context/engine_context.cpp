#include "engine/context/engine_context.h"

#include "engine/trading/trading_state.h"

namespace kmr {

EngineContext* CreateEngineContext(void* moduleHandle) {
  auto* context = new EngineContext;
  context->moduleHandle = moduleHandle;
  context->trading = new TradingState;
  return context;
}

}  // namespace kmr
