// The host's book of orders and deals: engine deal ids, the 32-bit tickets the engine is given,
// the broker's OrderIDs and the host's ClOrdIDs, and every fill. Plain data; the functions that
// change it live beside it (order_book.cpp, exec_handling.cpp).
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

namespace kmr {

enum class OrderPurpose : std::uint8_t { kOpen, kClose };

struct LiveOrder {
  std::string clOrdId;
  std::string openClOrdId;  // the deal this order opens or closes
  std::string orderId;      // the broker's, from its first report
  OrderPurpose purpose = OrderPurpose::kOpen;
  bool isBuy = true;
  double quantity = 0;
  double filled = 0;
  bool acknowledged = false;
  bool done = false;  // filled, rejected, canceled or expired: no answer is awaited
};

// One deal, keyed by the ClOrdID of the order that opened it. A deal of an earlier run (read
// back from the order record) has no ticket and the engine never hears of it.
struct LiveDeal {
  std::string openClOrdId;
  std::uint32_t dealId = 0;  // the engine's; 0 for an earlier run's deal
  std::uint32_t ticket = 0;  // what the engine knows the deal by; 0: none
  bool isLong = true;
  double filled = 0;  // the open order's fills
  double openNotional = 0;
  double closed = 0;  // the close orders' fills so far
  double closeNotional = 0;
  int closeFills = 0;
  double lastClosePrice = 0;
  std::string closeClOrdId;  // the working close order, empty when none
  int closeRejects = 0;
  bool closeWanted = false;  // asked to close; sent once the open is done and the session is up

  bool EngineKnows() const { return ticket != 0; }
  double Open() const { return filled - closed; }
};

struct OrderBook {
  std::map<std::string, LiveOrder> orders;        // by ClOrdID
  std::map<std::string, LiveDeal> deals;          // by the opening ClOrdID
  std::map<std::uint32_t, std::string> byTicket;  // ticket -> opening ClOrdID
  std::set<std::string> seenReports;              // ExecIDs already taken
  int maxCloseRejects = 3;                        // a close rejected this often stops trading
  bool tradingStopped = false;
  std::string stopReason;
};

// Quantities within this share of each other count as equal (they cross the wire as text).
bool SameQuantity(double a, double b);

// Orders still awaiting an answer.
int PendingOrders(const OrderBook& book);
// Long minus short of every deal's open quantity.
double NetPosition(const OrderBook& book);

// Enters an open order and its deal. `ticket` 0 makes a deal the engine does not know.
LiveOrder& AddOpenOrder(OrderBook& book, const std::string& clOrdId, std::uint32_t dealId,
                        std::uint32_t ticket, bool isLong, double quantity);
// Enters a close order for the open quantity of the deal opened by `openClOrdId`.
LiveOrder& AddCloseOrder(OrderBook& book, const std::string& clOrdId,
                         const std::string& openClOrdId, double quantity);

LiveDeal* DealByTicket(OrderBook& book, std::uint32_t ticket);

}  // namespace kmr
