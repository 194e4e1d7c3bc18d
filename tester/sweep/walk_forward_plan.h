// The windows of a walk-forward analysis: durations as the command line gives them, and the
// training and test periods laid over a price file's time span. Pure functions, no files.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kmr {

// A bad duration or plan; what() names the option and fits one line.
class WalkForwardError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A whole number of hours (h), days (d) or weeks (w). Days and weeks are local calendar days:
// they keep the clock time across a change of daylight saving time; hours are 3,600 seconds.
// Minutes and months are not taken, so that "m" cannot mean either.
struct Duration {
  std::int64_t count = 0;
  char unit = 'd';  // 'h', 'd' or 'w'
};

// "36h", "365d", "13w"; throws WalkForwardError naming `option` for anything else (no sign, no
// fraction, no space, at least 1, at most 100 years).
Duration ParseDuration(std::string_view option, std::string_view text);
std::string DurationText(const Duration& duration);  // as it was given: "365d"

// `time` (seconds since 1970 UTC) moved on by `times` x `duration` in local time, 64 bits.
std::int64_t AddDuration(std::int64_t time, const Duration& duration, std::int64_t times = 1);

struct WalkForwardPeriods {
  Duration train, test, step;  // step: the test duration when not given
  Duration warmup;             // the head of the training period that warms the charts up
  bool anchored = false;       // every training period starts at the file's first line
};

// One window. The in-sample run warms up on [trainStart, warmupEnd) and trades up to
// trainEnd; the out-of-sample run takes [trainStart, testStart) as its history and trades the
// test period up to testEnd. Each end is taken as kmr-replay takes --history-till and
// --trade-till: the part ends with the first line at or after it.
struct WalkForwardWindow {
  std::size_t index = 0;
  std::int32_t trainStart = 0, warmupEnd = 0, trainEnd = 0;
  std::int32_t testStart = 0, testEnd = 0;  // testStart == trainEnd
};

// The windows over a file whose lines run from `first` to `last`: the first training period
// starts at `first`; each next window starts `step` later (anchored: only its end moves); a
// test period ends where the next window's training period ends when the step is the test
// period, and never after it (where daylight saving time makes a day 23 or 25 hours, or skips
// a training end's clock time); the last test period is the one that starts before `last`, cut
// at `last`. Throws
// WalkForwardError (naming the option) when the step is shorter than the test period (test
// periods would overlap), the warm-up is not shorter than the training period, or the file is
// too short for one window.
std::vector<WalkForwardWindow> PlanWalkForward(std::int32_t first, std::int32_t last,
                                               const WalkForwardPeriods& periods);

}  // namespace kmr
