// What a run leaves for its report: every deal the simulated broker opened, the equity at each
// trade event and at the end of each day, and the whole run's curves reduced for drawing.
#pragma once

#include <cstdint>
#include <vector>

namespace kmr {

enum class CloseReason : std::uint8_t {
  kEngine,     // the engine's close command
  kStop,       // the broker's stop price was touched
  kLimit,      // the broker's limit price was touched
  kOpenAtEnd,  // still open when the run ended; valued at the last price
};

struct TradeRecord {
  std::int32_t dealId = 0;  // the engine's order id
  std::int32_t ticket = 0;  // the broker's ticket
  bool isLong = false;
  std::int32_t openTime = 0;  // seconds since 1970 UTC
  double openPrice = 0;
  std::int32_t closeTime = 0;  // for kOpenAtEnd: the last line's time
  double closePrice = 0;       // for kOpenAtEnd: the last bid (long) or ask (short)
  double volume = 0;
  double profit = 0;  // commission already taken off, as the broker counts it
  double commission = 0;
  CloseReason closeReason = CloseReason::kEngine;
};

enum class EquityEvent : std::uint8_t { kOpen, kClose, kDayEnd };

// Equity and drawdown are those of the price line the point belongs to, valued by the broker
// before that line's commands; balance (the closed profit) and net position are after the event.
struct EquityPoint {
  std::int32_t time = 0;
  double balance = 0;
  double equity = 0;
  double drawdown = 0;  // below the highest equity so far, >= 0
  double netPosition = 0;
  EquityEvent event = EquityEvent::kDayEnd;
  std::int32_t dealId = 0;  // of an open or close event
};

struct ValueSpan {
  double first = 0, last = 0, min = 0, max = 0;
};

// One stretch of consecutive trade lines of the reduced curves.
struct CurveBucket {
  std::int32_t firstTime = 0, lastTime = 0;
  ValueSpan equity;
  ValueSpan price;
  double maxDrawdown = 0;
  double balance = 0;  // at the bucket's last line
  long lines = 0;
};

struct RunRecording {
  // In the order the deals closed; the deals still open at the end follow, in the order opened.
  std::vector<TradeRecord> trades;
  // In time order: each open and close, and the last line of every local calendar day.
  std::vector<EquityPoint> equity;
  // The trade part line by line, merged into at most kCurveBuckets buckets.
  std::vector<CurveBucket> curve;

  long historyLines = 0, tradeLines = 0;
  std::int32_t firstHistoryTime = 0, lastHistoryTime = 0;
  std::int32_t firstTradeTime = 0, lastTradeTime = 0;
  double lastBid = 0, lastAsk = 0;
  double maxPosition = 0;  // the broker's: the net position of largest size, with its sign

  // Followed at every trade line, the way the broker follows its drawdown.
  double maxDrawdown = 0;
  double peakAtMaxDrawdown = 0;  // the peak equity that maximum drawdown fell from
  std::int64_t longestDrawdownSeconds = 0;
  double lastEquity = 0;  // of the last trade line
};

}  // namespace kmr
