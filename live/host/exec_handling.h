// What an execution report means for the book: a pure function of the book and the report,
// giving the steps the host then takes in their order. Record lines come before the engine
// calls they justify, so that the record is on disk before the engine hears of a fill.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "live/host/exec_report.h"
#include "live/host/order_book.h"

namespace kmr {

enum class HostActionKind : std::uint8_t {
  kRecord,       // text: one line for the order record
  kSetTicket,    // OrderSetTicket(id, ticket)
  kFilled,       // OrderFilled(ticket, volume, price)
  kRejected,     // OrderRejected(id)
  kDealClosed,   // OpenDealClosed(ticket, volume, price)
  kRetryClose,   // text: the opening ClOrdID of a deal whose close must be sent again
  kStopTrading,  // text: why; no new orders from now on
  kLog,          // text: a line for the host's log
};

struct HostAction {
  HostActionKind kind = HostActionKind::kLog;
  std::uint32_t id = 0;
  std::uint32_t ticket = 0;
  double volume = 0;
  double price = 0;
  std::string text;
  double openPrice = 0;  // kDealClosed: the deal's average open price
  bool isLong = false;   // kDealClosed
};

std::vector<HostAction> HandleExecReport(OrderBook& book, const ExecReport& report);

// The record line of an order, written before it is sent.
std::string OrderRecordLine(const LiveOrder& order);

}  // namespace kmr
