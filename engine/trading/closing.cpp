#include "engine/trading/closing.h"

#include "common/command.h"
#include "engine/context/message_list.h"
#include "engine/trading/deal_table.h"
#include "engine/trading/journal.h"
#include "engine/trading/opening.h"
#include "engine/trading/trading_state.h"

namespace kmr {

namespace {

bool IsLongSide(Side side) {
  return side == Side::kLong;
}

bool IsClosing(const DealRecord& deal) {
  return (deal.kind & kKindClosing) != 0;
}

std::uint32_t KindType(const DealRecord& deal) {
  return deal.kind & kKindTypeMask;
}

// Whether some deal of exactly `partnerType` points at `id`; closing deals count.
bool HasPartner(const TradingState& trading, std::uint32_t id, std::uint32_t partnerType) {
  for (int i = 0; i < trading.dealCount; ++i) {
    const DealRecord& deal = trading.deals[i];
    if (KindType(deal) == partnerType && deal.linkedId == id) return true;
  }
  return false;
}

}  // namespace

bool IsEligibleForClosing(const TradingState& trading, int index) {
  const DealRecord& deal = trading.deals[index];
  return !IsClosing(deal) && deal.ticket != kNoTicket;
}

bool RequestClose(TradingState& trading, int index) {
  if (CommandQueueFull(trading)) {
    WriteJournalLine(trading, 1, "Command queue full");
    return false;
  }
  DealRecord& deal = trading.deals[index];
  deal.kind |= kKindClosing;
  PushCommand(trading, EncodeCommand(kCommandClose, deal.ticket));
  return true;
}

void CloseSingleDeal(TradingState& trading, std::uint32_t id) {
  WriteJournalLine(trading, 1, "Close single deal request", nullptr, static_cast<std::int32_t>(id));
  const int i = FindDealById(trading, id);
  if (i < 0) return;
  const DealRecord& deal = trading.deals[i];
  if (!CanOpenPosition(trading, KindIsLong(deal.kind) ? -deal.volume : deal.volume)) {
    WriteJournalLine(trading, 1, "Close deal request rejected because of position check");
    return;
  }
  if (!IsEligibleForClosing(trading, i)) return;
  RequestClose(trading, i);
}

bool TryCloseDealIfInProfit(TradingState& trading, bool isLong, std::int32_t entryChart) {
  WriteJournalLine(trading, 2, "TryCloseDealIfInProfit request", DirectionDetail(isLong),
                   entryChart);
  SettleDealProfits(trading);
  for (int i = 0; i < trading.dealCount; ++i) {
    const DealRecord& deal = trading.deals[i];
    if (IsClosing(deal) || deal.profit <= 0 || KindIsLong(deal.kind) != isLong) continue;
    if (entryChart != -1 && KindOrigin(deal.kind) != static_cast<std::uint32_t>(entryChart))
      continue;
    CloseSingleDeal(trading, deal.id);
    return true;
  }
  return false;
}

bool ClosePositiveOrHedgeStandardDeals(TradingState& trading, bool isLong, bool hedge) {
  WriteJournalLine(trading, 2, "ClosePositiveOrHedgeStandardDeals request",
                   DirectionDetail(isLong));
  SettleDealProfits(trading);
  auto isCandidate = [&](const DealRecord& deal) {
    const std::uint32_t type = KindType(deal);
    return !IsClosing(deal) && (type == kKindStandard || type == kKindHedging) &&
           KindIsLong(deal.kind) == isLong;
  };
  for (int i = 0; i < trading.dealCount; ++i) {
    const DealRecord& deal = trading.deals[i];
    if (isCandidate(deal) && deal.profit > 0) {
      CloseSingleDeal(trading, deal.id);
      return true;
    }
  }
  if (!hedge) return false;
  for (int i = 0; i < trading.dealCount; ++i) {
    const DealRecord& deal = trading.deals[i];
    if (!isCandidate(deal) || deal.profit > 0) continue;
    const std::uint32_t id = deal.id;
    const std::uint32_t opposite = isLong ? 0u : kKindLong;
    if (KindType(deal) == kKindStandard) {
      if (HasPartner(trading, id, kKindHedging)) continue;
      OpenNewDeal(trading, kKindHedging | opposite, id);
    } else {
      // The hedge outlived its standard deal: it gets a new partner.
      if (HasPartner(trading, id, kKindStandard)) continue;
      OpenNewDeal(trading, kKindStandard | opposite, id);
    }
    return true;
  }
  return false;
}

bool CloseProfitableSideOnNewTrend(TradingState& trading, Side side) {
  const char* text = IsLongSide(side) ? "Close positive LONG deals on new trend "
                                      : "Close positive SHORT deals on new trend";
  TradingMessage(trading, text);
  WriteJournalLine(trading, 1, text);
  SettleDealProfits(trading);
  bool marked = false;
  for (int i = trading.dealCount - 1; i >= 0; --i) {
    const DealRecord& deal = trading.deals[i];
    if (!IsEligibleForClosing(trading, i) || KindIsLong(deal.kind) != IsLongSide(side)) continue;
    if (deal.profit > 0 && RequestClose(trading, i)) marked = true;
  }
  return marked;
}

bool CloseSideGroupOnNewTrend(TradingState& trading, Side side) {
  const char* text = IsLongSide(side) ? "Close positive LONG deals group on new trend "
                                      : "Close positive SHORT deals group on new trend";
  TradingMessage(trading, text);
  WriteJournalLine(trading, 1, text);
  auto inGroup = [&](int i) {
    return IsEligibleForClosing(trading, i) &&
           KindIsLong(trading.deals[i].kind) == IsLongSide(side);
  };
  SettleDealProfits(trading);
  double sum = 0;
  for (int i = 0; i < trading.dealCount; ++i)
    if (inGroup(i)) sum += trading.deals[i].profit;
  if (!(sum > 0)) return false;
  bool marked = false;
  for (int i = trading.dealCount - 1; i >= 0; --i)
    if (inGroup(i) && RequestClose(trading, i)) marked = true;
  return marked;
}

void CloseAllDeals(TradingState& trading, bool manual) {
  char text[64];
  FormatBounded(text, sizeof text, manual ? "ManualCloseAllDeals: %i" : "CloseAllDeals: %i",
                trading.dealCount);
  TradingMessage(trading, text);
  WriteJournalLine(trading, 1, text);

  // Passes alternate the sides so that the book never swings far to one side while it empties.
  bool wantLong = trading.netPosition < 0;
  int budget = 2;
  while (budget > 0) {
    wantLong = !wantLong;
    --budget;
    if (trading.dealCount < 1) return;
    bool skipped = false;
    for (int i = 0; i < trading.dealCount; ++i) {
      if (!IsEligibleForClosing(trading, i)) continue;
      if (KindIsLong(trading.deals[i].kind) != wantLong) {
        skipped = true;
      } else if (RequestClose(trading, i)) {
        wantLong = !wantLong;
        budget = 2;
      }
    }
    if (!skipped) break;
  }
  for (int i = 0; i < trading.dealCount; ++i)
    if (IsEligibleForClosing(trading, i)) RequestClose(trading, i);
}

void CheckCadTarget(TradingState& trading) {
  if (trading.cadRequested || !(trading.closedProfit + trading.floatingProfit >= trading.cadProfit))
    return;
  WriteJournalLine(trading, 1, "Processing new tick -> CloseAllDeals request", nullptr, {},
                   trading.floatingProfit);
  trading.cadRequested = 1;
  CloseAllDeals(trading, false);
}

void ResetCadCounter(TradingState& trading) {
  trading.closedProfit = 0;
}

}  // namespace kmr
