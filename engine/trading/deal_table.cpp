#include "engine/trading/deal_table.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <new>

#include "engine/context/message_list.h"
#include "engine/trading/closing.h"
#include "engine/trading/journal.h"
#include "engine/trading/trading_state.h"

namespace kmr {

namespace {

constexpr std::uint32_t kLastDealId = 32766;

}  // namespace

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
  const std::uint64_t word = trading.commands[0];
  for (int i = 1; i < trading.commandCount; ++i) trading.commands[i - 1] = trading.commands[i];
  trading.commands[--trading.commandCount] = 0;
  return word;
}

bool EnsureDealSlot(TradingState& trading) {
  if (trading.deals != nullptr && trading.dealCount < trading.dealCapacity) return true;
  if (trading.dealCapacity > INT_MAX / 2) return false;
  const int capacity = trading.dealCapacity > 0 ? trading.dealCapacity * 2 : kInitialDealCapacity;
  auto* grown = new (std::nothrow) DealRecord[capacity]();
  if (grown == nullptr) return false;
  if (trading.deals != nullptr && trading.dealCount > 0)
    std::memcpy(grown, trading.deals, sizeof(DealRecord) * trading.dealCount);
  delete[] trading.deals;
  trading.deals = grown;
  trading.dealCapacity = capacity;
  return true;
}

std::uint32_t TakeNextDealId(TradingState& trading) {
  auto id = static_cast<std::uint32_t>(trading.nextDealId);
  if (id < 1 || id > kLastDealId) id = 1;
  const std::uint32_t next = (id + 1) % (kLastDealId + 1);
  trading.nextDealId = static_cast<std::int32_t>(next == 0 ? 1 : next);
  return id;
}

int FindDealById(const TradingState& trading, std::uint32_t id) {
  for (int i = 0; i < trading.dealCount; ++i)
    if (trading.deals[i].id == id) return i;
  return -1;
}

int FindDealByTicket(const TradingState& trading, std::uint32_t ticket) {
  for (int i = 0; i < trading.dealCount; ++i)
    if (trading.deals[i].ticket == ticket) return i;
  return -1;
}

void RemoveDeal(TradingState& trading, int index) {
  if (index < 0 || index >= trading.dealCount) return;
  // The other deals keep their values: a pending valuation stays what it was for them.
  BookChanged(trading);
  for (int i = index + 1; i < trading.dealCount; ++i) trading.deals[i - 1] = trading.deals[i];
  trading.deals[--trading.dealCount] = DealRecord{};
}

void OrderFilled(TradingState& trading, std::uint32_t ticket, double volume, double price) {
  const int i = FindDealByTicket(trading, ticket);
  if (i < 0) return;
  WriteJournalLine(trading, 1, "OrderFilled", nullptr, static_cast<std::int32_t>(ticket), price);
  DealRecord& deal = trading.deals[i];
  BookChanged(trading);  // revalued in full below
  if (deal.volume == 0) {
    deal.price = price;
    deal.volume = volume;
  } else {
    deal.price = (deal.volume * deal.price + price * volume) / (deal.volume + volume);
    deal.volume += volume;
  }
  if (!(deal.kind & kKindFilled)) {
    deal.kind |= kKindFilled;
    ++trading.filledDealCount;
  }
  const DealRecord filled = deal;
  UpdateFloatingProfit(trading);
  WriteDealJournalLine(trading, true, filled.id, filled.kind, KindIsLong(filled.kind), price,
                       volume);
}

void OrderSetTicket(TradingState& trading, std::uint32_t id, std::uint32_t ticket) {
  const int i = FindDealById(trading, id);
  if (i < 0) return;
  char text[64];
  FormatBounded(text, sizeof text, "OrderSetTicket: %i/%i", static_cast<std::int32_t>(id),
                static_cast<std::int32_t>(ticket));
  TradingMessage(trading, text);
  trading.deals[i].ticket = ticket;
}

namespace {

// A filled deal that the host drops without a close report still leaves the book: it must stop
// counting as filled, or a close-all under way would wait for it forever.
void ForgetFilledDeal(TradingState& trading, std::uint32_t kind) {
  if (!(kind & kKindFilled)) return;
  --trading.filledDealCount;
  if (trading.cadRequested && trading.filledDealCount == 0) {
    trading.cadRequested = 0;
    trading.closedProfit = 0;
  }
}

}  // namespace

