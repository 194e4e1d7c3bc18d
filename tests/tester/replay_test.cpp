// kmr-replay end to end: the real program, the real engine library, a private settings folder.
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tester/settings/settings_store.h"
#include "tests/tester/replay_program.h"

namespace kmr::test {
namespace {

const std::string kSmall = std::string(KMR_TEST_DATA) + "/replay_small.txt";

class ReplayTest : public ReplayProgramTest {};

TEST_F(ReplayTest, JsonRunOnTheSmallFile) {
  // Line 100 is 1996-04-03 01:30:00: the history part is lines 1 to 100.
  const Outcome run =
      Replay({"--defaults", "--json", "--history-till", "1996-04-03 01:30:00", "--tick-size",
              "0.0001", "--tick-value", "10", "--deal-size", "1", "--spread", "0.0002", kSmall});
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* field : {"\"file\": ", "\"floatingProfit\": ", "\"closedProfit\": ",
                            "\"maxDrawdown\": ", "\"maxPosition\": ", "\"longDeals\": ",
                            "\"shortDeals\": ", "\"openDeals\": ", "\"log\": ["})
    EXPECT_TRUE(Has(run.out, field)) << field;
  EXPECT_TRUE(Has(run.out, "\"lines\": 300,"));
  EXPECT_TRUE(Has(run.out, "\"historyLines\": 100,"));
  EXPECT_TRUE(Has(run.out, "\"tradeLines\": 200,"));
  EXPECT_TRUE(Has(run.out, "Processing ALL Data...\",\n"));
  // Oldest first: the run's first line comes before the end of history.
  EXPECT_LT(run.out.find("Processing ALL Data..."),
            run.out.find("Processing HISTORY Data finished"));
  // Every deal opened has its log line.
  auto number = [&](const std::string& key) {
    const std::size_t at = run.out.find("\"" + key + "\": ");
    return std::stol(run.out.substr(at + key.size() + 4));
  };
  std::size_t opens = 0;
  for (std::size_t at = run.out.find("Open new "); at != std::string::npos;
       at = run.out.find("Open new ", at + 1))
    ++opens;
  EXPECT_EQ(static_cast<long>(opens), number("longDeals") + number("shortDeals"));
  EXPECT_FALSE(std::filesystem::exists(SettingsFile(6)));  // no --save, nothing stored
}

TEST_F(ReplayTest, HumanSummary) {
  const Outcome run = Replay({"--defaults", "--history-till", "1996-04-03 01:30:00", kSmall});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Has(run.out, "Lines:              300 (history 100, trade 200)"));
  EXPECT_TRUE(Has(run.out, "Profit/Loss[$]:     "));
  EXPECT_TRUE(Has(run.out, "Deals Long/Short:   "));
  EXPECT_TRUE(Has(run.out, "Last TICK time:     19960409 05:30:00   1.1960"));
  EXPECT_TRUE(Has(run.out, " lines/s"));
}

TEST_F(ReplayTest, BadInputExitsWith2) {
  const std::string header = WriteFile("header.txt", "Date;Price\n19960401 000000;1.1930\n");
  const std::string month13 = WriteFile("m13.txt", "19960401 000000;1.1930\n19961301 000000;1\n");
  const std::string empty = WriteFile("empty.txt", "");
  const std::string till = "1996-04-03 01:30:00";
  struct Case {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"--defaults", "--history-till", till, dir_ + "/missing.txt"},
       dir_ + "/missing.txt: cannot open"},
      {{"--defaults", "--history-till", till, header}, header + ":1: "},
      {{"--defaults", "--history-till", till, month13}, month13 + ":2: "},
      {{"--defaults", "--history-till", till, empty}, "no price lines"},
      {{"--defaults", kSmall}, "no history-till time"},
      {{"--defaults", "--history-till", "1996-13-03 01:30:00", kSmall}, "--history-till"},
      {{"--defaults", "--history-till", "yesterday", kSmall}, "--history-till"},
      {{"--defaults", "--history-till", till, "--spread", "wide", kSmall}, "--spread"},
      {{"--defaults", "--history-till", till, "--trend", "1,2,3,4,5,6,7,8,9", kSmall}, "--trend"},
      {{"--defaults", "--history-till", till, "--bogus", kSmall}, "--bogus"},
      {{"--defaults", "--history-till", till, "--account", "0", kSmall}, "--account"},
      {{"--defaults", "--history-till", till, "--account", "lots", kSmall}, "--account"},
      {{"--defaults", "--history-till", till, "--account", "inf", kSmall}, "--account"},
      {{"--defaults", "--history-till", till, "--report", "", kSmall}, "--report"},
      {{"--defaults", "--history-till", till}, "no price file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.err);
    const Outcome run = Replay(c.args);
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(Has(run.err, c.err)) << run.err;
    EXPECT_TRUE(run.out.empty()) << run.out;
  }
}

