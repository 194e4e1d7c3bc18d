// kmr-replay's time window (--history-from, --history-till, --trade-till) on the small file:
// where each part starts and ends, that the window gives what a file cut to it gives, the
// errors for windows that are empty or out of order, and what the report keeps of the window.
#include <fstream>
#include <regex>

#include "tests/tester/replay_program.h"

namespace kmr::test {
namespace {

// Lines 1-300 run from 1996-04-01 00:00 to 1996-04-09 05:30 every 30 minutes, with no line on
// the weekend of 6 and 7 April (line 240 is 04-05 23:30, line 241 04-08 00:00).
const std::string kSmall = std::string(KMR_TEST_DATA) + "/replay_small.txt";

// Settings under which the small file trades.
const std::vector<std::string> kTrading = {
    "--defaults", "--tick-size", "0.0001", "--tick-value", "10",        "--deal-size",
    "1",          "--spread",    "0.0002", "--trend",      "h10,t5,x3", "--consider-first",
    "3",          "--entry",     "2,4",    "--flags",      "5",         "--json"};

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

long Number(const std::string& json, const std::string& key) {
  const std::size_t at = json.find("\"" + key + "\": ");
  return at == std::string::npos ? -1 : std::stol(json.substr(at + key.size() + 4));
}

// The --json output without what differs between two equal runs: the wall clock in the log
// lines and the file's name.
std::string Comparable(const std::string& json) {
  static const std::regex clock(R"(\[\d{8} \d\d:\d\d:\d\d\] )");
  static const std::regex file(R"("file": "[^"]*")");
  return std::regex_replace(std::regex_replace(json, clock, ""), file, "");
}

class ReplayWindowTest : public ReplayProgramTest {
 protected:
  // Lines first..last (1-based) of the small file, as a file of their own.
  std::string Cut(long first, long last) {
    std::ifstream in(kSmall);
    std::string text, line;
    for (long number = 1; std::getline(in, line); ++number)
      if (number >= first && number <= last) text += line + "\n";
    return WriteFile("cut" + std::to_string(first) + "-" + std::to_string(last) + ".txt", text);
  }
};

TEST_F(ReplayWindowTest, WhereThePartsStartAndEnd) {
  struct Case {
    const char* what;
    std::vector<std::string> window;
    long history, trade;
  } cases[] = {
      {"no window", {"--history-till", "1996-04-03 01:30:00"}, 100, 200},
      {"history-from on line 49",
       {"--history-from", "1996-04-02 00:00:00", "--history-till", "1996-04-03 01:30:00"},
       52,
       200},
      {"history-from between lines 49 and 50",
       {"--history-from", "1996-04-02 00:10:00", "--history-till", "1996-04-03 01:30:00"},
       51,
       200},
      {"trade-till on line 200's time",
       {"--history-till", "1996-04-03 01:30:00", "--trade-till", "1996-04-05 03:30:00"},
       100,
       100},
      {"trade-till between lines 200 and 201",
       {"--history-till", "1996-04-03 01:30:00", "--trade-till", "1996-04-05 03:40:00"},
       100,
       101},
      {"both ends cut mid-file",
       {"--history-from", "1996-04-02 00:00:00", "--history-till", "1996-04-03 01:30:00",
        "--trade-till", "1996-04-04 02:30:00"},
       52,
       50},
      {"trade-till after the last line",
       {"--history-till", "1996-04-03 01:30:00", "--trade-till", "1996-04-10 00:00:00"},
       100,
       200},
      {"history-from before the first line",
       {"--history-from", "1996-03-01 00:00:00", "--history-till", "1996-04-03 01:30:00"},
       100,
       200},
      {"trade part over the weekend gap",
       {"--history-till", "1996-04-05 23:30:00", "--trade-till", "1996-04-08 00:00:00"},
       240,
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome run = Replay(With(With({"--defaults", "--json"}, c.window), {kSmall}));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Number(run.out, "historyLines"), c.history);
    EXPECT_EQ(Number(run.out, "tradeLines"), c.trade);
  }
}

// The skipped lines never reach the engine, and the run that ends at trade-till ends as at the
// end of a file (deals still open valued at the last price): the same figures, statistics and
// log as a replay of a file holding only the window's lines.
TEST_F(ReplayWindowTest, AWindowGivesWhatTheFileCutToItGives) {
  const Outcome window = Replay(
      With(kTrading, {"--history-from", "1996-04-02 00:00:00", "--history-till",
                      "1996-04-03 01:30:00", "--trade-till", "1996-04-08 12:00:00", kSmall}));
  ASSERT_EQ(window.status, 0) << window.err;
  const Outcome cut =
      Replay(With(kTrading, {"--history-till", "1996-04-03 01:30:00", Cut(49, 265)}));
  ASSERT_EQ(cut.status, 0) << cut.err;
  EXPECT_EQ(Comparable(window.out), Comparable(cut.out));
  EXPECT_GT(Number(window.out, "longDeals") + Number(window.out, "shortDeals"), 0) << window.out;
  EXPECT_GT(Number(window.out, "openDeals"), 0) << window.out;  // valued at line 265's price
}

TEST_F(ReplayWindowTest, EmptyAndOutOfOrderWindowsAreErrors) {
  struct Case {
    const char* what;
    std::vector<std::string> window;
    std::string err;
  } cases[] = {
      {"history-from after the last line",
       {"--history-from", "1996-04-10 00:00:00", "--history-till", "1996-04-11 00:00:00"},
       "--history-from: no line of " + kSmall +
           " from '1996-04-10 00:00:00' to --history-till '1996-04-11 00:00:00'"},
      {"history window inside the weekend gap",
       {"--history-from", "1996-04-06 00:00:00", "--history-till", "1996-04-07 12:00:00"},
       "--history-from: no line of "},
      {"trade window inside the weekend gap",
       {"--history-till", "1996-04-05 23:30:00", "--trade-till", "1996-04-07 00:00:00"},
       "--trade-till: no line of " + kSmall +
           " after the history part up to --trade-till '1996-04-07 00:00:00'"},
      {"trade window shorter than the step to the next line",
       {"--history-till", "1996-04-03 01:30:00", "--trade-till", "1996-04-03 01:30:01"},
       "--trade-till: no line of "},
      {"history runs to the end of the file",
       {"--history-till", "1996-04-10 00:00:00", "--trade-till", "1996-04-11 00:00:00"},
       "--trade-till: no line of "},
      {"history-from equal to history-till",
       {"--history-from", "1996-04-03 01:30:00", "--history-till", "1996-04-03 01:30:00"},
       "--history-from: '1996-04-03 01:30:00' is not before --history-till '1996-04-03 01:30:00'"},
      {"history-from after history-till",
       {"--history-from", "1996-04-04 00:00:00", "--history-till", "1996-04-03 01:30:00"},
       "--history-from: '1996-04-04 00:00:00' is not before --history-till"},
      {"trade-till equal to history-till",
       {"--history-till", "1996-04-03 01:30:00", "--trade-till", "1996-04-03 01:30:00"},
       "--trade-till: '1996-04-03 01:30:00' is not after --history-till '1996-04-03 01:30:00'"},
      {"trade-till before history-till",
       {"--history-till", "1996-04-03 01:30:00", "--trade-till", "1996-04-02 00:00:00"},
       "--trade-till: '1996-04-02 00:00:00' is not after --history-till"},
      {"history-from without a time", {"--history-from", "1996-04-02"}, "--history-from: expected"},
      {"trade-till out of range",
       {"--history-till", "1996-04-03 01:30:00", "--trade-till", "1996-13-01 00:00:00"},
       "--trade-till: the date or time is out of range"},
      {"history-from before 1970",
       {"--history-from", "1969-12-31 00:00:00", "--history-till", "1996-04-03 01:30:00"},
       "--history-from: the date or time is out of range"},
      {"trade-till without a value",
       {"--history-till", "1996-04-03 01:30:00", "--trade-till"},
       "--trade-till needs a value"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> args = With({"--defaults"}, c.window);
    if (args.back() != "--trade-till") args.push_back(kSmall);
    const Outcome run = Replay(args);
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(Has(run.err, c.err)) << run.err;
    // One line, besides the engine's own notes and the pointer to --help.
    long lines = 0;
    for (std::size_t at = 0; at < run.err.size();) {
      const std::size_t end = run.err.find('\n', at);
      const std::string line = run.err.substr(at, end - at);
      lines += line.rfind("KMR: ", 0) != 0 && line != "Try 'kmr-replay --help'.";
      at = end == std::string::npos ? run.err.size() : end + 1;
    }
    EXPECT_EQ(lines, 1) << run.err;
    EXPECT_TRUE(run.out.empty()) << run.out;
  }
}

// The report keeps the window: in its settings, and in the command that reproduces the run.
TEST_F(ReplayWindowTest, TheReportCarriesTheWindow) {
  const std::vector<std::string> window = {"--history-from", "1996-04-02 00:00:00",
                                           "--history-till", "1996-04-03 01:30:00",
                                           "--trade-till",   "1996-04-08 12:00:00"};
  const Outcome first =
      Replay(With(With(kTrading, window), {"--report", dir_ + "/report", kSmall}));
  ASSERT_EQ(first.status, 0) << first.err;
  const std::string json = Slurp(dir_ + "/report/report.json");
  EXPECT_TRUE(Has(json, "\"HistoryFrom\": " + std::to_string(LocalTime(1996, 4, 2, 0, 0, 0)) + ","))
      << json;
  EXPECT_TRUE(Has(json, "\"TradeTill\": " + std::to_string(LocalTime(1996, 4, 8, 12, 0, 0))))
      << json;
  EXPECT_TRUE(Has(json, "\"tradeTo\": \"1996-04-08T12:00:00+02:00\"")) << json;
  EXPECT_TRUE(Has(json,
                  "--history-from '1996-04-02 00:00:00' --history-till '1996-04-03 "
                  "01:30:00' --trade-till '1996-04-08 12:00:00'"))
      << json;
  const std::string html = Slurp(dir_ + "/report/report.html");
  EXPECT_TRUE(Has(html, "Trade till")) << html.substr(0, 200);

  // Without a window the report says nothing of one.
  const Outcome plain = Replay(With(
      kTrading, {"--history-till", "1996-04-03 01:30:00", "--report", dir_ + "/plain", kSmall}));
  ASSERT_EQ(plain.status, 0) << plain.err;
  const std::string plainJson = Slurp(dir_ + "/plain/report.json");
  EXPECT_FALSE(Has(plainJson, "HistoryFrom"));
  EXPECT_FALSE(Has(plainJson, "TradeTill"));
  EXPECT_FALSE(Has(plainJson, "--history-from"));
  EXPECT_FALSE(Has(plainJson, "--trade-till"));
}

}  // namespace
}  // namespace kmr::test
