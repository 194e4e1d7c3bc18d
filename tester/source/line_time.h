// Fields of a price line's date and time, and their conversion from local time to the signed
// 32-bit line time, cached per local hour.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "tester/settings/local_time.h"

namespace kmr {

// Year, month, day, hour, minute and second from character positions 1-4, 5-6, 7-8, 10-11,
// 12-13 and 14-15, by character-code arithmetic. A line of exactly 14 characters counts the
// fifteenth as code 0. The line must hold at least 14 characters.
LocalDateTime LineFields(std::string_view line);

// The price field: after the first ';' up to the next ';' or the end; the whole line without ';'.
std::string_view PriceField(std::string_view line);

// The ask of a bid/ask line: after the second ';' up to the next ';' or the end; nullopt when
// the line has no second ';'.
std::optional<std::string_view> AskField(std::string_view line);

// The whole field as a finite decimal number; nullopt for anything else (an empty field too).
std::optional<double> ParseDecimal(std::string_view field);

// strtod of the field in the C locale (leading numeric part, 0.0 when there is none), with an
// exact fast path for plain decimals.
double ParsePrice(std::string_view field);

// Local fields to the line time, exactly as mktime (tm_isdst = -1) gives it, but calling mktime
// once per local hour: the offset to UTC found for an hour is reused for its other lines.
class LineTimeConverter {
 public:
  // nullopt when a field is out of range, the platform cannot convert it, or it does not fit.
  std::optional<std::int32_t> Convert(const LocalDateTime& local);

 private:
  bool dayValid_ = false;
  int year_ = 0, month_ = 0, day_ = 0;
  std::int64_t dayNumber_ = 0;  // days from 1970-01-01 to the cached date
  bool valid_ = false;
  std::int64_t hour_ = 0;    // the cached local hour: the fields read as UTC, in hours
  std::int64_t offset_ = 0;  // mktime result minus the fields read as UTC
};

}  // namespace kmr
