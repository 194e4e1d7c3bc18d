// The deal table, the command queue and the host's reports.
#pragma once

#include <cstdint>

namespace kmr {

struct TradingState;

// Stores the word unless 255 are queued; returns whether it was stored.
bool PushCommand(TradingState& trading, std::uint64_t word);
bool CommandQueueFull(const TradingState& trading);
// The oldest queued Command, or 0 when the queue is empty.
std::uint64_t GetNextCommand(TradingState& trading);

int FindDealById(const TradingState& trading, std::uint32_t id);
int FindDealByTicket(const TradingState& trading, std::uint32_t ticket);
void RemoveDeal(TradingState& trading, int index);

void OrderFilled(TradingState& trading, std::uint32_t ticket, double volume, double price);
void OrderSetTicket(TradingState& trading, std::uint32_t id, std::uint32_t ticket);
void OrderClosed(TradingState& trading, std::int32_t ticket);
void OrderRejected(TradingState& trading, std::int32_t id);
void OpenDealClosed(TradingState& trading, std::uint32_t ticket, double volume, double price);

double UpdateFloatingProfit(TradingState& trading);
// Takes the live tick, revalues the book and checks the CAD target; returns whether the net
// position is not 0.
bool OnLiveTick(TradingState& trading, double bid, double ask, std::uint32_t tickTime);

}  // namespace kmr
