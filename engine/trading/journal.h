// The trade journal: one line per request, refusal, signal, fill and close.
#pragma once

#include <cstdint>
#include <optional>

namespace kmr {

struct TradingState;

void WriteJournalLine(TradingState& trading, std::uint8_t level, const char* text,
                      const char* detail = nullptr, std::optional<std::int32_t> number = {},
                      std::optional<double> value = {});
void WriteDealJournalLine(TradingState& trading, bool open, std::uint32_t id, std::uint32_t kind,
                          bool isLong, double price, double volume);

// A message line for the engine window; silent until the trading state has its context.
void TradingMessage(TradingState& trading, const char* text);

inline const char* DirectionDetail(bool isLong) {
  return isLong ? "Long" : "Short";
}

}  // namespace kmr
