#include "engine/trading/closing.h"

#include "engine/trading/trading_state.h"

namespace kmr {

// Placeholder until the trading logic lands.
void CloseSingleDeal(TradingState&, std::uint32_t) {}
bool TryCloseDealIfInProfit(TradingState&, bool, std::int32_t) { return false; }
bool ClosePositiveOrHedgeStandardDeals(TradingState&, bool, bool) { return false; }
bool CloseProfitableSideOnNewTrend(TradingState&, Side) { return false; }
bool CloseSideGroupOnNewTrend(TradingState&, Side) { return false; }
void CloseAllDeals(TradingState&, bool) {}
void CheckCadTarget(TradingState&) {}
void ResetCadCounter(TradingState& trading) { trading.closedProfit = 0; }

}  // namespace kmr
