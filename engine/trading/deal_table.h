// The deal table, the command queue and the host's reports.
#pragma once

#include <cstdint>

#include "engine/trading/trading_state.h"

namespace kmr {

// Stores the word unless 255 are queued; returns whether it was stored.
bool PushCommand(TradingState& trading, std::uint64_t word);
bool CommandQueueFull(const TradingState& trading);
// The oldest queued Command, or 0 when the queue is empty.
std::uint64_t GetNextCommand(TradingState& trading);

// Makes room for one more deal, doubling the table when it is full; false when memory runs out.
bool EnsureDealSlot(TradingState& trading);
// The id a new deal takes; ids run 1..32766 and then start again at 1.
std::uint32_t TakeNextDealId(TradingState& trading);

int FindDealById(const TradingState& trading, std::uint32_t id);
int FindDealByTicket(const TradingState& trading, std::uint32_t ticket);
void RemoveDeal(TradingState& trading, int index);

void OrderFilled(TradingState& trading, std::uint32_t ticket, double volume, double price);
void OrderSetTicket(TradingState& trading, std::uint32_t id, std::uint32_t ticket);
void OrderClosed(TradingState& trading, std::int32_t ticket);
void OrderRejected(TradingState& trading, std::int32_t id);
void OpenDealClosed(TradingState& trading, std::uint32_t ticket, double volume, double price);

// Money profit of `volume` at `price` against the deal price, net of one commission.
double DealProfit(const TradingState& trading, bool isLong, double dealPrice, double price,
                  double volume);

double UpdateFloatingProfit(TradingState& trading);
// A deal's profit as of the last valuation of the book: the stored one, or while a live tick's
// valuation is pending, the same figure computed now.
inline double DealProfitNow(const TradingState& trading, const DealRecord& deal);
// Stores the profits a pending valuation stands for: before a decision reads them, and before
// anything they depend on changes.
void SettleDealProfits(TradingState& trading);
// The book changed (a deal added, filled or removed, a money parameter set): values remembered
// for it are forgotten.
void BookChanged(TradingState& trading);
// Takes the live tick, revalues the book and checks the CAD target; returns whether the net
// position is not 0.
bool OnLiveTick(TradingState& trading, double bid, double ask, std::uint32_t tickTime);

inline double DealProfitNow(const TradingState& trading, const DealRecord& deal) {
  if (!trading.profitsPending) return deal.profit;
  const bool isLong = KindIsLong(deal.kind);
  return DealProfit(trading, isLong, deal.price, isLong ? trading.bid : trading.ask, deal.volume);
}

}  // namespace kmr
