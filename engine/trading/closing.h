// Closing deals and the CAD cycle.
#pragma once

#include <cstdint>

namespace kmr {

struct TradingState;

enum class Side { kLong, kShort };

// A deal may be chosen for closing when no close was requested yet and it has a ticket.
bool IsEligibleForClosing(const TradingState& trading, int index);
// Marks the deal closing and queues its close command; a full queue refuses both, leaving the
// deal free to be chosen again.
bool RequestClose(TradingState& trading, int index);

void CloseSingleDeal(TradingState& trading, std::uint32_t id);
bool TryCloseDealIfInProfit(TradingState& trading, bool isLong, std::int32_t entryChart);
bool ClosePositiveOrHedgeStandardDeals(TradingState& trading, bool isLong, bool hedge);
bool CloseProfitableSideOnNewTrend(TradingState& trading, Side side);
bool CloseSideGroupOnNewTrend(TradingState& trading, Side side);
void CloseAllDeals(TradingState& trading, bool manual);
void CheckCadTarget(TradingState& trading);
void ResetCadCounter(TradingState& trading);

}  // namespace kmr
