#include "live/host/order_record.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "live/host/exec_handling.h"

namespace kmr {

OrderRecord::~OrderRecord() {
  if (fd_ >= 0) ::close(fd_);
}

void OrderRecord::Open(const std::string& path) {
  path_ = path;
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd_ < 0) throw RecordError(path + ": cannot open the order record: " + std::strerror(errno));
}

void OrderRecord::Append(const std::string& line) {
  const std::string text = line + "\n";
  const char* data = text.data();
  std::size_t size = text.size();
  while (size > 0) {
    const ssize_t written = ::write(fd_, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0)
      throw RecordError(path_ + ": cannot write the order record: " + std::strerror(errno));
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  if (::fsync(fd_) != 0)
    throw RecordError(path_ + ": cannot sync the order record: " + std::strerror(errno));
}

namespace {

double ParseNumber(const std::string& text, bool& ok) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  ok = ok && !text.empty() && end == text.c_str() + text.size();
  return value;
}

}  // namespace

RecordState ReadOrderRecord(const std::string& path) {
  RecordState state;
  std::ifstream in(path, std::ios::binary);
  if (!in) return state;
  std::vector<std::string> lines;
  std::string line;
  bool lastWhole = true;
  while (std::getline(in, line)) {
    lastWhole = !in.eof();
    lines.push_back(line);
  }
  if (!lines.empty() && !lastWhole) {
    state.notes.push_back(path + ":" + std::to_string(lines.size()) +
                          ": cut line of an interrupted write left out");
    lines.pop_back();
  }
  OrderBook& book = state.book;
  for (std::size_t n = 0; n < lines.size(); ++n) {
    const std::string where = path + ":" + std::to_string(n + 1) + ": ";
    std::istringstream fields(lines[n]);
    std::vector<std::string> f;
    for (std::string word; fields >> word;) f.push_back(word);
    if (f.empty()) continue;
    bool ok = true;
    if (f[0] == "ORDER" && f.size() == 6) {
      const double qty = ParseNumber(f[4], ok);
      if (!ok || (f[2] != "open" && f[2] != "close") || (f[3] != "B" && f[3] != "S"))
        throw RecordError(where + "not an order line");
      if (f[2] == "open") {
        AddOpenOrder(book, f[1], 0, 0, f[3] == "B", qty);
      } else {
        if (book.deals.count(f[5]) == 0) throw RecordError(where + "close of an unknown deal");
        AddCloseOrder(book, f[1], f[5], qty);
      }
      continue;
    }
    ExecReport report;
    if (f[0] == "ACK" && f.size() == 4) {
      report.execType = kExecNew;
      report.clOrdId = f[1];
      report.orderId = f[2];
      report.execId = f[3];
    } else if (f[0] == "FILL" && f.size() == 6) {
      report.execType = kExecTrade;
      report.clOrdId = f[1];
      report.lastQty = ParseNumber(f[2], ok);
      report.lastPx = ParseNumber(f[3], ok);
      report.execId = f[4];
      report.orderId = f[5];
    } else if (f[0] == "DONE" && f.size() == 4 && f[3].size() == 1) {
      report.execType = f[3][0];
      report.clOrdId = f[1];
      report.execId = f[2];
    } else {
      ok = false;
    }
    if (!ok || book.orders.count(report.clOrdId) == 0)
      throw RecordError(where + "not a line of the order record");
    for (const HostAction& action : HandleExecReport(book, report))
      if (action.kind == HostActionKind::kLog) state.notes.push_back(where + action.text);
  }
  // A close the earlier run would have retried is the flattening's to send now.
  book.tradingStopped = false;
  book.stopReason.clear();
  return state;
}

std::vector<std::string> OpenItems(const OrderBook& book) {
  std::vector<std::string> items;
  for (const auto& [id, order] : book.orders)
    if (!order.done)
      items.push_back("order " + id + " (" + (order.purpose == OrderPurpose::kOpen ? "open" : "close") +
                      ") has no final answer");
  for (const auto& [id, deal] : book.deals)
    if (deal.Open() > 0 && !SameQuantity(deal.Open(), 0))
      items.push_back(std::string(deal.isLong ? "long " : "short ") + std::to_string(deal.Open()) +
                      " opened by " + id);
  return items;
}

}  // namespace kmr
