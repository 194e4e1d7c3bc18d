#include "live/host/exec_handling.h"

#include <cmath>
#include <cstdio>

namespace kmr {

namespace {

std::string Number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

// Record and log lines hold broker text; a field with a blank or a line break would break them.
std::string Token(const std::string& text) {
  if (text.empty()) return "-";
  std::string out = text;
  for (char& c : out)
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f) c = '_';
  return out;
}

// The key a report is known by: its ExecID, or, from a broker that sends none, what it says.
std::string ReportKey(const ExecReport& r) {
  if (!r.execId.empty()) return r.execId;
  return "~" + r.clOrdId + "/" + r.execType + "/" + Number(r.lastQty) + "/" + Number(r.lastPx) +
         "/" + Number(r.cumQty);
}

bool KnownExecType(char type) {
  return type == kExecNew || type == kExecTrade || type == kExecRejected ||
         type == kExecCanceled || type == kExecExpired;
}

struct Steps {
  std::vector<HostAction> list;
  void Record(std::string text) { list.push_back({HostActionKind::kRecord, 0, 0, 0, 0, std::move(text)}); }
  void Log(std::string text) { list.push_back({HostActionKind::kLog, 0, 0, 0, 0, std::move(text)}); }
  void Engine(HostActionKind kind, std::uint32_t id, std::uint32_t ticket, double volume = 0,
              double price = 0) {
    list.push_back({kind, id, ticket, volume, price, {}});
  }
};

std::string Describe(const ExecReport& r) {
  return "ClOrdID=" + Token(r.clOrdId) + " ExecID=" + Token(r.execId) + " ExecType=" +
         (r.execType > ' ' && r.execType < 0x7f ? std::string(1, r.execType) : std::string("?"));
}

void Acknowledge(LiveOrder& order, const LiveDeal& deal, const ExecReport& r, Steps& steps) {
  order.acknowledged = true;
  if (order.orderId.empty()) order.orderId = r.orderId;
  if (order.purpose == OrderPurpose::kOpen && deal.EngineKnows())
    steps.Engine(HostActionKind::kSetTicket, deal.dealId, deal.ticket);
}

void Fill(OrderBook& book, LiveOrder& order, LiveDeal& deal, const ExecReport& r, Steps& steps) {
  const double qty = r.lastQty, px = r.lastPx;
  if (!(std::isfinite(qty) && qty > 0 && std::isfinite(px) && px > 0) ||
      (order.filled + qty > order.quantity && !SameQuantity(order.filled + qty, order.quantity))) {
    steps.Log("impossible fill ignored: " + Describe(r) + " LastQty=" + Number(qty) +
              " LastPx=" + Number(px) + " of " + Number(order.filled) + "/" +
              Number(order.quantity));
    return;
  }
  steps.Record("FILL " + order.clOrdId + " " + Number(qty) + " " + Number(px) + " " +
               Token(ReportKey(r)) + " " + Token(r.orderId));
  if (!order.acknowledged) Acknowledge(order, deal, r, steps);
  order.filled += qty;
  if (SameQuantity(order.filled, order.quantity)) {
    order.filled = order.quantity;
    order.done = true;
  }
  if (order.purpose == OrderPurpose::kOpen) {
    deal.filled += qty;
    deal.openNotional += qty * px;
    if (deal.EngineKnows()) steps.Engine(HostActionKind::kFilled, deal.dealId, deal.ticket, qty, px);
    return;
  }
  deal.closed += qty;
  deal.closeNotional += qty * px;
  ++deal.closeFills;
  deal.lastClosePrice = px;
  if (!order.done) return;
  deal.closeClOrdId.clear();
  if (!SameQuantity(deal.closed, deal.filled)) return;  // an earlier partial close remains
  // One fill closes at its own price, bit for bit, as the tester's broker does.
  const double price = deal.closeFills == 1 ? deal.lastClosePrice : deal.closeNotional / deal.closed;
  if (deal.EngineKnows()) {
    steps.Engine(HostActionKind::kDealClosed, deal.dealId, deal.ticket, deal.filled, price);
    steps.list.back().openPrice = deal.openNotional / deal.filled;
    steps.list.back().isLong = deal.isLong;
  }
  book.byTicket.erase(deal.ticket);
  book.deals.erase(deal.openClOrdId);
}

void Finish(OrderBook& book, LiveOrder& order, LiveDeal& deal, const ExecReport& r, Steps& steps) {
  steps.Record("DONE " + order.clOrdId + " " + Token(ReportKey(r)) + " " + r.execType);
  order.done = true;
  const char* what = r.execType == kExecRejected ? "rejected" : r.execType == kExecCanceled ? "canceled" : "expired";
  if (order.purpose == OrderPurpose::kOpen) {
    if (order.filled > 0) {
      steps.Log("open " + order.clOrdId + " " + what + " after " + Number(order.filled) + " of " +
                Number(order.quantity) + ": the deal keeps what was filled");
      return;
    }
    steps.Log("open " + order.clOrdId + " " + what + ": " + Token(r.text));
    if (deal.EngineKnows()) steps.Engine(HostActionKind::kRejected, deal.dealId, deal.ticket);
    book.byTicket.erase(deal.ticket);
    book.deals.erase(deal.openClOrdId);
    return;
  }
  deal.closeClOrdId.clear();
  ++deal.closeRejects;
  const std::string name = deal.EngineKnows() ? "deal " + std::to_string(deal.ticket) : "deal of " + deal.openClOrdId;
  if (deal.closeRejects < book.maxCloseRejects) {
    steps.Log("close " + order.clOrdId + " of " + name + " " + what + " (" +
              std::to_string(deal.closeRejects) + " of " + std::to_string(book.maxCloseRejects) +
              "): " + Token(r.text) + "; sending it again");
    steps.list.push_back({HostActionKind::kRetryClose, 0, deal.ticket, 0, 0, deal.openClOrdId});
    return;
  }
  const std::string reason = "close of " + name + " " + what + " " +
                             std::to_string(deal.closeRejects) + " times (" + Token(r.text) +
                             "); the deal stays open";
  book.tradingStopped = true;
  book.stopReason = reason;
  steps.list.push_back({HostActionKind::kStopTrading, 0, deal.ticket, 0, 0, reason});
}

}  // namespace

