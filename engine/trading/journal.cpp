#include "engine/trading/journal.h"

#include "engine/trading/trading_state.h"

namespace kmr {

// Placeholder until the trading logic lands.
void WriteJournalLine(TradingState&, std::uint8_t, const char*, const char*,
                      std::optional<std::int32_t>, std::optional<double>) {}
void WriteDealJournalLine(TradingState&, bool, std::uint32_t, std::uint32_t, bool, double,
                          double) {}

}  // namespace kmr
