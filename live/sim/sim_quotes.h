// The price file as the sim's quotes: read with the tester's reader, so that every check and
// error is the tester's, and quoted as the tester quotes its trade lines.
#pragma once

#include <cstdint>
#include <string>

#include <quickfix/Message.h>

#include "live/sim/sim_options.h"
#include "tester/source/source_reader.h"

namespace kmr {

struct SimQuote {
  std::int32_t time = 0;  // the tester's line time
  double bid = 0, ask = 0;
  long line = 0;  // in the price file, 1-based
};

class QuoteStream {
 public:
  // Reads the whole file once (a bad line throws SourceError, "FILE:LINE: message"; a file that
  // cannot be opened std::runtime_error), then stands before the first quote to stream: the
  // first line, or with --from the line after the first one at or after it.
  void Open(const BrokerSimOptions& options);

  // The next quote; false after the last.
  bool Next(SimQuote& quote);

  std::int64_t Total() const { return total_; }  // quotes to stream
  std::int64_t Skipped() const { return skipped_; }

 private:
  void Rewind();

  SourceReader reader_;
  std::string path_;
  bool fromGiven_ = false;
  std::int32_t from_ = 0;
  double spread_ = 0;
  std::int64_t total_ = 0, skipped_ = 0;
};

// A quote for subscription `mdReqId`: a snapshot (35=W) or an incremental refresh (35=X) with
// a bid (269=0) and an offer (269=1) entry, each dated MDEntryDate/MDEntryTime in UTC.
FIX::Message BuildQuoteMessage(const SimQuote& quote, const std::string& symbol,
                               const std::string& mdReqId, bool snapshot);

}  // namespace kmr
