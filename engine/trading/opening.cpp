#include "engine/trading/opening.h"

#include <cmath>

#include "common/command.h"
#include "engine/charts/trend_vote.h"
#include "engine/context/engine_context.h"
#include "engine/trading/deal_table.h"
#include "engine/trading/journal.h"
#include "engine/trading/trading_state.h"

namespace kmr {

namespace {

constexpr std::uint32_t kManualLong = (kKindOriginManual << kKindOriginShift) | kKindStandard | 1;
constexpr std::uint32_t kManualShort = (kKindOriginManual << kKindOriginShift) | kKindStandard;

const char* RequestText(std::uint32_t kind, std::uint32_t linkedId) {
  if (kind & kKindDca) return "Open new DCA deal request";
  return linkedId == kNoLink ? "Open new STANDARD deal request" : "Open new HEDGING deal request";
}

void WriteOpenMessages(TradingState& trading, std::uint32_t kind) {
  const bool isLong = KindIsLong(kind);
  if (kind & kKindStandard)
    TradingMessage(trading, isLong ? "Open Standard LONG deal " : "Open Standard SHORT deal");
  if (kind & kKindHedging)
    TradingMessage(trading, isLong ? "Open Hedging LONG deal " : "Open Hedging SHORT deal");
  if (kind & kKindDca)
    TradingMessage(trading, isLong ? "Open DCA LONG deal " : "Open DCA SHORT deal");
}

int KindTypeBits(std::uint32_t kind) {
  return ((kind & kKindStandard) != 0) + ((kind & kKindHedging) != 0) + ((kind & kKindDca) != 0);
}

}  // namespace

bool OpenNewDeal(TradingState& trading, std::uint32_t kind, std::uint32_t linkedId) {
  if (trading.context == nullptr) return false;
  const bool isLong = KindIsLong(kind);
  WriteJournalLine(trading, 1, RequestText(kind, linkedId), DirectionDetail(isLong),
                   static_cast<std::int32_t>(linkedId));
  const double delta = isLong ? trading.dealSize : -trading.dealSize;

  const bool checked = !(kind & kKindDca) && KindOrigin(kind) != kKindOriginManual;
  if (checked) {
    if (isLong ? !trading.longEnabled : !trading.shortEnabled) {
      WriteJournalLine(trading, 1,
                       "Open new deal request rejected because of Long/Short Enabled flag");
      return false;
    }
    if (!CanOpenPosition(trading, delta)) {
      WriteJournalLine(trading, 1, "Open new deal request rejected because of position check");
      return false;
    }
  }
  // A deal whose open command cannot be queued would stand in the book without ever reaching
  // the broker, so it is refused before anything is recorded.
  if (CommandQueueFull(trading)) {
    WriteJournalLine(trading, 1, "Command queue full");
    return false;
  }
  if (!EnsureDealSlot(trading)) {
    WriteJournalLine(trading, 1, "Open new deal request rejected because of deal table size");
    return false;
  }

  // The new deal starts at profit 0 while the others keep theirs: those are stored first.
  SettleDealProfits(trading);
  BookChanged(trading);
  const std::uint32_t id = TakeNextDealId(trading);
  DealRecord& deal = trading.deals[trading.dealCount];
  deal = DealRecord{id, kNoTicket, linkedId, kind, isLong ? trading.ask : trading.bid, 0, 0};
  if (linkedId != kNoLink) {
    for (int i = 0; i < trading.dealCount; ++i)
      if (trading.deals[i].id == linkedId) trading.deals[i].linkedId = id;
  }
  ++trading.dealCount;
  trading.netPosition += delta;
  WriteOpenMessages(trading, kind);
  PushCommand(trading, EncodeCommand(isLong ? kCommandOpenLong : kCommandOpenShort, id));
  return true;
}

bool CanOpenPosition(TradingState& trading, double delta) {
  const double old = trading.netPosition;
  const double now = old + delta;
  if (std::fabs(now) > trading.maxNetPosition) {
    WriteJournalLine(trading, 1, "CanOpenPosition check returned FALSE because of MaxNetPosition",
                     nullptr, {}, now);
    return false;
  }
  if (trading.tradingFlags & kIgnoreTrendOnNewDeal) return true;
  bool passes = false;
  if (trading.trendVote > 0)
    passes = now >= 0 || (old < 0 && now > old);
  else if (trading.trendVote < 0)
    passes = now <= 0 || (old > 0 && now < old);
  if (!passes) WriteJournalLine(trading, 1, "CanOpenPosition check returned FALSE");
  return passes;
}

bool IsDealNearPrice(const TradingState& trading, bool isLong, double price) {
  if (trading.stdIntervalTicks <= 0 || trading.filledDealCount < trading.stdIntervalMinDeals)
    return false;
  const double d = trading.stdIntervalTicks * trading.tickSize;
  const double lo = price - d;
  const double hi = price + d;
  for (int i = 0; i < trading.dealCount; ++i) {
    const DealRecord& deal = trading.deals[i];
    if (KindTypeBits(deal.kind) != 1 || KindIsLong(deal.kind) != isLong) continue;
    if (lo <= deal.price && deal.price <= hi) return true;
  }
  return false;
}

void TryOpenDcaDeal(TradingState& trading, std::int32_t entryChart, bool up, bool down) {
  if (trading.dcaInterval < 1 || entryChart < 0 || entryChart >= int(kKindOriginManual)) return;
  const auto origin = static_cast<std::uint32_t>(entryChart);
  double low = 0;
  double high = 0;
  for (int i = 0; i < trading.dealCount; ++i) {
    const DealRecord& deal = trading.deals[i];
    if (KindOrigin(deal.kind) != origin) continue;
    const bool isLong = KindIsLong(deal.kind);
    if (!((isLong && up) || (!isLong && down))) continue;
    if (low == 0 || deal.price < low) low = deal.price;
    if (high == 0 || deal.price > high) high = deal.price;
  }
  const double distance = trading.dcaInterval * trading.tickSize;
  const std::uint32_t chartBits = origin << kKindOriginShift;
  if (up && low > 0 && low - distance >= trading.ask)
    OpenNewDeal(trading, chartBits | kKindDca | kKindLong, kNoLink);
  if (down && high > 0 && trading.bid >= high + distance)
    OpenNewDeal(trading, chartBits | kKindDca, kNoLink);
}

void OpenManualDeal(TradingState& trading, bool isLong) {
  OpenNewDeal(trading, isLong ? kManualLong : kManualShort, kNoLink);
}

void StartTradingCycleManually(TradingState& trading) {
  if (trading.context == nullptr) return;
  WriteJournalLine(trading, 3, "Start trading cycle manually request");
  const EngineContext& context = *trading.context;
  const std::int32_t vote = ComputeTrendVote(context.trendWord, context.trendChartsConsidered);
  if (vote > 0)
    OpenNewDeal(trading, kManualLong, kNoLink);
  else if (vote < 0)
    OpenNewDeal(trading, kManualShort, kNoLink);
  else
    TradingMessage(trading, "Manual Start request rejected - NO TREND");
}

}  // namespace kmr
