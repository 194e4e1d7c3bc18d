#include "live/fix/fix_time.h"

#include <cstdio>
#include <limits>

namespace kmr {

namespace {

// Days from 1970-01-01 to a proleptic Gregorian date (Howard Hinnant's days_from_civil).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct Civil {
  int year;
  unsigned month, day;
};

Civil CivilFromDays(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2)), m, d};
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) { return a / b - (a % b != 0 && a < 0); }

bool Digits(std::string_view text, std::size_t at, std::size_t count, unsigned& value) {
  if (at + count > text.size()) return false;
  value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + static_cast<unsigned>(text[i] - '0');
  }
  return true;
}

bool DaysInMonthOk(unsigned year, unsigned month, unsigned day) {
  static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1) return false;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

}  // namespace

std::string FixUtcDate(std::int32_t time) {
  const Civil c = CivilFromDays(FloorDiv(time, 86400));
  char text[48];
  std::snprintf(text, sizeof text, "%04d%02u%02u", c.year, c.month, c.day);
  return text;
}

std::string FixUtcTime(std::int32_t time) {
  const std::int64_t second = time - FloorDiv(time, 86400) * 86400;
  char text[48];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(second / 3600),
                static_cast<int>(second / 60 % 60), static_cast<int>(second % 60));
  return text;
}

std::string FixUtcTimestamp(std::int32_t time) { return FixUtcDate(time) + "-" + FixUtcTime(time); }

std::optional<std::int32_t> ParseFixUtcDateTime(std::string_view date, std::string_view time) {
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (date.size() != 8 || !Digits(date, 0, 4, year) || !Digits(date, 4, 2, month) ||
      !Digits(date, 6, 2, day) || !DaysInMonthOk(year, month, day))
    return std::nullopt;
  if (time.size() < 8 || !Digits(time, 0, 2, hour) || time[2] != ':' ||
      !Digits(time, 3, 2, minute) || time[5] != ':' || !Digits(time, 6, 2, second) ||
      hour > 23 || minute > 59 || second > 59)
    return std::nullopt;
  if (time.size() > 8) {
    // FIX allows milli-, micro-, nano- and picoseconds.
    const std::size_t fraction = time.size() - 9;
    unsigned ignored = 0;
    if (time[8] != '.' || fraction < 1 || fraction > 12) return std::nullopt;
    for (std::size_t i = 9; i < time.size(); ++i)
      if (!Digits(time, i, 1, ignored)) return std::nullopt;
  }
  const std::int64_t seconds =
      DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
  if (seconds < std::numeric_limits<std::int32_t>::min() ||
      seconds > std::numeric_limits<std::int32_t>::max())
    return std::nullopt;
  return static_cast<std::int32_t>(seconds);
}

std::optional<std::int32_t> ParseFixUtcTimestamp(std::string_view timestamp) {
  if (timestamp.size() < 17 || timestamp[8] != '-') return std::nullopt;
  return ParseFixUtcDateTime(timestamp.substr(0, 8), timestamp.substr(9));
}

}  // namespace kmr
