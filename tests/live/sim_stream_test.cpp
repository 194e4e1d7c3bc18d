// kmr-broker-sim's quotes: the price file's lines as the tester reads them, times included;
// --from, the end of the file, and what it refuses before it listens.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "live/fix/fix_number.h"
#include "live/fix/fix_time.h"
#include "sim_peer.h"
#include "tester/replay/replay_options.h"
#include "tester/source/source_reader.h"

namespace kmr::test {
namespace {

// Local Zurich times across the change to summer time (2024-03-31 02:00 -> 03:00).
const char* const kPrices =
    "20240331 013000;1.08100\n"
    "20240331 015959;1.08105\n"
    "20240331 030000;1.08110\n"
    "20240331 030001;1.08095\n"
    "20240331 120000;1.08090\n"
    "20240401 000000;1.08120\n";

struct Expected {
  std::int32_t time;
  double bid, ask;
};

std::vector<Expected> TesterLines(const std::string& path, double spread) {
  SourceReader reader;
  EXPECT_TRUE(reader.Open(path));
  std::vector<Expected> lines;
  SourceLine line;
  while (reader.ReadLine(line)) lines.push_back({line.time, line.price, LineAsk(line, false, spread)});
  return lines;
}

void ExpectQuotes(const std::vector<Quote>& got, const std::vector<Expected>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    SCOPED_TRACE("quote " + std::to_string(i + 1));
    EXPECT_EQ(got[i].type, i == 0 ? 'W' : 'X');
    EXPECT_EQ(got[i].bid, want[i].bid);
    EXPECT_EQ(got[i].ask, want[i].ask);
    EXPECT_EQ(ParseFixUtcDateTime(got[i].date, got[i].time), want[i].time);
    EXPECT_EQ(got[i].offerDate, got[i].date);
    EXPECT_EQ(got[i].offerTime, got[i].time);
  }
}

TEST(SimStream, QuotesEveryLineAtItsTesterTimeThenExits) {
  TempFolder folder;
  const std::string prices = folder.Write("prices.txt", kPrices);
  const int port = FreePort();
  SimProcess sim(folder, {"--price-file", prices, "--port", std::to_string(port), "--spread",
                          "0.00015", "--rate", "0", "--exit-at-end", "--linger", "300"});
  ASSERT_TRUE(sim.WaitForStatus("listening", std::chrono::seconds(5))) << sim.Status();
  Peer peer(folder, port);
  ASSERT_TRUE(peer.WaitLoggedOn()) << sim.Status();
  peer.Subscribe("md-1");
  EXPECT_EQ(sim.WaitForExit(std::chrono::seconds(5)), 0) << sim.Status();
  ExpectQuotes(peer.Quotes(), TesterLines(prices, 0.00015));
  EXPECT_NE(sim.Status().find("6 quotes to stream"), std::string::npos) << sim.Status();
}

TEST(SimStream, FromStreamsTheTradePartOfThatHistoryTill) {
  TempFolder folder;
  const std::string prices = folder.Write("prices.txt", kPrices);
  const std::vector<Expected> all = TesterLines(prices, 0);
  struct Case {
    const char* from;
    std::size_t firstStreamed;  // 0-based line index; 0: as the tester's local time gives it
  } cases[] = {
      {"2024-03-31 03:00:00", 3},  // the line at it closes the history
      {"2000-01-01 00:00:00", 1},  // the first line is always history
      {"2024-03-31 02:30:00", 0},  // a local time that does not exist
  };
  for (Case c : cases) {
    SCOPED_TRACE(c.from);
    if (c.firstStreamed == 0) {
      const std::int32_t till = HistoryTillFromFields(ParseHistoryTillText(c.from));
      while (all[c.firstStreamed].time < till) ++c.firstStreamed;
      ++c.firstStreamed;
    }
    const int port = FreePort();
    SimProcess sim(folder, {"--price-file", prices, "--port", std::to_string(port), "--from",
                            c.from, "--lockstep", "--store", "store-" + std::to_string(port)});
    ASSERT_TRUE(sim.WaitForStatus("listening", std::chrono::seconds(5))) << sim.Status();
    TempFolder peerFolder;  // sequence numbers of its own
    Peer peer(peerFolder, port);
    ASSERT_TRUE(peer.WaitLoggedOn()) << sim.Status();
    peer.Subscribe("md-1");
    for (std::size_t n = 1; n <= all.size() - c.firstStreamed; ++n) {
      ASSERT_TRUE(peer.WaitUntil([&] { return peer.Quotes().size() >= n; })) << n;
      peer.Step(static_cast<long long>(n));
    }
    ExpectQuotes(peer.Quotes(), {all.begin() + static_cast<long>(c.firstStreamed), all.end()});
  }
}

TEST(SimStream, RefusesBadOptionsAndBadFilesBeforeListening) {
  TempFolder folder;
  const std::string prices = folder.Write("prices.txt", kPrices);
  const std::string bad = folder.Write("bad.txt", "20240102 100000;1.1\n20240102 1000;1.2\n");
  struct Case {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"--port", "5000"}, "--price-file is required"},
      {{"--price-file", prices}, "--port is required"},
      {{"--price-file", prices, "--port", "70000"}, "--port: expected a whole number"},
      {{"--price-file", prices, "--port", "5000", "--rate", "-1"}, "--rate: expected"},
      {{"--price-file", prices, "--port", "5000", "--partial-fills", "0"}, "--partial-fills"},
      {{"--price-file", prices, "--port", "5000", "--reject-opens", "2,x"}, "--reject-opens"},
      {{"--price-file", prices, "--port", "5000", "--reject-closes", ","}, "--reject-closes"},
      {{"--price-file", prices, "--port", "5000", "--fill-delay", "1.5"}, "--fill-delay"},
      {{"--price-file", prices, "--port", "5000", "--from", "2024-13-01 00:00:00"}, "--from"},
      {{"--price-file", prices, "--port", "5000", "--spread", "abc"}, "--spread: not a number"},
      {{"--price-file", prices, "--port", "5000", "--quotes", "mid"}, "--quotes"},
      {{"--price-file", prices, "--port", "5000", "--lockstep=1"}, "--lockstep takes no value"},
      {{"--price-file", prices, "--port", "5000", "--symbol", "EUR USD"}, "no spaces"},
      {{"--price-file", prices, "--port", "5000", "--tls-key", "k.pem"}, "go together"},
      {{"--price-file", prices, "--port", "5000", "--drop-after"}, "--drop-after needs a value"},
      {{"--price-file", prices, "--port", "5000", "--bogus"}, "unknown option --bogus"},
      {{"--price-file", prices, "--port", "5000", "extra"}, "unexpected argument 'extra'"},
      {{"--price-file", bad, "--port", "5000"}, "bad.txt:2:"},
      {{"--price-file", folder.path.string() + "/none.txt", "--port", "5000"},
       "none.txt: cannot be opened"},
  };
  for (const Case& c : cases) {
    std::string err;
    EXPECT_EQ(RunSim(folder, c.args, err), 2) << c.message;
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    EXPECT_EQ(err.find("listening"), std::string::npos) << err;
  }
  std::string help;
  EXPECT_EQ(RunSim(folder, {"--help"}, help), 0);
}

}  // namespace
}  // namespace kmr::test
