// Opening deals: the one path every new deal takes, with its position checks.
#pragma once

#include <cstdint>

namespace kmr {

struct TradingState;

bool OpenNewDeal(TradingState& trading, std::uint32_t kind, std::uint32_t linkedId);
bool CanOpenPosition(TradingState& trading, double delta);
bool IsDealNearPrice(const TradingState& trading, bool isLong, double price);
void TryOpenDcaDeal(TradingState& trading, std::int32_t entryChart, bool up, bool down);
void OpenManualDeal(TradingState& trading, bool isLong);
void StartTradingCycleManually(TradingState& trading);

}  // namespace kmr
