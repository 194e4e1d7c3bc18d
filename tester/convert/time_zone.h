// A time zone as a table of its offsets from UTC over the tester's time range, taken once from
// the C library, so that each line converts with a comparison or two and nothing global changes
// while lines are converted.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace kmr {

class ZoneError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// From `start` (seconds since 1970 UTC) until the next span, local time = UTC + offset.
struct ZoneSpan {
  std::int64_t start;
  std::int32_t offset;
};

class TimeZone {
 public:
  // "UTC", a fixed offset ("+02:00", "-0500", "UTC+3"), "local" (this process's TZ, as the
  // tester reads its files), or a zone name of the system's time zone database
  // ("Europe/Zurich"). Throws ZoneError naming `name` when it is none of these.
  static TimeZone Named(const std::string& name);
  // This process's TZ.
  static TimeZone Local();

  const std::string& Name() const { return name_; }
  bool Fixed() const { return spans_.size() == 1; }
  const std::vector<ZoneSpan>& Spans() const { return spans_; }

 private:
  std::string name_;
  std::vector<ZoneSpan> spans_;  // by start; the first starts at the lowest int64
};

// Conversions through one zone, remembering the span used last: lines come in time order.
class ZoneClock {
 public:
  explicit ZoneClock(const TimeZone& zone) : spans_(&zone.Spans()) {}

  // The offset in force at `utc`.
  std::int32_t OffsetAt(std::int64_t utc);
  // The UTC times whose local clock reads `local` (local seconds, the fields read as if UTC):
  // none in the hour skipped when clocks go forward, two (earlier first) in the hour that
  // repeats when they go back. Returns how many.
  int FromLocal(std::int64_t local, std::int64_t (&utc)[2]);

 private:
  std::size_t SpanOf(std::int64_t utc);
  const std::vector<ZoneSpan>* spans_;
  std::size_t index_ = 0;
};

}  // namespace kmr
