#include "tester/sweep/walk_forward_plan.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <optional>

#include "tester/settings/local_time.h"
#include "tester/source/line_time.h"

namespace kmr {

namespace {

// 100 years in each unit.
std::int64_t MaxCount(char unit) {
  return unit == 'h' ? 876600 : unit == 'd' ? 36525 : 5218;
}

// Enough for any plan over a 32-bit time span at its finest step, and a bound on bad input.
constexpr std::size_t kMaxWindows = 10000;

// The text as given, quoted, with control characters escaped so that the error stays one line.
std::string Text(std::string_view text) {
  std::string shown = "'";
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(c));
      shown += escaped;
    } else {
      shown += c;
    }
  }
  return shown + "'";
}

// Nominal hours (a day as 24): equal for two durations of one kind that add up alike.
std::int64_t DurationHours(const Duration& duration) {
  return duration.count * (duration.unit == 'w' ? 168 : duration.unit == 'd' ? 24 : 1);
}

std::string TimeText(std::int64_t time) {
  return FormatLocalTime(static_cast<std::int32_t>(time), "%Y-%m-%d %H:%M:%S");
}

}  // namespace

Duration ParseDuration(std::string_view option, std::string_view text) {
  const std::string prefix = std::string(option) + ": ";
  const std::string usage = "a whole number of hours, days or weeks, e.g. 36h, 365d, 13w";
  if (text.empty()) throw WalkForwardError(prefix + "an empty duration; give " + usage);
  std::size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
  const std::string_view unitText = text.substr(digits);
  if (digits > 0 && (unitText == "m" || unitText == "mo" || unitText == "min"))
    throw WalkForwardError(prefix + Text(text) +
                           ": minutes and months are not taken; give hours, days or weeks "
                           "(h, d, w)");
  if (digits == 0 || unitText.size() != 1)
    throw WalkForwardError(prefix + "not a duration: " + Text(text) + "; give " + usage);
  Duration duration;
  duration.unit = unitText[0];
  if (duration.unit != 'h' && duration.unit != 'd' && duration.unit != 'w')
    throw WalkForwardError(prefix + "not a duration: " + Text(text) + "; give " + usage);
  const std::int64_t limit = MaxCount(duration.unit);
  for (std::size_t i = 0; i < digits; ++i) {
    duration.count = duration.count * 10 + (text[i] - '0');
    if (duration.count > limit)
      throw WalkForwardError(prefix + Text(text) + " is longer than 100 years");
  }
  if (duration.count == 0) throw WalkForwardError(prefix + Text(text) + " is no time at all");
  return duration;
}

std::string DurationText(const Duration& duration) {
  return std::to_string(duration.count) + duration.unit;
}

std::int64_t AddDuration(std::int64_t time, const Duration& duration, std::int64_t times) {
  const std::int64_t count = duration.count * times;
  if (duration.unit == 'h') return time + count * 3600;
  const std::time_t start = static_cast<std::time_t>(time);
  std::tm fields{};
  localtime_r(&start, &fields);
  // The clock time is kept and the zone decides on daylight saving time. mktime's answer for a
  // clock time the change repeats or skips depends on the calls made before it, so that the
  // same window could end at two times; the line times' rule does not.
  const int days = static_cast<int>(duration.unit == 'w' ? count * 7 : count);
  const LocalDateTime local{fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday + days,
                            fields.tm_hour,        fields.tm_min,     fields.tm_sec};
  if (const std::optional<std::int64_t> moved = LocalLineTime(NaiveSeconds(local))) return *moved;
  fields.tm_mday = local.day;
  fields.tm_isdst = -1;
  return static_cast<std::int64_t>(std::mktime(&fields));
}

std::vector<WalkForwardWindow> PlanWalkForward(std::int32_t first, std::int32_t last,
                                               const WalkForwardPeriods& periods) {
  if (AddDuration(first, periods.step) < AddDuration(first, periods.test))
    throw WalkForwardError("--step: " + DurationText(periods.step) + " is shorter than --test " +
                           DurationText(periods.test) + ": the test periods would overlap");
  const std::int64_t firstTrainEnd = AddDuration(first, periods.train);
  if (firstTrainEnd >= last)
    throw WalkForwardError("--train: " + DurationText(periods.train) +
                           " leaves no test period: the "
                           "file's lines run from " +
                           TimeText(first) + " to " + TimeText(last));
  // Hours and days differ where daylight saving time changes (a day of 23 or 25 hours), and a
  // clock time the change skips moves on by an hour: the test period that follows such a
  // training end, taken from it, would run into the next one. It ends where the next training
  // period does, then: exactly there when the step is the test period, at the latest there
  // otherwise.
  const bool stepIsTest = (periods.step.unit == 'h') == (periods.test.unit == 'h') &&
                          DurationHours(periods.step) == DurationHours(periods.test);
  std::vector<WalkForwardWindow> windows;
  for (std::int64_t k = 0;; ++k) {
    const std::int64_t trainEnd = AddDuration(firstTrainEnd, periods.step, k);
    if (trainEnd >= last) break;
    if (windows.size() == kMaxWindows)
      throw WalkForwardError("--step: " + DurationText(periods.step) + " makes more than " +
                             std::to_string(kMaxWindows) + " windows");
    const std::int64_t trainStart = periods.anchored ? first : AddDuration(first, periods.step, k);
    const std::int64_t warmupEnd = AddDuration(trainStart, periods.warmup);
    if (warmupEnd >= trainEnd)
      throw WalkForwardError("--warmup: " + DurationText(periods.warmup) +
                             " is not shorter than --train " + DurationText(periods.train));
    const std::int64_t nextTrainEnd = AddDuration(firstTrainEnd, periods.step, k + 1);
    const std::int64_t testEnd = std::min<std::int64_t>(
        stepIsTest ? nextTrainEnd : std::min(AddDuration(trainEnd, periods.test), nextTrainEnd),
        last);
    WalkForwardWindow w;
    w.index = windows.size();
    w.trainStart = static_cast<std::int32_t>(trainStart);
    w.warmupEnd = static_cast<std::int32_t>(warmupEnd);
    w.trainEnd = w.testStart = static_cast<std::int32_t>(trainEnd);
    w.testEnd = static_cast<std::int32_t>(testEnd);
    windows.push_back(w);
  }
  return windows;
}

}  // namespace kmr
