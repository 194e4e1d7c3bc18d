#include "tester/convert/time_zone.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <limits>
#include <optional>

namespace kmr {

namespace {

// The table covers every time a price line can hold, with a day to spare on both sides.
constexpr std::int64_t kFirst = -2 * 86400;
constexpr std::int64_t kLast = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 2 * 86400;
// Offsets are looked at every 6 hours and each change found to the second between two looks.
constexpr std::int64_t kStep = 6 * 3600;

std::int32_t OffsetOf(std::int64_t utc) {
  const std::time_t t = static_cast<std::time_t>(utc);
  std::tm fields{};
  if (localtime_r(&t, &fields) == nullptr) return 0;
  return static_cast<std::int32_t>(fields.tm_gmtoff);
}

// The spans of the zone that TZ names now.
std::vector<ZoneSpan> SampleCurrentZone() {
  std::vector<ZoneSpan> spans;
  std::int32_t current = OffsetOf(kFirst);
  spans.push_back({std::numeric_limits<std::int64_t>::min(), current});
  for (std::int64_t t = kFirst + kStep; t <= kLast; t += kStep) {
    std::int64_t low = t - kStep;
    while (OffsetOf(t) != current) {
      // The first second after `low` whose offset differs from the current one.
      std::int64_t high = t;
      while (high - low > 1) {
        const std::int64_t middle = low + (high - low) / 2;
        if (OffsetOf(middle) == current)
          low = middle;
        else
          high = middle;
      }
      current = OffsetOf(high);
      spans.push_back({high, current});
      low = high;
    }
  }
  return spans;
}

// Sets TZ for the lifetime of the object and puts the old value (or its absence) back.
class ScopedTz {
 public:
  explicit ScopedTz(const std::string& value) {
    if (const char* old = std::getenv("TZ")) saved_ = old;
    setenv("TZ", value.c_str(), 1);
    tzset();
  }
  ~ScopedTz() {
    if (saved_)
      setenv("TZ", saved_->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }
  ScopedTz(const ScopedTz&) = delete;
  ScopedTz& operator=(const ScopedTz&) = delete;

 private:
  std::optional<std::string> saved_;
};

// "+02:00", "-0500", "+3", optionally after "UTC" or "GMT"; seconds east of UTC.
std::optional<std::int32_t> FixedOffset(std::string text) {
  if (text == "UTC" || text == "GMT" || text == "Z") return 0;
  if (text.rfind("UTC", 0) == 0 || text.rfind("GMT", 0) == 0) text.erase(0, 3);
  if (text.size() < 2 || (text[0] != '+' && text[0] != '-')) return std::nullopt;
  const int sign = text[0] == '-' ? -1 : 1;
  std::string digits = text.substr(1);
  if (digits.size() == 5 && digits[2] == ':') digits.erase(2, 1);
  for (char c : digits)
    if (c < '0' || c > '9') return std::nullopt;
  int hours = 0, minutes = 0;
  if (digits.size() <= 2) {
    hours = std::atoi(digits.c_str());
  } else if (digits.size() == 4) {
    hours = std::atoi(digits.substr(0, 2).c_str());
    minutes = std::atoi(digits.substr(2).c_str());
  } else {
    return std::nullopt;
  }
  if (hours > 18 || minutes > 59) return std::nullopt;
  return sign * (hours * 3600 + minutes * 60);
}

// Whether `name` is a zone file of the time zone database: a plain relative name whose file
// starts with the database's magic.
bool IsZoneFile(const std::string& name) {
  if (name.empty() || name[0] == '/' || name.find("..") != std::string::npos) return false;
  const char* folder = std::getenv("TZDIR");
  const std::string path =
      std::string(folder && *folder ? folder : "/usr/share/zoneinfo") + "/" + name;
  std::ifstream in(path, std::ios::binary);
  char magic[4] = {};
  return in.read(magic, 4) && std::memcmp(magic, "TZif", 4) == 0;
}

}  // namespace

TimeZone TimeZone::Named(const std::string& name) {
  if (name == "local") return Local();
  TimeZone zone;
  zone.name_ = name;
  if (const std::optional<std::int32_t> offset = FixedOffset(name)) {
    zone.spans_.push_back({std::numeric_limits<std::int64_t>::min(), *offset});
    return zone;
  }
  if (!IsZoneFile(name))
    throw ZoneError("unknown time zone '" + name +
                    "': give a zone name such as Europe/Zurich, UTC, an offset such as +02:00, "
                    "or local");
  ScopedTz scoped(name);
  zone.spans_ = SampleCurrentZone();
  return zone;
}

TimeZone TimeZone::Local() {
  TimeZone zone;
  const char* tz = std::getenv("TZ");
  zone.name_ = tz && *tz ? tz : "local time";
  tzset();
  zone.spans_ = SampleCurrentZone();
  return zone;
}

std::size_t ZoneClock::SpanOf(std::int64_t utc) {
  const std::vector<ZoneSpan>& spans = *spans_;
  const std::size_t i = index_;
  if (spans[i].start <= utc && (i + 1 == spans.size() || utc < spans[i + 1].start)) return i;
  const auto after =
      std::upper_bound(spans.begin(), spans.end(), utc,
                       [](std::int64_t t, const ZoneSpan& s) { return t < s.start; });
  index_ = static_cast<std::size_t>(after - spans.begin()) - 1;
  return index_;
}

std::int32_t ZoneClock::OffsetAt(std::int64_t utc) {
  return (*spans_)[SpanOf(utc)].offset;
}

int ZoneClock::FromLocal(std::int64_t local, std::int64_t (&utc)[2]) {
  const std::vector<ZoneSpan>& spans = *spans_;
  // Offsets change by a day at most, so the answers lie in the spans around the guess.
  const std::size_t guess = SpanOf(local - spans[index_].offset);
  const std::size_t from = guess >= 2 ? guess - 2 : 0;
  const std::size_t to = std::min(spans.size(), guess + 3);
  int found = 0;
  for (std::size_t i = from; i < to && found < 2; ++i) {
    const std::int64_t t = local - spans[i].offset;
    if (t >= spans[i].start && (i + 1 == spans.size() || t < spans[i + 1].start)) {
      utc[found++] = t;
      index_ = i;
    }
  }
  if (found == 2 && utc[1] < utc[0]) std::swap(utc[0], utc[1]);
  if (found > 0) index_ = SpanOf(utc[0]);
  return found;
}

}  // namespace kmr
