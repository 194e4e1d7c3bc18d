// The tester's bar file, "YYYYMMDD HHMMSS;open;high;low;close" (kmr-convert --to bars writes
// it): the date and time as in the price file (local time, the same character positions), then
// four prices, each a number; fields after them are ignored.
#pragma once

#include <cstdint>
#include <string>

#include "tester/source/line_input.h"
#include "tester/source/line_time.h"
#include "tester/source/source_reader.h"

namespace kmr {

struct SourceBar {
  std::int32_t time = 0;  // seconds since 1970 UTC
  double open = 0, high = 0, low = 0, close = 0;
};

class BarReader {
 public:
  // False with the reason in `error` when the file cannot be opened.
  bool Open(const std::string& path, std::string& error);
  // The next bar; false at the end. An invalid line throws SourceError.
  bool ReadBar(SourceBar& bar);
  long LineNumber() const { return input_.LineNumber(); }

 private:
  LineInput input_;
  std::string path_;
  LineTimeConverter times_;
};

}  // namespace kmr
