// The streaming conversion of a price file into the tester's layout: detects (or takes) the
// input's layout, reads it line by line in constant memory, puts its times on the tester's local
// clock and writes "YYYYMMDD HHMMSS;price" lines (";bid;ask" for bid/ask ticks), or bars
// "YYYYMMDD HHMMSS;open;high;low;close" for kmr-replay --history-bars.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tester/convert/layout.h"
#include "tester/convert/layout_detect.h"

namespace kmr {

// The conversion cannot be made; what() says why, naming the file, line or option. The
// output cannot be written: OutputError (tester/convert/output_file.h).
class ConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class OutputKind { kTicks, kBars };

struct ConvertOptions {
  std::string input = "-";   // "-": standard input
  std::string output = "-";  // "-": standard output
  LayoutHints hints;
  std::string inputZone = "UTC";  // of time stamps that do not carry their zone
  OutputKind to = OutputKind::kTicks;
  std::int32_t timeframe = 0;  // bars made from ticks: their length (0: one minute)
  bool strict = false;         // the first line kept out is an error
};

// Lines kept out of the output (the first three kinds), and lines written other than as read.
enum class Issue : std::uint8_t {
  kUnreadable,  // does not read with the layout, or a time the tester cannot hold
  kOutOfOrder,  // earlier than the lines before it
  kDuplicate,   // the same time (and, for ticks, the same prices) as the line before
  kFolded,      // in the hour that repeats when the clocks go back: written at the last second
                // before it, so that the tester reads the output in time order
  kNoPrice,     // a tick line with every price field empty (an export that writes only changes)
};
inline constexpr int kIssueKinds = 5;
const char* IssueName(Issue issue);  // "unreadable", "out of order", ...

struct IssueLine {
  long line;
  Issue issue;
  std::string text;
};

struct ConvertReport {
  Layout layout;
  std::string zoneNote;  // whose clock the input's stamps are on: "stamps in UTC", ...
  long lines = 0;        // every line read, the header and blank ones too
  long kept = 0;         // data lines converted
  long written = 0;      // lines written
  long counts[kIssueKinds] = {};
  std::vector<IssueLine> listed;               // the first few lines of each kind
  std::int64_t firstLocal = 0, lastLocal = 0;  // local clock of the first and last line written
};

struct ConvertCallbacks {
  // Once the layout is known, before the long part of the run.
  std::function<void(const ConvertReport&)> layoutFound;
  // Bytes read so far and in all (0 when unknown), every few thousand lines.
  std::function<void(std::uint64_t, std::uint64_t)> progress;
};

// Lines of each kind listed in the report.
inline constexpr std::size_t kListedPerIssue = 10;

ConvertReport ConvertPriceFile(const ConvertOptions& options, const ConvertCallbacks& callbacks);

}  // namespace kmr
