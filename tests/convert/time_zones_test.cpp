// Time stamps on both sides of daylight-saving changes, in the input's zone and on the tester's
// clock (TZ); the tester reads every output in time order.
#include <cstdlib>
#include <ctime>

#include "tester/source/source_reader.h"
#include "tests/convert/fixtures.h"
#include "tests/convert/programs.h"

namespace kmr::test {
namespace {

class TimeZonesTest : public FolderTest {};

// Seconds since 1970 of "YYYY-MM-DD HH:MM:SS" read as UTC.
std::int64_t Utc(const char* text) {
  std::tm tm{};
  strptime(text, "%Y-%m-%d %H:%M:%S", &tm);
  return timegm(&tm);
}

// Sets TZ for a scope of the test and puts Europe/Zurich back.
class ScopedZone {
 public:
  explicit ScopedZone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ScopedZone() {
    setenv("TZ", "Europe/Zurich", 1);
    tzset();
  }
};

struct Stamp {
  const char* in;        // the input's stamp
  const char* out;       // the stamp written
  const char* readBack;  // the UTC time the tester reads the line as; nullptr: not checked
};

struct ZoneCase {
  const char* name;
  const char* inputZone;   // --input-tz; nullptr: the default (UTC)
  const char* outputZone;  // TZ of kmr-convert and the tester
  std::vector<Stamp> stamps;
  int repeated;  // lines written at the last second before the clocks went back
};

TEST_F(TimeZonesTest, BothSidesOfDaylightSavingChanges) {
  const ZoneCase cases[] = {
      {"UTC into Zurich's autumn change: the repeated hour's second pass is held",
       nullptr,
       "Europe/Zurich",
       {{"2023-10-28 23:30:00", "20231029 013000", "2023-10-28 23:30:00"},
        {"2023-10-29 00:30:00", "20231029 023000", "2023-10-29 00:30:00"},
        {"2023-10-29 00:59:59", "20231029 025959", "2023-10-29 00:59:59"},
        {"2023-10-29 01:00:00", "20231029 025959", nullptr},
        {"2023-10-29 01:30:00", "20231029 025959", nullptr},
        {"2023-10-29 01:59:59", "20231029 025959", nullptr},
        {"2023-10-29 02:00:00", "20231029 030000", "2023-10-29 02:00:00"},
        {"2023-10-29 02:30:00", "20231029 033000", "2023-10-29 02:30:00"}},
       2},
      {"UTC into Zurich's spring change: the output skips the hour",
       nullptr,
       "Europe/Zurich",
       {{"2023-03-26 00:30:00", "20230326 013000", "2023-03-26 00:30:00"},
        {"2023-03-26 00:59:59", "20230326 015959", "2023-03-26 00:59:59"},
        {"2023-03-26 01:00:00", "20230326 030000", "2023-03-26 01:00:00"},
        {"2023-03-26 01:30:00", "20230326 033000", "2023-03-26 01:30:00"}},
       0},
      {"New York stamps over both of its changes, onto Zurich's clock",
       "America/New_York",
       "Europe/Zurich",
       {{"2023-03-12 01:30:00", "20230312 073000", "2023-03-12 06:30:00"},
        {"2023-03-12 01:59:59", "20230312 075959", "2023-03-12 06:59:59"},
        {"2023-03-12 03:00:00", "20230312 080000", "2023-03-12 07:00:00"},
        {"2023-03-12 03:30:00", "20230312 083000", "2023-03-12 07:30:00"},
        // The repeated hour: read as summer time until that would go back.
        {"2023-11-05 00:30:00", "20231105 053000", "2023-11-05 04:30:00"},
        {"2023-11-05 01:30:00", "20231105 063000", "2023-11-05 05:30:00"},
        {"2023-11-05 01:45:00", "20231105 064500", "2023-11-05 05:45:00"},
        {"2023-11-05 01:15:00", "20231105 071500", "2023-11-05 06:15:00"},
        {"2023-11-05 01:45:00", "20231105 074500", "2023-11-05 06:45:00"},
        {"2023-11-05 02:30:00", "20231105 083000", "2023-11-05 07:30:00"}},
       0},
      // A file that starts inside the repeated hour: the platform may read that hour either
      // way (mktime takes the offset it used last), but in time order.
      {"Zurich stamps with the repeated hour, onto Zurich's clock",
       "Europe/Zurich",
       "Europe/Zurich",
       {{"2023-10-29 02:30:00", "20231029 023000", nullptr},
        {"2023-10-29 02:50:00", "20231029 025000", nullptr},
        {"2023-10-29 02:10:00", "20231029 025000", nullptr},
        {"2023-10-29 02:40:00", "20231029 025000", nullptr},
        {"2023-10-29 03:10:00", "20231029 031000", "2023-10-29 02:10:00"}},
       2},
      {"UTC onto New York's clock over its autumn change",
       nullptr,
       "America/New_York",
       {{"2023-11-05 05:30:00", "20231105 013000", "2023-11-05 05:30:00"},
        {"2023-11-05 05:59:59", "20231105 015959", "2023-11-05 05:59:59"},
        {"2023-11-05 06:00:00", "20231105 015959", nullptr},
        {"2023-11-05 06:30:00", "20231105 015959", nullptr},
        {"2023-11-05 07:00:00", "20231105 020000", "2023-11-05 07:00:00"}},
       2},
      {"A fixed offset",
       "+02:00",
       "Europe/Zurich",
       {{"2023-07-01 12:00:00", "20230701 120000", "2023-07-01 10:00:00"},
        {"2023-12-01 12:00:00", "20231201 110000", "2023-12-01 10:00:00"}},
       0},
  };
  for (const ZoneCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string input, expected;
    int points = 120001;
    for (const Stamp& s : c.stamps) {
      input += std::string(s.in) + "," + PointsText(points) + "\n";
      expected += std::string(s.out) + ";" + ShortestText(points++) + "\n";
    }
    const std::string in = WriteFile("in.csv", input), out = Path("out.txt");
    std::vector<std::string> args = {in, out};
    if (c.inputZone) args.insert(args.begin(), {"--input-tz", c.inputZone});
    const Outcome run = Convert(args, {{"TZ", c.outputZone}});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Slurp(out), expected) << run.err;
    if (c.repeated > 0) {
      EXPECT_TRUE(Has(run.err, std::to_string(c.repeated) +
                                   " repeated hour lines written at the last second before the "
                                   "clocks went back"))
          << run.err;
    } else {
      EXPECT_FALSE(Has(run.err, "repeated hour")) << run.err;
    }

    // The tester reads the lines in time order, and the ones outside the second pass of a
    // repeated hour at their own time.
    ScopedZone zone(c.outputZone);
    SourceReader reader;
    ASSERT_TRUE(reader.Open(out));
    SourceLine line;
    std::int32_t previous = 0;
    for (const Stamp& s : c.stamps) {
      ASSERT_TRUE(reader.ReadLine(line));
      EXPECT_GE(line.time, previous) << s.in;
      if (s.readBack) {
        EXPECT_EQ(line.time, Utc(s.readBack)) << s.in;
      }
      previous = line.time;
    }
  }
}

TEST_F(TimeZonesTest, LocalTimesThatDoNotExistAreReportedByLine) {
  const std::string in = WriteFile(
      "in.csv", "2023-03-26 01:59:00,1.1\n2023-03-26 02:30:00,1.2\n2023-03-26 03:00:00,1.3\n");
  const Outcome run = Convert({"--input-tz", "Europe/Zurich", in, Path("out.txt")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Slurp(Path("out.txt")), "20230326 015900;1.1\n20230326 030000;1.3\n");
  EXPECT_TRUE(Has(run.err,
                  "1 unreadable line left out\n  line 2: the local time 2023-03-26 "
                  "02:30:00 does not exist in Europe/Zurich"))
      << run.err;
}

TEST_F(TimeZonesTest, StampsWithTheirOwnZoneIgnoreTheInputZone) {
  const std::string in =
      WriteFile("in.csv", "time,price\n2023-01-02T10:00:00Z,1.1\n2023-01-02T10:00:01-05:00,1.2\n");
  const Outcome run = Convert({"--input-tz", "Asia/Tokyo", in, Path("out.txt")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Slurp(Path("out.txt")), "20230102 110000;1.1\n20230102 160001;1.2\n");
}

TEST_F(TimeZonesTest, UnknownZonesAreRefused) {
  const std::string in = WriteFile("in.csv", "2023-01-02 10:00:00,1.1\n");
  for (const char* zone : {"Europe/Zurik", "../../etc/passwd", "+25:00", ""}) {
    SCOPED_TRACE(zone);
    const Outcome run = Convert({"--input-tz", zone, in, Path("out.txt")});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(Has(run.err, "--input-tz: unknown time zone")) << run.err;
  }
}

}  // namespace
}  // namespace kmr::test
