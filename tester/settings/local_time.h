// Local calendar fields and the tester's 32-bit line and history-till times.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace kmr {

// A local date and time as the date and time pickers (or a price line) hold it.
struct LocalDateTime {
  int year = 1970;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// A settings value that cannot be formed, e.g. a history-till date before 1970.
class SettingsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Local time to seconds since 1970 UTC (mktime with tm_isdst = -1, the platform decides on DST);
// nullopt when the platform cannot convert it or the result does not fit 32 signed bits.
// The fields as local time, the platform deciding on daylight saving time; none when it cannot
// convert them.
std::optional<std::int64_t> LocalToTime(const LocalDateTime& local);
std::optional<std::int32_t> LocalToTime32(const LocalDateTime& local);

// HistoryTill from the picker fields. Throws SettingsError when a field is out of range (year
// before 1970, month outside 1..12, day outside 1..31, hour above 23, minute or second above 59)
// or the time does not fit 32 signed bits.
std::int32_t HistoryTillFromFields(const LocalDateTime& local);

// The local calendar fields of a 32-bit time (localtime_r).
LocalDateTime LocalFieldsOf(std::int32_t time);

// strftime of a 32-bit time as local time; an empty text when that fails.
std::string FormatLocalTime(std::int32_t time, const char* format);

}  // namespace kmr
