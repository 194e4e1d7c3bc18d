#include "live/host/order_book.h"

#include <algorithm>
#include <cmath>

namespace kmr {

bool SameQuantity(double a, double b) {
  return std::fabs(a - b) <= 1e-9 * std::max({1.0, std::fabs(a), std::fabs(b)});
}

int PendingOrders(const OrderBook& book) {
  int pending = 0;
  for (const auto& [id, order] : book.orders) pending += order.done ? 0 : 1;
  return pending;
}

double NetPosition(const OrderBook& book) {
  double net = 0;
  for (const auto& [id, deal] : book.deals) net += deal.isLong ? deal.Open() : -deal.Open();
  return net;
}

LiveOrder& AddOpenOrder(OrderBook& book, const std::string& clOrdId, std::uint32_t dealId,
                        std::uint32_t ticket, bool isLong, double quantity) {
  LiveOrder& order = book.orders[clOrdId];
  order = LiveOrder{};
  order.clOrdId = order.openClOrdId = clOrdId;
  order.purpose = OrderPurpose::kOpen;
  order.isBuy = isLong;
  order.quantity = quantity;
  LiveDeal& deal = book.deals[clOrdId];
  deal = LiveDeal{};
  deal.openClOrdId = clOrdId;
  deal.dealId = dealId;
  deal.ticket = ticket;
  deal.isLong = isLong;
  if (ticket != 0) book.byTicket[ticket] = clOrdId;
  return order;
}

LiveOrder& AddCloseOrder(OrderBook& book, const std::string& clOrdId,
                         const std::string& openClOrdId, double quantity) {
  LiveDeal& deal = book.deals[openClOrdId];
  LiveOrder& order = book.orders[clOrdId];
  order = LiveOrder{};
  order.clOrdId = clOrdId;
  order.openClOrdId = openClOrdId;
  order.purpose = OrderPurpose::kClose;
  order.isBuy = !deal.isLong;
  order.quantity = quantity;
  deal.closeClOrdId = clOrdId;
  deal.closeWanted = false;
  return order;
}

LiveDeal* DealByTicket(OrderBook& book, std::uint32_t ticket) {
  const auto at = book.byTicket.find(ticket);
  if (at == book.byTicket.end()) return nullptr;
  const auto deal = book.deals.find(at->second);
  return deal == book.deals.end() ? nullptr : &deal->second;
}

}  // namespace kmr