void OrderClosed(TradingState& trading, std::int32_t ticket) {
  const int i = FindDealByTicket(trading, static_cast<std::uint32_t>(ticket));
  if (i < 0) return;
  const std::uint32_t kind = trading.deals[i].kind;
  RemoveDeal(trading, i);
  ForgetFilledDeal(trading, kind);
}

void OrderRejected(TradingState& trading, std::int32_t id) {
  const int i = FindDealById(trading, static_cast<std::uint32_t>(id));
  if (i < 0) return;
  const DealRecord& deal = trading.deals[i];
  if (KindIsLong(deal.kind))
    trading.netPosition -= deal.volume;
  else
    trading.netPosition += deal.volume;
  const std::uint32_t kind = deal.kind;
  RemoveDeal(trading, i);
  ForgetFilledDeal(trading, kind);
}

double DealProfit(const TradingState& trading, bool isLong, double dealPrice, double price,
                  double volume) {
  const double d = isLong ? price - dealPrice : dealPrice - price;
  return (d / trading.tickSize) * trading.tickValue * volume - trading.dealCommission;
}

void OpenDealClosed(TradingState& trading, std::uint32_t ticket, double volume, double price) {
  const int i = FindDealByTicket(trading, ticket);
  char text[64];
  FormatBounded(text, sizeof text, "OpenDealClosed: %i [%i]", static_cast<std::int32_t>(ticket), i);
  TradingMessage(trading, text);
  if (i < 0) return;
  WriteJournalLine(trading, 1, "OrderClosed", nullptr, static_cast<std::int32_t>(ticket), price);

  const DealRecord deal = trading.deals[i];
  const bool isLong = KindIsLong(deal.kind);
  const double realised = DealProfit(trading, isLong, deal.price, price, volume);
  trading.closedProfit += realised;
  if (isLong)
    trading.netPosition -= volume;
  else
    trading.netPosition += volume;
  WriteJournalLine(trading, 3, "Closed profit added to accumulated value", nullptr, {}, realised);

  RemoveDeal(trading, i);
  // Only filled deals are counted, so a deal closed before its fill must not lower the count.
  if (deal.kind & kKindFilled) --trading.filledDealCount;
  if (trading.cadRequested && trading.filledDealCount == 0) {
    trading.cadRequested = 0;
    trading.closedProfit = 0;
  }
  for (int k = 0; k < trading.dealCount; ++k)
    if (trading.deals[k].linkedId == deal.id) trading.deals[k].linkedId = kNoLink;
  UpdateFloatingProfit(trading);
  WriteDealJournalLine(trading, false, deal.id, deal.kind, isLong, price, volume);
}

double UpdateFloatingProfit(TradingState& trading) {
  double sum = 0;
  for (int i = 0; i < trading.dealCount; ++i) {
    DealRecord& deal = trading.deals[i];
    const bool isLong = KindIsLong(deal.kind);
    deal.profit =
        DealProfit(trading, isLong, deal.price, isLong ? trading.bid : trading.ask, deal.volume);
    sum += deal.profit;
  }
  trading.floatingProfit = sum;
  trading.profitsPending = 0;
  return sum;
}

void SettleDealProfits(TradingState& trading) {
  if (!trading.profitsPending) return;
  for (int i = 0; i < trading.dealCount; ++i) {
    DealRecord& deal = trading.deals[i];
    deal.profit = DealProfitNow(trading, deal);
  }
  trading.profitsPending = 0;
}

void BookChanged(TradingState& trading) {
  trading.floatingMemo.Forget();
}

namespace {

// floatingProfit at the tick's prices, as UpdateFloatingProfit sums it. Prices the book was
// valued at before give the sum remembered, and the deals' profits wait for a decision to read
// them; on most ticks none does.
void ValueBookAtTick(TradingState& trading) {
  if (const double* known = trading.floatingMemo.Find(trading.bid, trading.ask)) {
    trading.floatingProfit = *known;
    trading.profitsPending = trading.dealCount > 0;
    return;
  }
  trading.floatingMemo.Store(trading.bid, trading.ask, UpdateFloatingProfit(trading));
}

}  // namespace

bool OnLiveTick(TradingState& trading, double bid, double ask, std::uint32_t tickTime) {
  trading.bid = bid;
  trading.ask = ask;
  trading.tickTime = tickTime;
  if (trading.plainValuation)
    UpdateFloatingProfit(trading);
  else
    ValueBookAtTick(trading);
  CheckCadTarget(trading);
  return trading.netPosition != 0;
}

}  // namespace kmr
