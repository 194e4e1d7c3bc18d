// The host's order and fill record: one line per order sent and per answer taken, appended and
// flushed to disk (fsync) before the engine hears of it, so that a host that crashed knows at
// its next start what it left open.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "live/host/order_book.h"

namespace kmr {

class RecordError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class OrderRecord {
 public:
  OrderRecord() = default;
  ~OrderRecord();
  OrderRecord(const OrderRecord&) = delete;
  OrderRecord& operator=(const OrderRecord&) = delete;

  // Opens (creates) the record for appending; throws RecordError naming the file.
  void Open(const std::string& path);
  // Appends one line and syncs it; throws RecordError when it cannot be made durable.
  void Append(const std::string& line);
  bool IsOpen() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
  std::string path_;
};

// What the record says: the book as it stood (every order and deal of earlier runs, none known
// to the engine) and the ClOrdIDs used. A missing file is an empty record; a line that cannot
// be read throws RecordError "FILE:LINE: ..." (a record half written by a crash is whole up to
// its last line, which may be cut: that one is left out).
struct RecordState {
  OrderBook book;
  std::vector<std::string> notes;  // lines for the log
};
RecordState ReadOrderRecord(const std::string& path);

// Open positions and unanswered orders of the record, one text per item; empty when flat.
std::vector<std::string> OpenItems(const OrderBook& book);

}  // namespace kmr
