// The trading policy: what a new trend and an entry signal make of the book.
#pragma once

#include <cstdint>

namespace kmr {

struct TradingState;

void OnNewTrend(TradingState& trading, std::uint32_t trendWord, std::int32_t trendVote);
void OnEntrySignal(TradingState& trading, std::int32_t entryChart, std::uint32_t result,
                   bool external);

}  // namespace kmr
