#include "engine/trading/opening.h"

#include "engine/trading/trading_state.h"

namespace kmr {

// Placeholder until the trading logic lands.
bool OpenNewDeal(TradingState&, std::uint32_t, std::uint32_t) { return false; }
bool CanOpenPosition(TradingState&, double) { return false; }
bool IsDealNearPrice(const TradingState&, bool, double) { return false; }
void TryOpenDcaDeal(TradingState&, std::int32_t, bool, bool) {}
void OpenManualDeal(TradingState&, bool) {}
void StartTradingCycleManually(TradingState&) {}

}  // namespace kmr
