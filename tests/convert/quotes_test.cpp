// kmr-replay --quotes bid-ask: the simulated broker and the engine take the ask of the file.
#include <ctime>
#include <map>

#include "tests/convert/programs.h"

namespace kmr::test {
namespace {

const std::string kSmall = std::string(KMR_TEST_DATA) + "/replay_small.txt";
const std::string kSample =
    std::string(KMR_TEST_DATA) + "/../../data/USDCHF_30min_19960401-20010330.txt";
// Settings that trade on the sample.
const std::vector<std::string> kSettings = {"--json",
                                            "--history-till",
                                            "1998-01-01 00:00:00",
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
                                            "--cad-profit",
                                            "100",
                                            "--max-net-pos",
                                            "5",
                                            "--spread",
                                            "0.0002"};

class QuotesTest : public FolderTest {
 protected:
  // A price file with an ask 7 points above each price (not the Spread of 2), and the quotes
  // by log time stamp ("YYYYMMDD HH:MM:SS").
  std::string WithAsks(const std::string& source,
                       std::map<std::string, std::pair<std::string, std::string>>& quotes) {
    std::string text;
    for (const std::string& line : Lines(Slurp(source))) {
      const std::string bid = line.substr(16);
      const int points = std::stoi(bid.substr(0, 1)) * 10000 + std::stoi(bid.substr(2, 4));
      char ask[16];
      std::snprintf(ask, sizeof ask, "%d.%04d", (points + 7) / 10000, (points + 7) % 10000);
      text += line + ";" + ask + "\n";
      const std::string stamp = line.substr(0, 8) + " " + line.substr(9, 2) + ":" +
                                line.substr(11, 2) + ":" + line.substr(13, 2);
      quotes[stamp] = {bid, ask};
      // The journal stamps its lines in UTC.
      std::tm tm{};
      strptime(line.substr(0, 15).c_str(), "%Y%m%d %H%M%S", &tm);
      tm.tm_isdst = -1;
      const std::time_t t = std::mktime(&tm);
      std::tm utc{};
      gmtime_r(&t, &utc);
      char utcStamp[32];
      std::strftime(utcStamp, sizeof utcStamp, "%Y%m%d %H:%M:%S", &utc);
      utcQuotes[utcStamp] = {bid, ask};
    }
    return WriteFile("quotes.txt", text);
  }
  std::map<std::string, std::pair<std::string, std::string>> utcQuotes;
  static std::vector<std::string> Args(std::vector<std::string> more) {
    std::vector<std::string> args = kSettings;
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }
};

TEST_F(QuotesTest, DealsFillAtTheFilesAskAndTheEngineSeesIt) {
  std::map<std::string, std::pair<std::string, std::string>> quotes;
  const std::string file = WithAsks(kSample, quotes);
  const Outcome run =
      Replay(Args({"--quotes", "bid-ask", "--log-file", Path("journal.log") + " \\3", file}));
  ASSERT_EQ(run.status, 0) << run.err;
  // "19960403 02:00:00 Open new LONG deal ID=1 Price=1.1967": longs open at the ask and close
  // at the bid, shorts the other way round.
  std::map<int, bool> isLong;
  int opens = 0, closes = 0;
  for (const std::string& line : Lines(run.out)) {
    const std::size_t quote = line.find('"');
    if (quote == std::string::npos || !Has(line, " deal ID=")) continue;
    const std::string entry = line.substr(quote + 1, line.rfind('"') - quote - 1);
    const auto& [bid, ask] = quotes.at(entry.substr(0, 17));
    const int id = std::stoi(entry.substr(entry.find("ID=") + 3));
    const std::string price = entry.substr(entry.find("Price=") + 6);
    if (Has(entry, "Open new ")) {
      isLong[id] = Has(entry, "LONG");
      EXPECT_EQ(price, isLong[id] ? ask : bid) << entry;
      ++opens;
    } else {
      ASSERT_TRUE(isLong.count(id)) << entry;
      EXPECT_EQ(price, isLong[id] ? bid : ask) << entry;
      ++closes;
    }
  }
  EXPECT_GT(opens, 0);
  EXPECT_GT(closes, 0);
  // The journal's "bid/ask" of every line is the file's.
  int journalLines = 0;
  for (const std::string& line : Lines(Slurp(Path("journal.log")))) {
    const std::string stamp = line.substr(0, 17);
    ASSERT_TRUE(utcQuotes.count(stamp)) << line;
    const auto& [bid, ask] = utcQuotes.at(stamp);
    EXPECT_EQ(line.substr(18, bid.size() + 1 + ask.size()), bid + "/" + ask) << line;
    ++journalLines;
  }
  EXPECT_GT(journalLines, 0);
}

TEST_F(QuotesTest, ALineWithoutAValidAskIsAnErrorNamingFileAndLine) {
  const std::string good = "19960401 000000;1.1930;1.1932\n19960401 003000;1.1932;1.1934\n";
  for (const char* third : {"", ";", ";abc", ";1.2x", ";nan", ";inf", ";0x1p1", "; 1.2", ";-"}) {
    SCOPED_TRACE(third);
    const std::string file =
        WriteFile("quotes.txt", good + "19960401 010000;1.1933" + third + "\n");
    const Outcome run =
        Replay({"--quotes", "bid-ask", "--history-till", "1996-04-01 00:30:00", file});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(Has(run.err, file + ":3: no valid ask in \"19960401 010000;1.1933")) << run.err;
  }
  const Outcome option = Replay({"--quotes", "mid", kSmall});
  EXPECT_EQ(option.status, 2);
  EXPECT_TRUE(Has(option.err, "--quotes: spread or bid-ask")) << option.err;
}

TEST_F(QuotesTest, WithoutTheOptionAThirdFieldIsIgnored) {
  std::map<std::string, std::pair<std::string, std::string>> quotes;
  std::string text;
  int i = 0;
  for (const std::string& line : Lines(Slurp(WithAsks(kSmall, quotes))))
    text += (++i % 3 == 0 ? line.substr(0, line.rfind(';')) + ";junk" : line) + "\n";
  const Outcome plain = Replay(Args({kSmall}));
  const Outcome third = Replay(Args({WriteFile("third.txt", text)}));
  ASSERT_EQ(plain.status, 0) << plain.err;
  ASSERT_EQ(third.status, 0) << third.err;
  auto results = [](const std::string& json) {
    std::string kept;
    for (const std::string& line : Lines(json))
      if (!Has(line, "\"file\"") && !Has(line, "] Processing")) kept += line + "\n";
    return kept;
  };
  EXPECT_EQ(results(third.out), results(plain.out));
}

// The report's command reproduces a run that took its ask from the file and history bars.
TEST_F(QuotesTest, TheReportsCommandCarriesTheQuotesAndTheHistoryBars) {
  std::map<std::string, std::pair<std::string, std::string>> quotes;
  const std::string file = WithAsks(kSample, quotes);
  const std::string bars = WriteFile("bars.txt",
                                     "19960329 100000;1.19;1.2;1.18;1.195\n"
                                     "19960329 100100;1.195;1.199;1.19;1.191\n");
  const Outcome run = Replay(
      Args({"--quotes", "bid-ask", "--history-bars", bars, "--report", Path("report"), file}));
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string json = Slurp(Path("report/report.json"));
  const std::size_t at = json.find("\"command\": \"");
  ASSERT_NE(at, std::string::npos);
  std::string command = json.substr(at + 12, json.find('"', at + 12) - at - 12);
  EXPECT_TRUE(Has(command, " --quotes bid-ask ")) << command;
  EXPECT_TRUE(Has(command, " --history-bars " + bars + " ")) << command;
  command.replace(command.find("kmr-replay "), 10, KMR_REPLAY_PROGRAM);
  const Outcome again = RunProgram("/bin/sh", {{"-c", command + " --json"}, {}, {}});
  ASSERT_EQ(again.status, 0) << again.err << "\n" << command;
  for (const char* key : {"\"closedProfit\": ", "\"longDeals\": ", "\"historyBars\": 2,"}) {
    const std::size_t first = run.out.find(key), second = again.out.find(key);
    ASSERT_NE(first, std::string::npos) << key;
    ASSERT_NE(second, std::string::npos) << key;
    EXPECT_EQ(run.out.substr(first, run.out.find('\n', first) - first),
              again.out.substr(second, again.out.find('\n', second) - second));
  }
}

}  // namespace
}  // namespace kmr::test
