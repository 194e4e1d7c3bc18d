// The trading record: deal table, command queue, money parameters and counters.
#pragma once

#include <cstdint>

#include "common/price_memo.h"

namespace kmr {

struct EngineContext;

constexpr std::uint32_t kNoTicket = 0xFFFFFFFFu;
constexpr std::uint32_t kNoLink = 0xFFFFFFFFu;
constexpr int kCommandQueueSize = 255;
constexpr int kInitialDealCapacity = 20;
constexpr int kJournalLineSize = 256;

// Bits of DealRecord::kind (and of the kind word OpenNewDeal takes).
constexpr std::uint32_t kKindLong = 1u << 0;
constexpr std::uint32_t kKindFilled = 1u << 1;
constexpr std::uint32_t kKindOriginShift = 4;
constexpr std::uint32_t kKindOriginMask = 0xFu << kKindOriginShift;
constexpr std::uint32_t kKindOriginManual = 15;
constexpr std::uint32_t kKindStandard = 1u << 8;
constexpr std::uint32_t kKindHedging = 1u << 9;
constexpr std::uint32_t kKindDca = 1u << 10;
constexpr std::uint32_t kKindTypeMask = 0xFu << 8;  // bits 8..11
constexpr std::uint32_t kKindClosing = 1u << 12;

constexpr std::uint32_t KindOrigin(std::uint32_t kind) {
  return (kind & kKindOriginMask) >> kKindOriginShift;
}
constexpr bool KindIsLong(std::uint32_t kind) {
  return (kind & kKindLong) != 0;
}

// tradingFlags bits.
constexpr std::uint32_t kClosePositiveOnNewTrend = 1u << 0;
constexpr std::uint32_t kIgnoreTrendOnNewDeal = 1u << 1;
constexpr std::uint32_t kClosePositiveGroupOnNewTrend = 1u << 2;
constexpr std::uint32_t kSynchronizedTrendRequired = 1u << 3;

struct DealRecord {
  std::uint32_t id;
  std::uint32_t ticket;    // kNoTicket until OrderSetTicket
  std::uint32_t linkedId;  // partner of a hedge pair, kNoLink = none
  std::uint32_t kind;
  double price;   // request price, then the volume-weighted fill price
  double volume;  // filled volume
  double profit;
};

struct TradingState {
  EngineContext* context = nullptr;
  std::int32_t trendChartCount = 0;
  std::int32_t entryChartCount = 0;
  std::uint8_t trendNoHedgeMask = 0;
  std::uint8_t entryOpenOrCloseMask = 0;
  std::uint8_t trendCloseOnlyMask = 0;
  std::uint8_t entryOpenOnlyMask = 0;
  std::uint8_t trendOpenMask = 0;
  std::uint8_t entryCloseOnlyMask = 0;
  double bid = 0;
  double ask = 0;
  std::uint32_t tickTime = 0;
  std::uint32_t trendWord = 0;
  std::int32_t trendVote = 0;
  std::uint64_t commands[kCommandQueueSize] = {};
  std::int32_t commandCount = 0;
  DealRecord* deals = nullptr;  // owned; created by ResetTrading
  std::int32_t dealCapacity = 0;
  std::int32_t dealCount = 0;
  std::int32_t filledDealCount = 0;
  std::int32_t nextDealId = 1;
  double netPosition = 0;
  double floatingProfit = 0;
  double closedProfit = 0;
  double tickSize = 0;
  double tickValue = 0;
  double dealSize = 0;
  double dealCommission = 0;
  double cadProfit = 0;
  std::int32_t dcaInterval = 100;
  std::int32_t stdIntervalTicks = 0;
  std::int32_t stdIntervalMinDeals = 0;
  double maxNetPosition = 0;
  std::uint32_t tradingFlags = 0;
  std::uint8_t cadRequested = 0;
  std::uint8_t longEnabled = 1;
  std::uint8_t shortEnabled = 1;
  std::uint8_t journalEnabled = 0;
  // Set by a live tick: each deal's profit is its value at this tick's prices, computed when a
  // decision reads it (DealProfitNow) rather than stored on every tick.
  std::uint8_t profitsPending = 0;
  // Revalues and stores every deal on every live tick instead (the reference the tests hold the
  // fast path to).
  std::uint8_t plainValuation = 0;
  char journalLine[kJournalLineSize] = {};
  // floatingProfit by tick prices for the book as it is; forgotten whenever a deal is added,
  // filled or removed, or the money parameters change.
  PriceMemo floatingMemo;

  TradingState() = default;
  TradingState(const TradingState&) = delete;
  TradingState& operator=(const TradingState&) = delete;
  ~TradingState() { delete[] deals; }
};

}  // namespace kmr
