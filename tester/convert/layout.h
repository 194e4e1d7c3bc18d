// The layout of a price file: its separator, whether a header line names the columns, what
// each column holds and how its time stamps read. kmr-convert detects it or takes it from
// --format; it prints it in the same words, so that a detected layout can be given back.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tester/convert/time_pattern.h"

namespace kmr {

class LayoutError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class Column : std::uint8_t {
  kSkip,
  kTime,   // a whole time stamp, or the date alone (daily bars)
  kDate,   // the date, with the time of day in a kClock column
  kClock,  // the time of day
  kBid,
  kAsk,
  kPrice,
  kOpen,
  kHigh,
  kLow,
  kClose,
  kVolume,  // read past, like kSkip
};

// The name of a column in --format ("time", "bid", ...).
std::string_view ColumnName(Column column);

struct Layout {
  char separator = ',';
  bool header = false;  // the first line names the columns and is not data
  bool decimalComma = false;
  std::vector<Column> columns;  // one per field; fields beyond the list are skipped
  TimePattern time;             // of the kTime or kDate column
  TimePattern clock;            // of the kClock column
  std::int32_t barSeconds = 0;  // bars: their timeframe

  // Where the columns are; -1 when absent. Set by FinishLayout.
  int timeIndex = -1, clockIndex = -1;
  int bid = -1, ask = -1, price = -1, open = -1, high = -1, low = -1, close = -1;
  int lastIndex = -1;  // the last column a line must have

  bool IsBars() const { return open >= 0; }
  bool HasAsk() const { return ask >= 0; }
};

// The column indices of a layout whose columns and patterns are set. Throws LayoutError when
// the columns do not make a price file: no time, a date without a time of day (or the other
// way round), a column twice, bars without all of open, high, low and close, bars and ticks
// mixed, no price, an ask without a bid, or a pattern that does not fit its column.
void FinishLayout(Layout& layout);

// What --format takes and prints: the columns in order, separated by commas, each a name of
// ColumnName optionally followed by "=PATTERN" for time, date and clock ("-" skips a column;
// "last" is price; with a date column, "time" is the time of day):
//   "time=YYYY.MM.DD HH:MM:SS.fff,bid,ask,volume"   "date=YYYYMMDD,time=HHMMSS,open,high,low,close"
struct FormatColumns {
  std::vector<Column> columns;
  std::optional<TimePattern> time, clock;  // the patterns given, if any
};
FormatColumns ParseFormatColumns(std::string_view text);  // throws LayoutError

// "time=...,bid,ask" for a finished layout.
std::string FormatColumnsText(const Layout& layout);
// The options that name the layout: --format '...' --separator X [--header | --no-header].
std::string LayoutOptions(const Layout& layout);
// "bid/ask ticks", "prices", "bars of 1 minute", ...
std::string LayoutKind(const Layout& layout);
// "1 minute", "4 hours", "1 day", "90 seconds".
std::string TimeframeText(std::int32_t seconds);
// "M1", "H4", "D1", or a number of seconds; nullopt when it is none.
std::optional<std::int32_t> ParseTimeframe(std::string_view text);

// The separator as --separator takes and prints it: "," ";" "tab".
std::string SeparatorName(char separator);
std::optional<char> ParseSeparator(std::string_view text);

}  // namespace kmr
