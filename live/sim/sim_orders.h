// The simulated broker's order desk: what kmr-broker-sim answers to a NewOrderSingle (35=D),
// as pure functions over the message and the desk's state, so that a fuzz target can drive
// them without a session. Fill prices come from the tester's broker model.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>

#include <quickfix/Message.h>

#include "live/sim/sim_options.h"

namespace kmr {

// One ExecutionReport (35=8) as plain data. Quantities are decimal texts.
struct ExecReport {
  char execType = '0';   // 0 New, F Trade, 8 Rejected, 4 Canceled, C Expired
  char ordStatus = '0';  // 0 New, 1 Partially filled, 2 Filled, 8 Rejected, 4 Canceled, C Expired
  std::string clOrdId, orderId, execId, symbol;
  char side = '1';
  std::string orderQty = "0", lastQty, cumQty = "0", leavesQty = "0";
  double lastPx = 0;  // with lastQty, on trades only
  double avgPx = 0;
  int ordRejReason = -1;  // -1: none
  std::string text;
};

// An accepted order on its way through its fills.
struct SimOrder {
  std::string clOrdId, orderId, orderQty;
  char side = '1';
  bool buy = true;
  bool closes = false;
  std::int64_t units = 0;   // the quantity is units / 10^scale
  int scale = 0;
  int parts = 1;            // fills it gets before it ends
  int partsDone = 0;
  std::int64_t cumUnits = 0;
  enum class End : std::uint8_t { kFilled, kCanceled, kExpired } end = End::kFilled;
  int partsPlanned = 1;     // of `parts`: the split of the quantity
  double pxQty = 0;         // sum of price times quantity, for the average
  double firstPx = 0;
  bool onePrice = true;
};

struct OrderVerdict {
  enum class Kind : std::uint8_t { kIgnore, kReject, kAccept } kind = Kind::kIgnore;
  ExecReport report;  // the reject, or the acknowledgement (ExecType 0)
  SimOrder order;     // when accepted
  std::string why;    // for the status line, when ignored or rejected
};

class SimOrderDesk {
 public:
  // `idPrefix` makes OrderIDs and ExecIDs unique across runs (e.g. the start time).
  SimOrderDesk(const BrokerSimOptions& options, std::string idPrefix);

  // The answer to a 35=D (anything else is rejected too). A repeated ClOrdID is rejected,
  // unless the message is a possible duplicate (43=Y) of an order already seen: that one is
  // ignored, never filled twice. `haveQuote`: an order before the first quote is rejected.
  OrderVerdict Accept(const FIX::Message& message, bool haveQuote);

  // The next report of an accepted order: its next fill at the broker model's price for
  // bid/ask, or its end (canceled, expired). `done` when the order needs no further step.
  ExecReport Step(SimOrder& order, double bid, double ask, bool& done);

  double NetPosition() const { return committed_; }
  std::int64_t Opens() const { return opens_; }
  std::int64_t Closes() const { return closes_; }

 private:
  ExecReport Reject(const FIX::Message& message, int reason, const std::string& text);
  std::string NextExecId();

  const BrokerSimOptions& options_;
  std::string prefix_;
  std::int64_t orders_ = 0, opens_ = 0, closes_ = 0, execs_ = 0;
  double committed_ = 0;  // the net position once every accepted order has filled
  std::unordered_set<std::string> clOrdIds_;
};

// The decimal text of units / 10^scale, without trailing zeros ("0" for 0).
std::string DecimalText(std::int64_t units, int scale);

// A FIX 4.4 ExecutionReport of `report` (body only; the session adds the header).
FIX::Message BuildExecutionReport(const ExecReport& report);

}  // namespace kmr