TEST_F(ReplayTest, MissingOrIncompleteLibraryExitsWith3) {
  for (const std::string& library : {std::string(KMR_INCOMPLETE_LIBRARY), dir_ + "/none.so"}) {
    const Outcome run = Replay(
        {"--defaults", "--history-till", "1996-04-03 01:30:00", "--library", library, kSmall});
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_FALSE(run.err.empty());
  }
}

TEST_F(ReplayTest, ShowSettingsAndSave) {
  const Outcome shown = Replay({"--defaults", "--show-settings", "--trend", "h1600,800,xt400",
                                "--std-interval", "50/3", "--log-file", "/tmp/j.log \\2"});
  ASSERT_EQ(shown.status, 0) << shown.err;
  EXPECT_TRUE(Has(shown.out, "\"TrendCharts\": [1600, 16778016, 117440912, 0, 0, 0, 0, 0]"));
  EXPECT_TRUE(Has(shown.out, "\"StdInterval\": 50,\n  \"StdMinDeals\": 3,"));
  EXPECT_TRUE(Has(shown.out, "\"DealSize\": 0.20000000000000001,"));
  EXPECT_TRUE(Has(shown.out, "\"LogFilePath\": \"/tmp/j.log \\\\2\""));
  EXPECT_TRUE(Has(shown.out, "\"HistoryTill\": 0,"));
  EXPECT_TRUE(Has(shown.out, "\"Smoothing1\": 20,"));

  const Outcome saved =
      Replay({"--defaults", "--save", "--json", "--spread", "0.0003", "--smoothing1", "30",
              "--history-till", "1996-04-03 01:30:00", kSmall});
  ASSERT_EQ(saved.status, 0) << saved.err;
  SettingsRecord record;
  ASSERT_TRUE(LoadSettings(record).loaded);
  EXPECT_EQ(record.settings.Spread, 0.0003);
  EXPECT_EQ(record.HistoryTill, LocalTime(1996, 4, 3, 1, 30, 0));
  EXPECT_EQ(record.SourcePath, std::u16string(kSmall.begin(), kSmall.end()));
  EXPECT_EQ(ReadBytes(SettingsFile(6)).size(), 188 + 2 * kSmall.size());

  // The stored record is the start of the next run: the history-till time comes from it.
  const Outcome again = Replay({"--show-settings"});
  EXPECT_TRUE(Has(again.out, "\"Spread\": 0.00029999999999999997,"));
  EXPECT_TRUE(Has(again.out, "\"Smoothing1\": 20,"));  // never stored
  const Outcome rerun = Replay({"--json", kSmall});
  EXPECT_EQ(rerun.status, 0) << rerun.err;
  EXPECT_TRUE(Has(rerun.out, "\"historyLines\": 100,"));
}

TEST_F(ReplayTest, UnsavableSettingsAreReported) {
  setenv("XDG_CONFIG_HOME", WriteFile("blocker", "x").c_str(), 1);
  const Outcome run =
      Replay({"--defaults", "--save", "--history-till", "1996-04-03 01:30:00", kSmall});
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(Has(run.err, "settings not saved"));
}

TEST_F(ReplayTest, HelpNamesTheWindowSetting) {
  const Outcome run = Replay({"--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(Has(run.out, "KMR_NO_WINDOW=1"));
}

}  // namespace
}  // namespace kmr::test
