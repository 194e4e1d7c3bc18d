// Bars: as four ticks in the engine's own order, as bars for kmr-replay --history-bars, and the
// history they give the engine either way.
#include <algorithm>
#include <cstdio>
#include <ctime>

#include "tests/convert/fixtures.h"
#include "tests/convert/programs.h"

namespace kmr::test {
namespace {

class BarsTest : public FolderTest {};

TEST_F(BarsTest, ABarBecomesFourTicksInTheEnginesOrderInsideTheBar) {
  const std::string in = WriteFile("bars.csv",
                                   "2023.01.02,10:00,1.1,1.3,1.0,1.2\n"    // rising
                                   "2023.01.02,10:01,1.2,1.25,1.05,1.1\n"  // falling
                                   "2023.01.02,10:02,1.1,1.2,1.0,1.1\n"    // unchanged
                                   "2023.01.02,10:05,1.1,1.1,1.1,1.1\n");  // after a gap
  const Outcome run = Convert({in, Path("out.txt")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Has(run.err, "bars of 1 minute")) << run.err;
  EXPECT_EQ(Slurp(Path("out.txt")),
            "20230102 110000;1.1\n20230102 110020;1\n20230102 110040;1.3\n20230102 110059;1.2\n"
            "20230102 110100;1.2\n20230102 110120;1.25\n20230102 110140;1.05\n"
            "20230102 110159;1.1\n"
            "20230102 110200;1.1\n20230102 110220;1\n20230102 110240;1.2\n20230102 110259;1.1\n"
            "20230102 110500;1.1\n20230102 110520;1.1\n20230102 110540;1.1\n"
            "20230102 110559;1.1\n");
  // A bar that the next one starts inside of ends where that one starts.
  const Outcome hours = Convert({"--timeframe", "H1", in, Path("hours.txt")});
  ASSERT_EQ(hours.status, 0) << hours.err;
  EXPECT_EQ(Lines(Slurp(Path("hours.txt")))[3], "20230102 110059;1.2");
  EXPECT_EQ(Lines(Slurp(Path("hours.txt")))[15], "20230102 120459;1.1");  // the last: an hour
  // Bars whose high and low do not hold their open and close are left out.
  const Outcome bad =
      Convert({"--format", "date,time,open,high,low,close",
               WriteFile("bad.csv",
                         "2023.01.02,10:00,1.1,1.3,1.0,1.2\n2023.01.02,10:01,1.2,1.1,"
                         "1.05,1.15\n2023.01.02,10:02,1.1,1.2,1.0,1.1\n"),
               Path("bad.txt")});
  ASSERT_EQ(bad.status, 0) << bad.err;
  EXPECT_TRUE(Has(bad.err, "line 2: a bar whose high and low do not hold its open and close"))
      << bad.err;
}

TEST_F(BarsTest, ToBarsFromBarsAndFromTicks) {
  const Outcome bars =
      Convert({"--to", "bars", kConvertData + "/bars_mt_tab.tsv", Path("bars.txt")});
  ASSERT_EQ(bars.status, 0) << bars.err;
  EXPECT_EQ(Slurp(Path("bars.txt")), ExpectedBars(MinuteBars()));

  const std::string ticks = WriteFile("ticks.csv",
                                      "2023-01-02 10:00:05,1.2\n2023-01-02 10:00:30,1.25\n"
                                      "2023-01-02 10:00:59,1.15\n2023-01-02 10:01:00,1.18\n"
                                      "2023-01-02 10:03:10,1.17\n2023-01-02 10:03:50,1.19\n");
  const Outcome minutes = Convert({"--to", "bars", ticks, Path("m1.txt")});
  ASSERT_EQ(minutes.status, 0) << minutes.err;
  EXPECT_EQ(Slurp(Path("m1.txt")),
            "20230102 110000;1.2;1.25;1.15;1.15\n20230102 110100;1.18;1.18;1.18;1.18\n"
            "20230102 110300;1.17;1.19;1.17;1.19\n");
  const Outcome fives = Convert({"--to", "bars", "--timeframe", "M5", ticks, Path("m5.txt")});
  ASSERT_EQ(fives.status, 0) << fives.err;
  EXPECT_EQ(Slurp(Path("m5.txt")), "20230102 110000;1.2;1.25;1.15;1.19\n");
  // Days start at the tester's midnight: 23:30 UTC is the next day in Zurich.
  const Outcome days =
      Convert({"--to", "bars", "--timeframe", "D1",
               WriteFile("late.csv", "2023-01-02 22:30:00,1.2\n2023-01-02 23:30:00,1.3\n"),
               Path("d1.txt")});
  ASSERT_EQ(days.status, 0) << days.err;
  EXPECT_EQ(Slurp(Path("d1.txt")),
            "20230102 000000;1.2;1.2;1.2;1.2\n20230103 000000;1.3;1.3;1.3;1.3\n");
}

// The same bars warm the engine up alike whether kmr-replay takes them as bars through
// ProcessHistoryM1 or as the ticks kmr-convert makes of them: the trade part that follows opens
// and closes the same deals at the same prices and writes the same journal. The bars are made
// of the sample's first 20,000 prices, four to a bar, written as a vendor would (in UTC); the
// rest of the sample is the trade part.
TEST_F(BarsTest, HistoryBarsLeaveTheChartsWhereTheirTicksLeaveThem) {
  const std::vector<std::string> sample =
      Lines(Slurp(std::string(KMR_TEST_DATA) + "/../../data/USDCHF_30min_19960401-20010330.txt"));
  ASSERT_GT(sample.size(), 30000u);
  std::string vendor, trade;
  for (std::size_t i = 0; i + 4 <= 20000; i += 4) {
    double prices[4];
    for (int k = 0; k < 4; ++k) prices[k] = std::stod(sample[i + k].substr(16));
    std::tm local{};
    strptime(sample[i].substr(0, 15).c_str(), "%Y%m%d %H%M%S", &local);
    local.tm_isdst = -1;
    const std::time_t t = std::mktime(&local);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char line[128];
    std::snprintf(line, sizeof line, "%04d.%02d.%02d,%02d:%02d,%.4f,%.4f,%.4f,%.4f,0\n",
                  utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min,
                  prices[0], *std::max_element(prices, prices + 4),
                  *std::min_element(prices, prices + 4), prices[3]);
    vendor += line;
  }
  for (std::size_t i = 20000; i < sample.size(); ++i) trade += sample[i] + "\n";
  const std::string first = sample[20000];
  const std::string till = first.substr(0, 4) + "-" + first.substr(4, 2) + "-" +
                           first.substr(6, 2) + " " + first.substr(9, 2) + ":" +
                           first.substr(11, 2) + ":" + first.substr(13, 2);
  const std::string in = WriteFile("bars.csv", vendor);
  const Outcome toTicks = Convert({in, Path("bar_ticks.txt")});
  ASSERT_EQ(toTicks.status, 0) << toTicks.err;
  EXPECT_TRUE(Has(toTicks.err, "bars of 2 hours")) << toTicks.err;
  WriteFile("all_ticks.txt", Slurp(Path("bar_ticks.txt")) + trade);
  ASSERT_EQ(Convert({"--to", "bars", in, Path("bars.txt")}).status, 0);
  WriteFile("trade.txt", trade);

  const std::vector<std::string> settings = {"--json",
                                             "--history-till",
                                             till,
                                             "--tick-size",
                                             "0.0001",
                                             "--trend",
                                             "h200,t100,x50,25,12",
                                             "--consider-first",
                                             "3",
                                             "--entry",
                                             "20,o40,t60",
                                             "--flags",
                                             "5",
                                             "--deal-size",
                                             "1",
                                             "--tick-value",
                                             "10",
                                             "--commission",
                                             "1.5",
                                             "--cad-profit",
                                             "100",
                                             "--dca-interval",
                                             "100",
                                             "--std-interval",
                                             "50",
                                             "--max-net-pos",
                                             "5",
                                             "--spread",
                                             "0.0002"};
  auto run = [&](const std::string& journal, std::vector<std::string> more) {
    std::vector<std::string> args = settings;
    args.push_back("--log-file");
    args.push_back(Path(journal) + " \\3");
    args.insert(args.end(), more.begin(), more.end());
    return Replay(args);
  };
  const Outcome ticks = run("ticks.journal", {Path("all_ticks.txt")});
  const Outcome bars = run("bars.journal", {"--history-bars", Path("bars.txt"), Path("trade.txt")});
  ASSERT_EQ(ticks.status, 0) << ticks.err;
  ASSERT_EQ(bars.status, 0) << bars.err;
  EXPECT_TRUE(Has(ticks.out, "\"historyLines\": 20001,")) << ticks.out.substr(0, 300);
  EXPECT_TRUE(Has(bars.out, "\"historyLines\": 1,"));
  EXPECT_TRUE(Has(bars.out, "\"historyBars\": 5000,"));

  // Everything of the trade part: the results and the deal lines of the log.
  auto tradePart = [](const std::string& json) {
    std::string kept;
    for (const std::string& line : Lines(json))
      if (!Has(line, "\"file\"") && !Has(line, "\"lines\"") && !Has(line, "historyLines") &&
          !Has(line, "historyBars") && (line.rfind("    \"", 0) != 0 || Has(line, "deal ID=")))
        kept += line + "\n";
    return kept;
  };
  EXPECT_EQ(tradePart(bars.out), tradePart(ticks.out));
  EXPECT_TRUE(Has(ticks.out, "deal ID=")) << "the trade part opens no deal: nothing compared";
  const std::string journal = Slurp(Path("ticks.journal"));
  EXPECT_GT(journal.size(), 10000u);
  EXPECT_EQ(Slurp(Path("bars.journal")), journal);
}

TEST_F(BarsTest, HistoryBarErrorsNameTheFileAndLine) {
  const std::string prices = WriteFile("prices.txt", "20230102 110000;1.1\n20230102 110100;1.2\n");
  struct Case {
    const char* bars;
    std::string err;
  } cases[] = {
      {"20230102 100000;1.1;1.2;1.0;1.1\n20230102 095900;1.1;1.2;1.0;1.1\n",
       ":2: bar at 2023-01-02 09:59:00 comes after the bar at 2023-01-02 10:00:00"},
      {"20230102 105900;1.1;1.2;1.0;1.1\n20230102 110000;1.1;1.2;1.0;1.1\n",
       ":2: bar at 2023-01-02 11:00:00 is not before the price file's first line"},
      {"20230102 100000;1.1;1.2;1.0\n",
       ":1: invalid bar \"20230102 100000;1.1;1.2;1.0\": fewer "
       "than four prices"},
      {"20230102 100000;1.1;1.2;x;1.1\n", ":1: invalid bar"},
      {"20230102 100000;1.1;1.0;1.2;1.1\n", ":1: invalid bar"},
      {"20231302 100000;1.1;1.2;1.0;1.1\n", ":1: invalid bar"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.err);
    const std::string bars = WriteFile("bars.txt", c.bars);
    const Outcome run =
        Replay({"--history-till", "2023-01-02 11:00:00", "--history-bars", bars, prices});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(Has(run.err, bars + c.err)) << run.err;
  }
  const Outcome missing =
      Replay({"--history-till", "2023-01-02 11:00:00", "--history-bars", Path("none.txt"), prices});
  EXPECT_EQ(missing.status, 2);
  EXPECT_TRUE(Has(missing.err, Path("none.txt") + ": cannot open")) << missing.err;
  // Valid bars, in order and before the prices.
  const Outcome fine = Replay({"--history-till", "2023-01-02 11:00:00", "--history-bars",
                               WriteFile("bars.txt",
                                         "20230102 105800;1.1;1.2;1.0;1.1\n20230102 105900;1.1;1.2;"
                                         "1.0;1.15;77\n"),
                               prices});
  EXPECT_EQ(fine.status, 0) << fine.err;
  EXPECT_TRUE(Has(fine.out, "History bars:       2\n")) << fine.out;
}

}  // namespace
}  // namespace kmr::test