std::string OrderRecordLine(const LiveOrder& order) {
  return "ORDER " + order.clOrdId + " " + (order.purpose == OrderPurpose::kOpen ? "open" : "close") +
         " " + (order.isBuy ? "B" : "S") + " " + Number(order.quantity) + " " + order.openClOrdId;
}

std::vector<HostAction> HandleExecReport(OrderBook& book, const ExecReport& r) {
  Steps steps;
  const auto found = book.orders.find(r.clOrdId);
  if (found == book.orders.end()) {
    steps.Log("execution report for an unknown order ignored: " + Describe(r));
    return steps.list;
  }
  if (!KnownExecType(r.execType)) {
    steps.Log("execution report ignored: " + Describe(r));
    return steps.list;
  }
  const std::string key = ReportKey(r);
  if (book.seenReports.count(key) != 0) {
    steps.Log(std::string("repeated execution report ignored") + (r.possDup ? " (PossDup)" : "") +
              ": " + Describe(r));
    return steps.list;
  }
  book.seenReports.insert(key);
  LiveOrder& order = found->second;
  if (r.possDup) steps.Log("PossDup execution report, not seen before, taken: " + Describe(r));
  if (order.done) {
    steps.Log("execution report for a finished order ignored: " + Describe(r));
    return steps.list;
  }
  const auto dealAt = book.deals.find(order.openClOrdId);
  if (dealAt == book.deals.end()) {  // cannot happen while the book is whole; never trusted
    steps.Log("execution report for an order without its deal ignored: " + Describe(r));
    return steps.list;
  }
  LiveDeal& deal = dealAt->second;
  switch (r.execType) {
    case kExecNew:
      if (order.acknowledged) {
        steps.Log("second acknowledgement ignored: " + Describe(r));
        break;
      }
      steps.Record("ACK " + order.clOrdId + " " + Token(r.orderId) + " " + Token(key));
      Acknowledge(order, deal, r, steps);
      break;
    case kExecTrade:
      Fill(book, order, deal, r, steps);
      break;
    default:
      Finish(book, order, deal, r, steps);
      break;
  }
  return steps.list;
}

}  // namespace kmr
