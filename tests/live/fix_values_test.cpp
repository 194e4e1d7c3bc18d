// UTC times and FIX numbers: both directions, and what is refused.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>

#include "live/fix/fix_number.h"
#include "live/fix/fix_time.h"

namespace kmr {
namespace {

TEST(FixTime, FormatsLineTimesAsUtc) {
  struct Case {
    std::int32_t time;
    const char* date;
    const char* clock;
  } cases[] = {
      {0, "19700101", "00:00:00"},
      {951782400, "20000229", "00:00:00"},
      {1700000000, "20231114", "22:13:20"},
      {-1, "19691231", "23:59:59"},
      {std::numeric_limits<std::int32_t>::max(), "20380119", "03:14:07"},
      {std::numeric_limits<std::int32_t>::min(), "19011213", "20:45:52"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FixUtcDate(c.time), c.date) << c.time;
    EXPECT_EQ(FixUtcTime(c.time), c.clock) << c.time;
    EXPECT_EQ(FixUtcTimestamp(c.time), std::string(c.date) + "-" + c.clock);
    EXPECT_EQ(ParseFixUtcDateTime(c.date, c.clock), c.time);
    EXPECT_EQ(ParseFixUtcTimestamp(FixUtcTimestamp(c.time)), c.time);
  }
}

TEST(FixTime, RoundTripsEveryKindOfSecond) {
  std::mt19937 random(14);
  std::uniform_int_distribution<std::int32_t> any(std::numeric_limits<std::int32_t>::min(),
                                                  std::numeric_limits<std::int32_t>::max());
  for (int i = 0; i < 20000; ++i) {
    const std::int32_t t = any(random);
    ASSERT_EQ(ParseFixUtcDateTime(FixUtcDate(t), FixUtcTime(t)), t) << t;
  }
}

TEST(FixTime, DropsFractionsAndRefusesMalformedTimes) {
  EXPECT_EQ(ParseFixUtcDateTime("20231114", "22:13:20.999"), 1700000000);
  EXPECT_EQ(ParseFixUtcTimestamp("20231114-22:13:20.123456789"), 1700000000);
  const char* badDates[] = {"2023111", "202311145", "2023-111", "20231301", "20230229",
                            "20230000", "20231131", "2023111x", ""};
  for (const char* d : badDates) EXPECT_FALSE(ParseFixUtcDateTime(d, "00:00:00")) << d;
  const char* badTimes[] = {"24:00:00", "23:60:00", "23:59:60", "1:00:00",  "01-00-00",
                            "01:00:00.", "01:00:00,5", "01:00:00.1234567890123", "", "01:00"};
  for (const char* t : badTimes) EXPECT_FALSE(ParseFixUtcDateTime("20231114", t)) << t;
  EXPECT_FALSE(ParseFixUtcDateTime("20380119", "03:14:08"));  // one past 32 bits
  EXPECT_FALSE(ParseFixUtcDateTime("19011213", "20:45:51"));
  EXPECT_FALSE(ParseFixUtcTimestamp("20231114 22:13:20"));
  EXPECT_FALSE(ParseFixUtcTimestamp("20231114-"));
}

TEST(FixNumber, EveryDoubleCrossesTheWireUnchanged) {
  const double values[] = {1.23456,  0.1 + 0.2, 1.1 + 0.00015, 100000, 0.2, 1e-300,
                           -2.5e-7, 1.7976931348623157e308, 5e-324, 12345.678901234567};
  for (const double v : values) {
    const std::string text = FormatFixNumber(v);
    ASSERT_FALSE(text.empty()) << v;
    EXPECT_EQ(text.find_first_of("eE+"), std::string::npos) << text;
    EXPECT_EQ(ParseFixNumber(text), v) << text;
  }
  EXPECT_EQ(FormatFixNumber(1.23456), "1.23456");
  EXPECT_EQ(FormatFixNumber(100000), "100000");
  EXPECT_EQ(FormatFixNumber(-0.0), "0");
  std::mt19937_64 random(14);
  for (int i = 0; i < 20000; ++i) {
    const std::uint64_t bits = random();
    double v;
    static_assert(sizeof v == sizeof bits);
    std::memcpy(&v, &bits, sizeof v);
    if (!std::isfinite(v) || v == 0) continue;
    ASSERT_EQ(ParseFixNumber(FormatFixNumber(v)), v) << bits;
  }
}

TEST(FixNumber, RefusesWhatIsNotAPlainDecimal) {
  EXPECT_TRUE(FormatFixNumber(std::nan("")).empty());
  EXPECT_TRUE(FormatFixNumber(std::numeric_limits<double>::infinity()).empty());
  const char* bad[] = {"", "-", ".", "-.", "1e5", "+1", "1.2.3", " 1", "1 ", "0x10", "nan",
                       "inf", "1,5"};
  for (const char* b : bad) EXPECT_FALSE(ParseFixNumber(b)) << b;
  EXPECT_FALSE(ParseFixNumber(std::string(400, '9')));  // beyond the largest double
  EXPECT_EQ(ParseFixNumber("5."), 5.0);
  EXPECT_EQ(ParseFixNumber(".5"), 0.5);
  EXPECT_EQ(ParseFixNumber("-0.25"), -0.25);
  EXPECT_EQ(ParseFixNumber("007"), 7.0);
}

}  // namespace
}  // namespace kmr
