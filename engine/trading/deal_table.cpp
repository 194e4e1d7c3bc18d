#include "engine/trading/deal_table.h"

#include "engine/trading/trading_state.h"

namespace kmr {

// Placeholder until the trading logic lands: the queue works, reports do nothing.
bool PushCommand(TradingState& trading, std::uint64_t word) {
  if (trading.commandCount >= kCommandQueueSize) return false;
  trading.commands[trading.commandCount++] = word;
  return true;
}
bool CommandQueueFull(const TradingState& trading) {
  return trading.commandCount >= kCommandQueueSize;
}
std::uint64_t GetNextCommand(TradingState& trading) {
  if (trading.commandCount < 1) return 0;
  std::uint64_t word = trading.commands[0];
  for (int i = 1; i < trading.commandCount; ++i) trading.commands[i - 1] = trading.commands[i];
  trading.commands[--trading.commandCount] = 0;
  return word;
}
int FindDealById(const TradingState&, std::uint32_t) { return -1; }
int FindDealByTicket(const TradingState&, std::uint32_t) { return -1; }
void RemoveDeal(TradingState&, int) {}
void OrderFilled(TradingState&, std::uint32_t, double, double) {}
void OrderSetTicket(TradingState&, std::uint32_t, std::uint32_t) {}
void OrderClosed(TradingState&, std::int32_t) {}
void OrderRejected(TradingState&, std::int32_t) {}
void OpenDealClosed(TradingState&, std::uint32_t, double, double) {}
double UpdateFloatingProfit(TradingState& trading) { return trading.floatingProfit; }
bool OnLiveTick(TradingState& trading, double bid, double ask, std::uint32_t tickTime) {
  trading.bid = bid;
  trading.ask = ask;
  trading.tickTime = tickTime;
  return trading.netPosition != 0;
}

}  // namespace kmr
