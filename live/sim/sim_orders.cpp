#include "live/sim/sim_orders.h"

#include <cmath>
#include <optional>

#include <quickfix/FieldNumbers.h>
#include <quickfix/FixValues.h>

#include "live/fix/fix_number.h"
#include "tester/broker/broker.h"

namespace kmr {

namespace {

constexpr int kUnknownSymbol = 1;
constexpr int kExchangeClosed = 2;
constexpr int kDuplicateOrder = 6;
constexpr int kUnsupportedOrder = 11;
constexpr int kIncorrectQuantity = 13;
constexpr int kBrokerOption = 0;
constexpr int kOther = 99;

std::optional<std::string> Field(const FIX::FieldMap& map, int tag) {
  if (!map.isSetField(tag)) return std::nullopt;
  return map.getField(tag);
}

bool IsSide(const std::string& side) {
  return side.size() == 1 && ((side[0] >= '1' && side[0] <= '9') || (side[0] >= 'A' && side[0] <= 'G'));
}

// A positive plain decimal as units / 10^scale with at most 15 significant digits.
bool DecimalUnits(const std::string& text, std::int64_t& units, int& scale) {
  if (!ParseFixNumber(text) || text[0] == '-') return false;
  units = 0;
  scale = 0;
  int digits = 0;
  bool fraction = false;
  std::string trimmed = text;
  if (trimmed.find('.') != std::string::npos)
    while (!trimmed.empty() && (trimmed.back() == '0' || trimmed.back() == '.')) {
      const bool point = trimmed.back() == '.';
      trimmed.pop_back();
      if (point) break;
    }
  for (const char c : trimmed) {
    if (c == '.') {
      fraction = true;
      continue;
    }
    if (digits == 0 && c == '0') {
      if (fraction) ++scale;
      continue;
    }
    if (++digits > 15) return false;
    units = units * 10 + (c - '0');
    if (fraction) ++scale;
  }
  return units > 0;
}

// The average fill price; the one price when every part got it (no rounding through the sum).
double AveragePrice(const SimOrder& o, double cumQty) {
  if (o.partsDone == 0) return 0;
  if (o.onePrice) return o.firstPx;
  const double average = o.pxQty / cumQty;
  return std::isfinite(average) ? average : o.firstPx;
}

}  // namespace

std::string DecimalText(std::int64_t units, int scale) {
  std::string digits = std::to_string(units);
  if (scale <= 0) return digits;
  if (static_cast<int>(digits.size()) <= scale)
    digits.insert(0, static_cast<std::size_t>(scale) - digits.size() + 1, '0');
  digits.insert(digits.size() - static_cast<std::size_t>(scale), 1, '.');
  while (digits.back() == '0') digits.pop_back();
  if (digits.back() == '.') digits.pop_back();
  return digits;
}

SimOrderDesk::SimOrderDesk(const BrokerSimOptions& options, std::string idPrefix)
    : options_(options), prefix_(std::move(idPrefix)) {}

std::string SimOrderDesk::NextExecId() { return prefix_ + "-E" + std::to_string(++execs_); }

ExecReport SimOrderDesk::Reject(const FIX::Message& message, int reason, const std::string& text) {
  ExecReport r;
  r.execType = '8';
  r.ordStatus = '8';
  r.clOrdId = Field(message, FIX::FIELD::ClOrdID).value_or("NONE");
  if (r.clOrdId.empty()) r.clOrdId = "NONE";
  r.orderId = "NONE";
  r.execId = NextExecId();
  r.symbol = options_.symbol;
  const std::string side = Field(message, FIX::FIELD::Side).value_or("1");
  r.side = IsSide(side) ? side[0] : '1';
  const std::string qty = Field(message, FIX::FIELD::OrderQty).value_or("0");
  r.orderQty = ParseFixNumber(qty) ? qty : "0";
  r.ordRejReason = reason;
  r.text = text;
  return r;
}

OrderVerdict SimOrderDesk::Accept(const FIX::Message& message, bool haveQuote) {
  OrderVerdict v;
  auto reject = [&](int reason, const std::string& text) {
    v.kind = OrderVerdict::Kind::kReject;
    v.report = Reject(message, reason, text);
    v.why = text;
    return v;
  };
  const std::optional<std::string> type = Field(message.getHeader(), FIX::FIELD::MsgType);
  if (type != "D") return reject(kUnsupportedOrder, "not a NewOrderSingle");
  const std::optional<std::string> clOrdId = Field(message, FIX::FIELD::ClOrdID);
  if (!clOrdId || clOrdId->empty()) return reject(kOther, "no ClOrdID");
  if (clOrdIds_.count(*clOrdId) != 0) {
    if (Field(message.getHeader(), FIX::FIELD::PossDupFlag) == "Y") {
      v.why = "possible duplicate of order " + *clOrdId + " ignored";
      return v;
    }
    return reject(kDuplicateOrder, "duplicate ClOrdID");
  }
  clOrdIds_.insert(*clOrdId);
  ++orders_;
  if (Field(message, FIX::FIELD::Symbol) != options_.symbol)
    return reject(kUnknownSymbol, "unknown symbol");
  const std::string side = Field(message, FIX::FIELD::Side).value_or("");
  if (side != "1" && side != "2") return reject(kUnsupportedOrder, "side must be 1 or 2");
  if (Field(message, FIX::FIELD::OrdType) != "1")
    return reject(kUnsupportedOrder, "only market orders (40=1)");
  SimOrder o;
  o.orderQty = Field(message, FIX::FIELD::OrderQty).value_or("");
  if (!DecimalUnits(o.orderQty, o.units, o.scale))
    return reject(kIncorrectQuantity, "quantity must be a positive decimal of up to 15 digits");
  if (!haveQuote) return reject(kExchangeClosed, "no quote yet");

  o.clOrdId = *clOrdId;
  o.side = side[0];
  o.buy = side == "1";
  const double qty = *ParseFixNumber(o.orderQty);
  const std::optional<std::string> effect = Field(message, FIX::FIELD::PositionEffect);
  if (effect == "C")
    o.closes = true;
  else if (effect == "O")
    o.closes = false;
  else
    o.closes = committed_ != 0 && (committed_ > 0) != o.buy &&
               qty <= std::fabs(committed_) * (1 + 1e-12);
  const std::int64_t number = o.closes ? ++closes_ : ++opens_;
  if ((o.closes ? options_.rejectCloses : options_.rejectOpens).Picks(number))
    return reject(kBrokerOption, o.closes ? "close rejected (--reject-closes)"
                                          : "open rejected (--reject-opens)");

  // Split into parts of whole units, scaling the units down to the digit they need.
  o.partsPlanned = options_.partialFills;
  while (o.units < o.partsPlanned) o.units *= 10, ++o.scale;
  o.parts = o.partsPlanned;
  if (options_.cancelOrders.Picks(orders_)) {
    o.end = SimOrder::End::kCanceled;
    o.parts = 0;
  } else if (options_.expireOrders.Picks(orders_)) {
    o.end = SimOrder::End::kExpired;
    o.parts = o.partsPlanned > 1 ? 1 : 0;
  }
  o.orderId = prefix_ + "-" + std::to_string(orders_);
  committed_ += o.buy ? qty : -qty;

  v.kind = OrderVerdict::Kind::kAccept;
  ExecReport& r = v.report;
  r.execType = '0';
  r.ordStatus = '0';
  r.clOrdId = o.clOrdId;
  r.orderId = o.orderId;
  r.execId = NextExecId();
  r.symbol = options_.symbol;
  r.side = o.side;
  r.orderQty = o.orderQty;
  r.leavesQty = o.orderQty;
  v.order = std::move(o);
  return v;
}

ExecReport SimOrderDesk::Step(SimOrder& o, double bid, double ask, bool& done) {
  ExecReport r;
  r.clOrdId = o.clOrdId;
  r.orderId = o.orderId;
  r.execId = NextExecId();
  r.symbol = options_.symbol;
  r.side = o.side;
  r.orderQty = o.orderQty;
  if (o.partsDone < o.parts) {
    // The first parts take the remainder's extra units, so that the parts add up exactly.
    const std::int64_t base = o.units / o.partsPlanned;
    const std::int64_t part = base + (o.partsDone < o.units % o.partsPlanned ? 1 : 0);
    const double price = BrokerFillPrice(o.buy, bid, ask);
    const double partQty = *ParseFixNumber(DecimalText(part, o.scale));
    if (o.partsDone == 0) o.firstPx = price;
    o.onePrice = o.onePrice && price == o.firstPx;
    o.pxQty += price * partQty;
    o.cumUnits += part;
    ++o.partsDone;
    const bool filled = o.cumUnits == o.units;
    r.execType = 'F';
    r.ordStatus = filled ? '2' : '1';
    r.lastQty = DecimalText(part, o.scale);
    r.lastPx = price;
    r.cumQty = filled ? o.orderQty : DecimalText(o.cumUnits, o.scale);
    r.leavesQty = DecimalText(o.units - o.cumUnits, o.scale);
    r.avgPx = AveragePrice(o, *ParseFixNumber(r.cumQty));
    done = filled;
    return r;
  }
  // The end of an order that is not filled whole: the remainder no longer counts.
  const double remainder = *ParseFixNumber(DecimalText(o.units - o.cumUnits, o.scale));
  committed_ -= o.buy ? remainder : -remainder;
  const bool canceled = o.end == SimOrder::End::kCanceled;
  r.execType = canceled ? '4' : 'C';
  r.ordStatus = r.execType;
  r.cumQty = DecimalText(o.cumUnits, o.scale);
  r.leavesQty = "0";
  r.avgPx = AveragePrice(o, *ParseFixNumber(r.cumQty));
  r.text = canceled ? "canceled (--cancel-orders)" : "expired (--expire-orders)";
  done = true;
  return r;
}

FIX::Message BuildExecutionReport(const ExecReport& r) {
  FIX::Message m;
  m.getHeader().setField(FIX::FIELD::MsgType, "8");
  m.setField(FIX::FIELD::OrderID, r.orderId);
  m.setField(FIX::FIELD::ClOrdID, r.clOrdId);
  m.setField(FIX::FIELD::ExecID, r.execId);
  m.setField(FIX::FIELD::ExecType, std::string(1, r.execType));
  m.setField(FIX::FIELD::OrdStatus, std::string(1, r.ordStatus));
  m.setField(FIX::FIELD::Symbol, r.symbol);
  m.setField(FIX::FIELD::Side, std::string(1, r.side));
  m.setField(FIX::FIELD::OrdType, "1");
  m.setField(FIX::FIELD::OrderQty, r.orderQty);
  if (!r.lastQty.empty()) {
    m.setField(FIX::FIELD::LastQty, r.lastQty);
    m.setField(FIX::FIELD::LastPx, FormatFixNumber(r.lastPx));
  }
  m.setField(FIX::FIELD::LeavesQty, r.leavesQty);
  m.setField(FIX::FIELD::CumQty, r.cumQty);
  m.setField(FIX::FIELD::AvgPx, FormatFixNumber(r.avgPx));
  if (r.ordRejReason >= 0) m.setField(FIX::FIELD::OrdRejReason, std::to_string(r.ordRejReason));
  if (!r.text.empty()) m.setField(FIX::FIELD::Text, r.text);
  m.setField(FIX::TransactTime());
  return m;
}

}  // namespace kmr
