// Hostile execution reports against the host's book: any sequence of orders and reports, with
// made-up ids, types, quantities and prices, repeated or PossDup. Whatever comes, the engine is
// told of each fill once, never more than an order's quantity, a ticket before its fills, a
// deal's close once and only for a deal it knows; and every report it hears of is on the record
// first.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "live/host/exec_handling.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

struct Input {
  const std::uint8_t* data;
  std::size_t size;
  std::uint8_t Byte() {
    if (size == 0) return 0;
    --size;
    return *data++;
  }
  double Quantity() {
    switch (Byte() % 8) {
      case 0: return 0;
      case 1: return -1;
      case 2: return std::nan("");
      case 3: return INFINITY;
      case 4: return 0.5;
      case 5: return 1e300;
      default: return 1;
    }
  }
};

struct EngineView {
  std::map<std::uint32_t, double> filled;  // by ticket
  std::set<std::uint32_t> ticketed, closed, rejected;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in{data, size};
  kmr::OrderBook book;
  book.maxCloseRejects = 1 + in.Byte() % 3;
  EngineView engine;
  std::map<std::uint32_t, double> orderQty;  // open quantity by ticket
  std::uint32_t nextId = 1;
  int nextOrder = 1;
  std::vector<std::string> ids;
  while (in.size > 0) {
    const std::uint8_t op = in.Byte();
    if (op % 5 == 0) {  // an open the engine asked for
      const double qty = 1 + in.Byte() % 3;
      const std::string id = "O" + std::to_string(nextOrder++);
      kmr::AddOpenOrder(book, id, nextId, nextId, op & 0x10, qty);
      orderQty[nextId] = qty;
      ++nextId;
      ids.push_back(id);
      continue;
    }
    if (op % 5 == 1 && !book.deals.empty()) {  // a close of some deal
      auto deal = book.deals.begin();
      std::advance(deal, in.Byte() % book.deals.size());
      if (deal->second.Open() > 0 && deal->second.closeClOrdId.empty()) {
        const std::string id = "C" + std::to_string(nextOrder++);
        kmr::AddCloseOrder(book, id, deal->first, deal->second.Open());
        ids.push_back(id);
      }
      continue;
    }
    kmr::ExecReport r;
    const std::uint8_t which = in.Byte();
    r.clOrdId = ids.empty() || which == 0xff ? "unknown" : ids[which % ids.size()];
    const char types[] = {'0', 'F', 'F', 'F', '8', '4', 'C', 'I', '\0', 'F'};
    r.execType = types[in.Byte() % sizeof types];
    r.execId = "E" + std::to_string(in.Byte() % 24);  // repeats on purpose
    if (in.Byte() % 7 == 0) r.execId.clear();
    r.lastQty = in.Quantity();
    r.lastPx = in.Byte() % 6 == 0 ? -1.0 : 1.0 + in.Byte() / 256.0;
    r.possDup = in.Byte() % 4 == 0;
    r.text = std::string(in.Byte() % 3, '\x01');
    bool recorded = false;
    for (const kmr::HostAction& a : kmr::HandleExecReport(book, r)) {
      switch (a.kind) {
        case kmr::HostActionKind::kRecord:
          recorded = true;
          FUZZ_CHECK(a.text.find('\n') == std::string::npos);
          break;
        case kmr::HostActionKind::kSetTicket:
          FUZZ_CHECK(recorded);
          FUZZ_CHECK(engine.ticketed.insert(a.ticket).second);
          break;
        case kmr::HostActionKind::kFilled:
          FUZZ_CHECK(recorded);
          FUZZ_CHECK(engine.ticketed.count(a.ticket) == 1);
          FUZZ_CHECK(engine.closed.count(a.ticket) == 0 && engine.rejected.count(a.id) == 0);
          FUZZ_CHECK(std::isfinite(a.volume) && a.volume > 0 && a.price > 0);
          engine.filled[a.ticket] += a.volume;
          FUZZ_CHECK(engine.filled[a.ticket] <= orderQty[a.ticket] * (1 + 1e-9));
          break;
        case kmr::HostActionKind::kRejected:
          FUZZ_CHECK(recorded);
          FUZZ_CHECK(engine.filled.count(a.ticket) == 0);
          FUZZ_CHECK(engine.rejected.insert(a.id).second);
          break;
        case kmr::HostActionKind::kDealClosed:
          FUZZ_CHECK(recorded);
          FUZZ_CHECK(engine.filled.count(a.ticket) == 1);
          FUZZ_CHECK(kmr::SameQuantity(a.volume, engine.filled[a.ticket]));
          FUZZ_CHECK(std::isfinite(a.price) && a.price > 0);
          FUZZ_CHECK(engine.closed.insert(a.ticket).second);
          break;
        case kmr::HostActionKind::kRetryClose:
        case kmr::HostActionKind::kStopTrading:
        case kmr::HostActionKind::kLog:
          break;
      }
    }
    for (const auto& [id, deal] : book.deals) {
      FUZZ_CHECK(deal.closed <= deal.filled * (1 + 1e-9));
      FUZZ_CHECK(deal.filled >= 0);
    }
  }
  return 0;
}
