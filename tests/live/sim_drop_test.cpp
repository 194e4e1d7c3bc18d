// kmr-broker-sim drops the connection after N quotes; the peer logs on again, the sequence
// numbers go on, and every quote arrives once.
#include <gtest/gtest.h>

#include <string>

#include "sim_peer.h"

namespace kmr::test {
namespace {

std::string Prices(int lines) {
  std::string text;
  for (int i = 0; i < lines; ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "20240102 1000%02d;1.%05d\n", i, 10000 + i);
    text += line;
  }
  return text;
}

// Quotes counted once each (a resent one, PossDup, replaces nothing), by price.
std::vector<double> Bids(const std::vector<Quote>& quotes) {
  std::vector<double> bids;
  for (const Quote& q : quotes)
    if (bids.empty() || q.bid > bids.back()) bids.push_back(q.bid);
  return bids;
}

class SimDrop : public ::testing::TestWithParam<bool> {};

TEST_P(SimDrop, ResumesAfterTheReconnectWithItsSequenceNumbers) {
  const bool lockstep = GetParam();
  TempFolder folder;
  const std::string prices = folder.Write("prices.txt", Prices(8));
  const int port = FreePort();
  std::vector<std::string> args{"--price-file", prices, "--port", std::to_string(port),
                                "--drop-after", "3", "--rate", "50", "--exit-at-end",
                                "--linger", "300"};
  if (lockstep) args.push_back("--lockstep");
  SimProcess sim(folder, args);
  ASSERT_TRUE(sim.WaitForStatus("listening", std::chrono::seconds(5))) << sim.Status();
  Peer peer(folder, port);
  ASSERT_TRUE(peer.WaitLoggedOn()) << sim.Status();
  peer.Subscribe("md-1");
  for (std::size_t n = 1; n <= 8; ++n) {
    ASSERT_TRUE(peer.WaitUntil([&] { return Bids(peer.Quotes()).size() >= n; },
                               std::chrono::seconds(8)))
        << n << "\n" << sim.Status();
    if (lockstep) {
      if (n == 3) {
        ASSERT_TRUE(peer.WaitUntil([&] { return peer.Logons() == 2; }, std::chrono::seconds(8)));
      }
      peer.WaitLoggedOn();
      peer.Step(static_cast<long long>(n));
    }
  }
  EXPECT_EQ(sim.WaitForExit(std::chrono::seconds(5)), 0) << sim.Status();
  const std::vector<double> bids = Bids(peer.Quotes());
  ASSERT_EQ(bids.size(), 8u);
  for (int i = 0; i < 8; ++i) EXPECT_DOUBLE_EQ(bids[static_cast<std::size_t>(i)], 1.1 + i * 1e-5);
  const std::vector<int> logons = peer.LogonSeqs();
  ASSERT_EQ(logons.size(), 2u) << sim.Status();
  EXPECT_EQ(logons[0], 1);
  EXPECT_GT(logons[1], 4);  // logon, three quotes, then the logon after the drop
  std::vector<Quote> quotes = peer.Quotes();
  for (std::size_t i = 1; i < quotes.size(); ++i)
    if (!quotes[i].possDup) {
      EXPECT_GT(quotes[i].seq, quotes[i - 1].seq);
    }
  EXPECT_NE(sim.Status().find("dropping the connection after quote 3"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Streaming, SimDrop, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Lockstep" : "AtRate"; });

}  // namespace
}  // namespace kmr::test
