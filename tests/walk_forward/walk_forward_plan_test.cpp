// Durations and walk-forward window plans, in Zurich's local time (the tests' zone).
#include "tester/sweep/walk_forward_plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>

namespace kmr {
namespace {

std::int64_t Local(int year, int month, int day, int hour = 0, int minute = 0) {
  std::tm fields{};
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = hour;
  fields.tm_min = minute;
  fields.tm_isdst = -1;
  return std::mktime(&fields);
}

std::string ErrorOf(const std::string& text) {
  try {
    ParseDuration("--train", text);
  } catch (const WalkForwardError& error) {
    return error.what();
  }
  return "";
}

TEST(Duration, TakesHoursDaysAndWeeks) {
  struct Case {
    const char* text;
    std::int64_t count;
    char unit;
  } cases[] = {{"36h", 36, 'h'}, {"365d", 365, 'd'}, {"13w", 13, 'w'},
               {"1h", 1, 'h'},   {"007d", 7, 'd'},   {"36525d", 36525, 'd'}};
  for (const Case& c : cases) {
    const Duration d = ParseDuration("--test", c.text);
    EXPECT_EQ(d.count, c.count) << c.text;
    EXPECT_EQ(d.unit, c.unit) << c.text;
    EXPECT_EQ(DurationText(d), std::to_string(c.count) + c.unit);
  }
}

TEST(Duration, BadOnesGiveOneLineNamingTheOption) {
  struct Case {
    const char* text;
    const char* says;
  } cases[] = {
      {"", "--train: an empty duration"},
      {"d", "--train: not a duration: 'd'"},
      {"365", "--train: not a duration: '365'"},
      {"365 d", "not a duration"},
      {" 365d", "not a duration"},
      {"365d ", "not a duration"},
      {"-5d", "not a duration"},
      {"+5d", "not a duration"},
      {"1.5d", "not a duration"},
      {"5D", "not a duration"},
      {"5y", "not a duration"},
      {"5dd", "not a duration"},
      {"5m", "--train: '5m': minutes and months are not taken"},
      {"5mo", "minutes and months are not taken"},
      {"0d", "--train: '0d' is no time at all"},
      {"0h", "no time at all"},
      {"36526d", "--train: '36526d' is longer than 100 years"},
      {"5219w", "longer than 100 years"},
      {"876601h", "longer than 100 years"},
      {"99999999999999999999999d", "longer than 100 years"},
      {"5\nd", "not a duration: '5\\x0ad'"},
  };
  for (const Case& c : cases) {
    const std::string error = ErrorOf(c.text);
    EXPECT_NE(error.find(c.says), std::string::npos) << "'" << c.text << "': " << error;
    EXPECT_EQ(error.rfind("--train: ", 0), 0u) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }
}

TEST(Duration, DaysKeepTheClockTimeAcrossDaylightSavingTime) {
  // Zurich moved to summer time on 1996-03-31 at 02:00.
  const std::int64_t noon = Local(1996, 3, 30, 12);
  EXPECT_EQ(AddDuration(noon, {1, 'd'}), Local(1996, 3, 31, 12));
  EXPECT_EQ(AddDuration(noon, {1, 'd'}) - noon, 23 * 3600);
  EXPECT_EQ(AddDuration(noon, {24, 'h'}), Local(1996, 3, 31, 13));
  EXPECT_EQ(AddDuration(noon, {2, 'w'}), Local(1996, 4, 13, 12));
  EXPECT_EQ(AddDuration(noon, {1, 'w'}, 3), Local(1996, 4, 20, 12));
  EXPECT_EQ(AddDuration(noon, {365, 'd'}), Local(1997, 3, 30, 12));
}

TEST(Duration, ADayOntoASkippedOrRepeatedClockTimeIsOneInstantWhateverCameBefore) {
  // 1998-03-29 02:00-03:00 was skipped in Zurich, 1998-10-25 02:00-03:00 came twice. A day on
  // from the day before lands there; mktime's own answer there depends on its earlier calls.
  const struct {
    std::int64_t from;
    std::int64_t expected;
  } cases[] = {
      // Read with the offset before the gap (+01:00): 01:30 UTC, 03:30 summer time.
      {Local(1998, 3, 28, 2, 30), Local(1998, 3, 29, 1, 30) + 3600},
      // The first of the two instants: 00:30 UTC, summer time.
      {Local(1998, 10, 24, 2, 30), Local(1998, 10, 25, 1, 30) + 3600},
  };
  for (const auto& c : cases) {
    for (const int before : {1, 7}) {  // mktime last asked in winter, or in summer
      std::tm other{};
      other.tm_year = 98;
      other.tm_mon = before - 1;
      other.tm_mday = 15;
      other.tm_isdst = -1;
      std::mktime(&other);
      EXPECT_EQ(AddDuration(c.from, {1, 'd'}), c.expected) << c.from << " after month " << before;
    }
  }
}

WalkForwardPeriods Periods(const char* train, const char* test, const char* step = nullptr,
                           const char* warmup = "1w", bool anchored = false) {
  WalkForwardPeriods periods;
  periods.train = ParseDuration("--train", train);
  periods.test = ParseDuration("--test", test);
  periods.step = ParseDuration("--step", step ? step : test);
  periods.warmup = ParseDuration("--warmup", warmup);
  periods.anchored = anchored;
  return periods;
}

TEST(WalkForwardPlan, ThirteenWeeksThenFourOverAYear) {
  const std::int32_t first = Local(1996, 4, 1), last = Local(1997, 4, 1, 12);
  const auto windows = PlanWalkForward(first, last, Periods("13w", "4w"));
  ASSERT_EQ(windows.size(), 10u);
  EXPECT_EQ(windows[0].trainStart, first);
  EXPECT_EQ(windows[0].warmupEnd, Local(1996, 4, 8));
  EXPECT_EQ(windows[0].trainEnd, Local(1996, 7, 1));
  EXPECT_EQ(windows[0].testEnd, Local(1996, 7, 29));
  EXPECT_EQ(windows[1].trainStart, Local(1996, 4, 29));
  EXPECT_EQ(windows[9].testStart, Local(1997, 3, 10));
  EXPECT_EQ(windows[9].testEnd, last);  // cut at the file's last line
  for (std::size_t i = 0; i < windows.size(); ++i) EXPECT_EQ(windows[i].index, i);
}

// Whatever the durations: each test period follows its training period at once, the test
// periods neither overlap nor (with the step equal to the test) leave a gap, and the plan
// covers the file up to its last line.
TEST(WalkForwardPlan, WindowsAreContiguousAndTestPeriodsNeverOverlap) {
  struct Case {
    WalkForwardPeriods periods;
    std::int32_t first, last;
  } cases[] = {
      {Periods("13w", "4w"), static_cast<std::int32_t>(Local(1996, 4, 1)),
       static_cast<std::int32_t>(Local(2001, 3, 30, 23, 30))},
      {Periods("365d", "13w", nullptr, "4w", true), static_cast<std::int32_t>(Local(1996, 4, 1)),
       static_cast<std::int32_t>(Local(2001, 3, 30, 23, 30))},
      {Periods("30d", "7d", "10d"), static_cast<std::int32_t>(Local(1996, 4, 1)),
       static_cast<std::int32_t>(Local(1996, 12, 24))},
      {Periods("48h", "12h", nullptr, "6h"), static_cast<std::int32_t>(Local(1996, 3, 25, 7, 30)),
       static_cast<std::int32_t>(Local(1996, 4, 9, 5, 30))},
      {Periods("2w", "1w", nullptr, "3d", true), static_cast<std::int32_t>(Local(1996, 10, 1)),
       static_cast<std::int32_t>(Local(1996, 11, 20))},
      // A clock time that summer time skips (2000-03-26 02:30) on the way: that training
      // period ends at 03:30, the next one at 02:30 again.
      {Periods("2d", "1d", nullptr, "12h"), static_cast<std::int32_t>(Local(2000, 3, 20, 2, 30)),
       static_cast<std::int32_t>(Local(2000, 4, 5))},
      // Steps of 24 hours over the day of 25 (2000-10-29): the test day there is cut short.
      {Periods("7d", "1d", "24h", "2d"), static_cast<std::int32_t>(Local(2000, 10, 20)),
       static_cast<std::int32_t>(Local(2000, 11, 10))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(DurationText(c.periods.train) + " " + DurationText(c.periods.test) + " " +
                 DurationText(c.periods.step) + (c.periods.anchored ? " anchored" : ""));
    const auto windows = PlanWalkForward(c.first, c.last, c.periods);
    ASSERT_FALSE(windows.empty());
    const bool contiguous = DurationText(c.periods.step) == DurationText(c.periods.test);
    for (std::size_t i = 0; i < windows.size(); ++i) {
      const WalkForwardWindow& w = windows[i];
      EXPECT_EQ(w.trainStart,
                c.periods.anchored ? c.first : AddDuration(c.first, c.periods.step, i));
      EXPECT_LT(w.trainStart, w.warmupEnd);
      EXPECT_LT(w.warmupEnd, w.trainEnd);
      EXPECT_EQ(w.testStart, w.trainEnd);
      EXPECT_LT(w.testStart, w.testEnd);
      EXPECT_LE(w.testEnd, c.last);
      EXPECT_EQ(w.trainEnd, AddDuration(AddDuration(c.first, c.periods.train), c.periods.step, i));
      if (i + 1 < windows.size()) {
        EXPECT_EQ(w.testEnd, std::min<std::int64_t>(AddDuration(w.testStart, c.periods.test),
                                                    windows[i + 1].testStart));
        EXPECT_LE(w.testEnd, windows[i + 1].testStart);
        if (contiguous) {
          EXPECT_EQ(w.testEnd, windows[i + 1].testStart);
        }
      }
    }
    EXPECT_LT(windows.back().testStart, c.last);
    EXPECT_GE(AddDuration(windows.back().testStart, c.periods.step), c.last);
  }
}

TEST(WalkForwardPlan, PlansThatCannotBeMade) {
  const std::int32_t first = Local(1996, 4, 1), last = Local(1997, 4, 1);
  struct Case {
    WalkForwardPeriods periods;
    const char* says;
  } cases[] = {
      {Periods("13w", "4w", "3w"),
       "--step: 3w is shorter than --test 4w: the test periods would "
       "overlap"},
      {Periods("13w", "28d", "27d"), "--step: 27d is shorter than --test 28d"},
      {Periods("2w", "1w", nullptr, "2w"), "--warmup: 2w is not shorter than --train 2w"},
      {Periods("1w", "1w", nullptr, "168h"), "--warmup: 168h is not shorter than --train 1w"},
      {Periods("365d", "1w"),
       "--train: 365d leaves no test period: the file's lines run from "
       "1996-04-01 00:00:00 to 1997-04-01 00:00:00"},
      {Periods("1h", "1h", nullptr, "1h"), "--warmup: 1h is not shorter than --train 1h"},
  };
  for (const Case& c : cases) {
    try {
      PlanWalkForward(first, last, c.periods);
      ADD_FAILURE() << "no error for " << c.says;
    } catch (const WalkForwardError& error) {
      EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << error.what();
    }
  }
  // A step of an hour over many years is bounded.
  EXPECT_THROW(PlanWalkForward(first, Local(2001, 1, 1), Periods("2h", "1h", nullptr, "1h")),
               WalkForwardError);
}

}  // namespace
}  // namespace kmr
