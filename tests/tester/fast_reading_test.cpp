// The price reader's fast path (lines read in place, days looked up once, prices memoised)
// against its plain path and the line-by-line local time rule, bit for bit, over seeded random
// and adversarial files in several zones.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tester/source/line_time.h"
#include "tester/source/source_reader.h"
#include "tests/tester/test_support.h"

namespace kmr::test {
namespace {

// Zones with the odd cases: half-hour changes (Lord Howe), changes at midnight (Sao Paulo), a
// skipped day (Apia, 2011-12-30), changes of the standard offset (Caracas, Moscow), none
// (Kolkata), a rule given as text.
const char* const kZones[] = {"Europe/Zurich",  "America/New_York", "Australia/Lord_Howe",
                              "America/Sao_Paulo", "Pacific/Apia", "America/Caracas",
                              "Europe/Moscow",  "Asia/Kolkata",     "CET-1CEST,M3.5.0,M10.5.0/3"};

class ZoneScope {
 public:
  explicit ZoneScope(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ZoneScope() {
    setenv("TZ", "Europe/Zurich", 1);
    tzset();
  }
};

std::int64_t OffsetAt(std::int64_t time) {
  const std::time_t t = static_cast<std::time_t>(time);
  std::tm fields{};
  localtime_r(&t, &fields);
  return fields.tm_gmtoff;
}

// The instants where the offset changes in the given years, found hour by hour.
std::vector<std::int64_t> Changes(int fromYear, int toYear) {
  std::vector<std::int64_t> changes;
  const std::int64_t start = (static_cast<std::int64_t>(fromYear) - 1970) * 31556952;
  const std::int64_t end = (static_cast<std::int64_t>(toYear) + 1 - 1970) * 31556952;
  for (std::int64_t t = start; t < end; t += 3600)
    if (OffsetAt(t) != OffsetAt(t + 3600)) changes.push_back(t + 3600);
  return changes;
}

LocalDateTime FieldsOf(std::int64_t naive) {
  const std::time_t t = static_cast<std::time_t>(naive);
  std::tm f{};
  gmtime_r(&t, &f);
  return {f.tm_year + 1900, f.tm_mon + 1, f.tm_mday, f.tm_hour, f.tm_min, f.tm_sec};
}

std::optional<std::int32_t> Reference(const LocalDateTime& f) {
  if (f.year < 1970 || f.month < 1 || f.month > 12 || f.day < 1 || f.day > 31 || f.hour > 23 ||
      f.minute > 59 || f.second > 59)
    return std::nullopt;
  const std::optional<std::int64_t> time = LocalLineTime(NaiveSeconds(f));
  if (!time || *time < INT32_MIN || *time > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(*time);
}

// Local times in the order a file has them: stepping through every change of a few years, with
// jumps between, and now and then fields out of their range.
std::vector<LocalDateTime> LocalTimes(std::mt19937_64& random) {
  std::vector<LocalDateTime> times;
  for (const std::int64_t change : Changes(2010, 2012)) {
    const std::int64_t local = change + OffsetAt(change);
    for (std::int64_t t = local - 30 * 3600; t < local + 30 * 3600;
         t += 1 + static_cast<std::int64_t>(random() % 900)) {
      LocalDateTime f = FieldsOf(t);
      if (random() % 50 == 0) f.minute = -static_cast<int>(random() % 2000);
      if (random() % 50 == 0) f.day = 31;
      times.push_back(f);
    }
  }
  for (int i = 0; i < 3000; ++i) {  // anywhere from 1969 to past the 32-bit end
    const std::int64_t t = static_cast<std::int64_t>(random() % (1ull << 31)) +
                           static_cast<std::int64_t>(random() % (86400 * 800)) - 86400 * 400;
    LocalDateTime f = FieldsOf(t);
    if (random() % 10 == 0) f.second = -static_cast<int>(random() % 3000);
    times.push_back(f);
  }
  for (const std::int64_t year : {1970, 1996, 2016, 2018, 2023, 2037, 2038}) {
    for (const std::int64_t change : Changes(static_cast<int>(year), static_cast<int>(year))) {
      const std::int64_t local = change + OffsetAt(change);
      for (std::int64_t t = local - 2 * 3600; t < local + 2 * 3600; t += 1 + random() % 300)
        times.push_back(FieldsOf(t));
    }
  }
  return times;
}

TEST(LineTimeTest, DayLookUpAgreesWithTheLineByLineRuleInEveryZone) {
  std::mt19937_64 random(16);
  for (const char* zone : kZones) {
    SCOPED_TRACE(zone);
    ZoneScope scope(zone);
    std::vector<LocalDateTime> times = LocalTimes(random);
    ASSERT_GT(times.size(), 1000u);
    for (int order = 0; order < 2; ++order) {  // in file order, then shuffled
      LineTimeConverter converter;
      for (const LocalDateTime& f : times) {
        const std::optional<std::int32_t> expected = Reference(f);
        ASSERT_EQ(converter.Convert(f), expected)
            << f.year << "-" << f.month << "-" << f.day << " " << f.hour << ":" << f.minute
            << ":" << f.second;
      }
      std::shuffle(times.begin(), times.end(), random);
    }
  }
}

// mktime's own answer, the call before it at the same local time an hour earlier, as when a
// file is read in time order.
std::optional<std::int64_t> MktimeReadingForward(const LocalDateTime& f) {
  for (int pass = 0; pass < 2; ++pass) {
    std::tm fields{};
    fields.tm_year = f.year - 1900;
    fields.tm_mon = f.month - 1;
    fields.tm_mday = f.day;
    fields.tm_hour = f.hour - (pass == 0 ? 1 : 0);
    fields.tm_min = f.minute;
    fields.tm_sec = f.second;
    fields.tm_isdst = -1;
    errno = 0;
    const std::time_t t = std::mktime(&fields);
    if (pass == 1) {
      if (t == static_cast<std::time_t>(-1) && errno != 0) return std::nullopt;
      return t;
    }
  }
  return std::nullopt;
}

TEST(LineTimeTest, TheLineByLineRuleIsMktimeReadingForward) {
  // Where a local time names one instant this is mktime's answer whatever was called before;
  // in a repeated or skipped hour it is the answer mktime gives a file read in time order.
  std::mt19937_64 random(1616);
  for (const char* zone : {"Europe/Zurich", "America/New_York", "Australia/Lord_Howe",
                           "America/Sao_Paulo", "Europe/Moscow"}) {
    SCOPED_TRACE(zone);
    ZoneScope scope(zone);
    for (const std::int64_t change : Changes(2011, 2018)) {
      const std::int64_t local = change + OffsetAt(change);
      for (std::int64_t t = local - 3 * 3600; t < local + 3 * 3600; t += 1 + random() % 400) {
        const LocalDateTime f = FieldsOf(t);
        ASSERT_EQ(LocalLineTime(t), MktimeReadingForward(f))
            << f.year << "-" << f.month << "-" << f.day << " " << f.hour << ":" << f.minute;
      }
    }
  }
}

// Prices as files have them, and the forms strtod reads further or not at all.
std::string Price(std::mt19937_64& random) {
  static const char* const kOdd[] = {"",       "-",        ".",       "-.5",     "5.",
                                     "007.10", "-0",       "0",       "1e5",     "1E-3",
                                     "1.5e",   "0x1p-3",   "0X10",    "inf",     "nan",
                                     " 1.5",   "+2",       "1.5abc",  "1..5",    "--1",
                                     "1,5",    "\t7",      "9007199254740993",
                                     "123456789012345",    "1234567890123456",
                                     "0.1234567890123456789", "1.7976931348623157e308",
                                     "99999999999999999999999999999999", "1e400", "-1e-400"};
  switch (random() % 6) {
    case 0:
      return kOdd[random() % (sizeof kOdd / sizeof *kOdd)];
    case 1: {  // up to 18 digits with the point anywhere
      std::string digits;
      const int count = 1 + static_cast<int>(random() % 18);
      for (int i = 0; i < count; ++i) digits += static_cast<char>('0' + random() % 10);
      digits.insert(random() % (digits.size() + 1), 1, '.');
      return (random() % 4 == 0 ? "-" : "") + digits;
    }
    default: {  // a walk's price, 0 to 6 decimals
      const int decimals = static_cast<int>(random() % 7);
      std::string text = std::to_string(random() % 3) + (decimals ? "." : "");
      for (int i = 0; i < decimals; ++i) text += static_cast<char>('0' + random() % 10);
      return text;
    }
  }
}

// A file of `lines` lines from 2023 onwards in the zone in force, through the changes of 2023:
// mostly common lines, the others mutated byte by byte.
std::string PriceFileText(std::mt19937_64& random, int lines) {
  static const char kBytes[] = "0123456789:/ ;\r\n\t.-+eExX\x80\xff";
  std::vector<std::int64_t> changes = Changes(2023, 2024);
  std::int64_t t = 1672531200;  // 2023-01-01 UTC
  std::string text;
  for (int i = 0; i < lines; ++i) {
    if (random() % 2000 == 0 && !changes.empty())
      t = changes[random() % changes.size()] - 3600 * static_cast<std::int64_t>(random() % 5);
    t += static_cast<std::int64_t>(random() % 600);
    const std::time_t now = static_cast<std::time_t>(t);
    std::tm f{};
    localtime_r(&now, &f);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d %02d%02d%02d", f.tm_year + 1900,
                  f.tm_mon + 1, f.tm_mday, f.tm_hour, f.tm_min, f.tm_sec);
    std::string line = std::string(stamp) + ";" + Price(random);
    if (random() % 5 == 0) line += ";" + Price(random);
    if (random() % 20 == 0) line += ";" + Price(random) + ";x";
    if (random() % 4 == 0) {
      const int edits = 1 + static_cast<int>(random() % 3);
      for (int e = 0; e < edits && !line.empty(); ++e) {
        const std::size_t at = random() % line.size();
        const char byte = random() % 20 == 0 ? '\0' : kBytes[random() % (sizeof kBytes - 1)];
        switch (random() % 4) {
          case 0: line[at] = byte; break;
          case 1: line.insert(at, 1, byte); break;
          case 2: line.erase(at, 1); break;
          default: line.resize(random() % 20); break;
        }
      }
    }
    const int end = static_cast<int>(random() % 10);
    text += line + (end == 0 ? "\r\n" : end == 1 ? "\r\r\n" : "\n");
  }
  if (random() % 2) text += "20230823 123456;1.5\r";  // a last line without its line feed
  return text;
}

class FastReadingTest : public TesterTest {};

TEST_F(FastReadingTest, FastPathAgreesWithThePlainPathBitForBit) {
  std::mt19937_64 random(160);
  for (const char* zone : {"Europe/Zurich", "America/New_York", "Australia/Lord_Howe"}) {
    SCOPED_TRACE(zone);
    ZoneScope scope(zone);
    // Over a megabyte: the fast path meets the buffer's end and refills many times.
    const std::string path = WriteFile("prices.txt", PriceFileText(random, 60000));
    for (bool readAsk : {false, true}) {
      SCOPED_TRACE(readAsk);
      SourceReader fast, plain;
      plain.SetPlainOnly(true);
      fast.SetReadAsk(readAsk);
      plain.SetReadAsk(readAsk);
      ASSERT_TRUE(fast.Open(path));
      ASSERT_TRUE(plain.Open(path));
      long errors = 0;
      for (long call = 0;; ++call) {
        SourceLine a, b;
        bool readA = false, readB = false;
        std::string errorA, errorB;
        try {
          readA = fast.ReadLine(a);
        } catch (const SourceError& error) {
          errorA = error.what();
        }
        try {
          readB = plain.ReadLine(b);
        } catch (const SourceError& error) {
          errorB = error.what();
        }
        ASSERT_EQ(readA, readB) << call;
        ASSERT_EQ(errorA, errorB) << call;
        ASSERT_EQ(fast.LineNumber(), plain.LineNumber());
        ASSERT_EQ(fast.LastTickTime(), plain.LastTickTime()) << call;
        const double lastA = fast.LastPrice(), lastB = plain.LastPrice();
        ASSERT_EQ(std::memcmp(&lastA, &lastB, sizeof lastA), 0) << call;
        ASSERT_EQ(a.time, b.time) << call;
        ASSERT_EQ(std::memcmp(&a.price, &b.price, sizeof a.price), 0) << call;
        ASSERT_EQ(std::memcmp(&a.ask, &b.ask, sizeof a.ask), 0) << call;
        if (!errorA.empty()) ++errors;
        if (!readA && errorA.empty()) break;
      }
      EXPECT_FALSE(fast.IsOpen());
      EXPECT_GT(fast.LineNumber(), 60000 - 1);
      EXPECT_GT(errors, 1000);  // the mutated lines reach the checks
    }
  }
}

}  // namespace
}  // namespace kmr::test
