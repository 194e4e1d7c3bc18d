#include "tester/settings/local_time.h"

#include <cerrno>
#include <ctime>
#include <limits>

namespace kmr {

namespace {

bool FitsInt32(std::int64_t value) {
  return value >= std::numeric_limits<std::int32_t>::min() &&
         value <= std::numeric_limits<std::int32_t>::max();
}

}  // namespace

std::optional<std::int64_t> LocalToTime(const LocalDateTime& local) {
  std::tm fields{};
  fields.tm_year = local.year - 1900;
  fields.tm_mon = local.month - 1;
  fields.tm_mday = local.day;
  fields.tm_hour = local.hour;
  fields.tm_min = local.minute;
  fields.tm_sec = local.second;
  fields.tm_isdst = -1;
  errno = 0;
  const std::time_t result = std::mktime(&fields);
  // -1 is also a valid time (one second before 1970 UTC); mktime then leaves errno alone.
  if (result == static_cast<std::time_t>(-1) && errno != 0) return std::nullopt;
  return static_cast<std::int64_t>(result);
}

std::optional<std::int32_t> LocalToTime32(const LocalDateTime& local) {
  const std::optional<std::int64_t> result = LocalToTime(local);
  if (!result || !FitsInt32(*result)) return std::nullopt;
  return static_cast<std::int32_t>(*result);
}

std::int32_t HistoryTillFromFields(const LocalDateTime& local) {
  if (local.year < 1970 || local.month < 1 || local.month > 12 || local.day < 1 || local.day > 31 ||
      local.hour < 0 || local.hour > 23 || local.minute < 0 || local.minute > 59 ||
      local.second < 0 || local.second > 59)
    throw SettingsError("History Data till: the date or time is out of range");
  const std::optional<std::int32_t> time = LocalToTime32(local);
  if (!time) throw SettingsError("History Data till: the date does not fit the 32-bit time");
  return *time;
}

LocalDateTime LocalFieldsOf(std::int32_t time) {
  const std::time_t t = time;
  std::tm fields{};
  LocalDateTime local;
  if (localtime_r(&t, &fields) == nullptr) return local;
  local.year = fields.tm_year + 1900;
  local.month = fields.tm_mon + 1;
  local.day = fields.tm_mday;
  local.hour = fields.tm_hour;
  local.minute = fields.tm_min;
  local.second = fields.tm_sec;
  return local;
}

std::string FormatLocalTime(std::int32_t time, const char* format) {
  const std::time_t t = time;
  std::tm fields{};
  if (localtime_r(&t, &fields) == nullptr) return {};
  char text[64];
  const std::size_t length = std::strftime(text, sizeof text, format, &fields);
  return std::string(text, length);
}

}  // namespace kmr
