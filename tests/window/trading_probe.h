// Whether the trading logic linked into this build opens manual deals yet.
#pragma once

#include <memory>

#include "engine/context/configuration.h"
#include "engine/context/engine_context.h"
#include "engine/trading/opening.h"
#include "engine/trading/trading_state.h"

namespace kmr::testing {

inline const StrategyParameters kTwoByTwo{0.0001, 20, 8, 2.0, {400, 800}, 2, {5, 7}};
inline const PriceParameters kRoomyMoney{1, 1, 0, 1000, 100, 10, 1, 100, 0};

inline bool TradingOpensManualDeals() {
  std::unique_ptr<EngineContext> context(CreateEngineContext(nullptr));
  ConfigureEngine(*context, kTwoByTwo);
  SetPriceParameters(*context, kRoomyMoney);
  context->trading->bid = 1.0;
  context->trading->ask = 1.0001;
  OpenManualDeal(*context->trading, true);
  return context->trading->commandCount > 0;
}

}  // namespace kmr::testing
