#include "engine/trading/signals.h"

#include "engine/trading/trading_state.h"

namespace kmr {

// Placeholder until the trading logic lands.
void OnNewTrend(TradingState&, std::uint32_t, std::int32_t) {}
void OnEntrySignal(TradingState&, std::int32_t, std::uint32_t, bool) {}

}  // namespace kmr
