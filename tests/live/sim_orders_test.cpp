// kmr-broker-sim's order desk over a real session: acknowledgement and fills at the tester's
// broker prices, lockstep, partial and delayed fills, rejects, cancels and expiries.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <quickfix/FieldNumbers.h>

#include "live/fix/fix_number.h"
#include "sim_peer.h"

namespace kmr::test {
namespace {

const char* const kPrices =
    "20240102 100000;1.10000\n"
    "20240102 100001;1.10020\n"
    "20240102 100002;1.09990\n"
    "20240102 100003;1.10010\n";
constexpr double kSpread = 0.0002;

std::string F(const FIX::Message& m, int tag) { return m.isSetField(tag) ? m.getField(tag) : ""; }
double Px(const FIX::Message& m, int tag) { return ParseFixNumber(F(m, tag)).value_or(-1); }

// A lockstep sim over kPrices and a peer subscribed to it, at quote 1.
class LockstepSim {
 public:
  explicit LockstepSim(std::vector<std::string> extra) {
    const std::string prices = folder_.Write("prices.txt", kPrices);
    const int port = FreePort();
    std::vector<std::string> args{"--price-file", prices, "--port", std::to_string(port),
                                  "--spread", "0.0002", "--lockstep"};
    args.insert(args.end(), extra.begin(), extra.end());
    sim_ = std::make_unique<SimProcess>(folder_, args);
    EXPECT_TRUE(sim_->WaitForStatus("listening", std::chrono::seconds(5))) << sim_->Status();
    peer_ = std::make_unique<Peer>(folder_, port);
    EXPECT_TRUE(peer_->WaitLoggedOn()) << sim_->Status();
    peer_->Subscribe("md-1");
    EXPECT_TRUE(peer_->WaitUntil([&] { return peer_->Quotes().size() == 1; }));
  }
  ~LockstepSim() {
    peer_.reset();
    sim_.reset();
  }
  Peer& peer() { return *peer_; }
  SimProcess& sim() { return *sim_; }
  // Sends the order and waits for its next last report (filled, rejected, canceled, expired).
  std::vector<FIX::Message> Trade(const std::string& id, char side, const std::string& qty,
                                  const std::string& symbol = "EURUSD", char effect = 0) {
    auto ends = [&] {
      std::size_t count = 0;
      for (const FIX::Message& m : peer_->ReportsFor(id)) {
        const std::string status = F(m, FIX::FIELD::OrdStatus);
        count += status == "2" || status == "8" || status == "4" || status == "C";
      }
      return count;
    };
    const std::size_t before = ends();
    peer_->Order(id, side, qty, symbol, effect);
    EXPECT_TRUE(peer_->WaitUntil([&] { return ends() > before; })) << id << "\n" << sim_->Status();
    return peer_->ReportsFor(id);
  }

 private:
  TempFolder folder_;
  std::unique_ptr<SimProcess> sim_;
  std::unique_ptr<Peer> peer_;
};

TEST(SimOrders, FillsAtTheBrokerModelsSideOfTheQuoteAndWaitsForTheStep) {
  LockstepSim s({});
  const std::vector<FIX::Message> buy = s.Trade("b1", '1', "0.2");
  ASSERT_EQ(buy.size(), 2u);
  EXPECT_EQ(F(buy[0], FIX::FIELD::ExecType), "0");
  EXPECT_FALSE(F(buy[0], FIX::FIELD::OrderID).empty());
  EXPECT_EQ(F(buy[1], FIX::FIELD::ExecType), "F");
  EXPECT_EQ(F(buy[1], FIX::FIELD::OrdStatus), "2");
  EXPECT_EQ(F(buy[1], FIX::FIELD::OrderID), F(buy[0], FIX::FIELD::OrderID));
  EXPECT_EQ(Px(buy[1], FIX::FIELD::LastPx), 1.10000 + kSpread);  // a buy at the ask
  EXPECT_EQ(F(buy[1], FIX::FIELD::LastQty), "0.2");
  EXPECT_EQ(F(buy[1], FIX::FIELD::CumQty), "0.2");
  EXPECT_EQ(F(buy[1], FIX::FIELD::LeavesQty), "0");
  EXPECT_EQ(Px(buy[1], FIX::FIELD::AvgPx), 1.10000 + kSpread);

  // No second quote until the step for the first one.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(s.peer().Quotes().size(), 1u);
  s.peer().Step(2);  // a step for a quote not sent yet changes nothing
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(s.peer().Quotes().size(), 1u);
  s.peer().Step(1);
  ASSERT_TRUE(s.peer().WaitUntil([&] { return s.peer().Quotes().size() == 2; }));

  const std::vector<FIX::Message> sell = s.Trade("s1", '2', "0.2");
  ASSERT_EQ(sell.size(), 2u);
  EXPECT_EQ(Px(sell[1], FIX::FIELD::LastPx), 1.10020);  // a sell at the bid
  EXPECT_NE(F(sell[0], FIX::FIELD::OrderID), F(buy[0], FIX::FIELD::OrderID));
  EXPECT_NE(s.sim().Status().find("order s1 sell 0.2 (close)"), std::string::npos)
      << s.sim().Status();
}

TEST(SimOrders, PartialFillsAddUpAfterTheirDelays) {
  LockstepSim s({"--partial-fills", "3", "--fill-delay", "60"});
  const auto start = std::chrono::steady_clock::now();
  const std::vector<FIX::Message> r = s.Trade("p1", '1', "0.2");
  const auto took = std::chrono::steady_clock::now() - start;
  ASSERT_EQ(r.size(), 4u);
  EXPECT_GE(took, std::chrono::milliseconds(180));
  // Parts of whole hundredths (the quantity's last digit and one more, as needed), the first
  // ones taking the remainder.
  const char* lastQty[] = {"0.07", "0.07", "0.06"};
  const char* cumQty[] = {"0.07", "0.14", "0.2"};
  const char* status[] = {"1", "1", "2"};
  for (int i = 0; i < 3; ++i) {
    const FIX::Message& fill = r[static_cast<std::size_t>(i) + 1];
    EXPECT_EQ(F(fill, FIX::FIELD::ExecType), "F");
    EXPECT_EQ(F(fill, FIX::FIELD::LastQty), lastQty[i]);
    EXPECT_EQ(F(fill, FIX::FIELD::CumQty), cumQty[i]);
    EXPECT_EQ(F(fill, FIX::FIELD::OrdStatus), status[i]);
    EXPECT_EQ(Px(fill, FIX::FIELD::LastPx), 1.10000 + kSpread);
    EXPECT_EQ(Px(fill, FIX::FIELD::AvgPx), 1.10000 + kSpread);
  }
  // Lockstep: the step is answered only once every fill is out.
  s.peer().Order("p2", '2', "1");
  s.peer().Step(1);
  ASSERT_TRUE(s.peer().WaitUntil([&] { return s.peer().Quotes().size() == 2; }));
  EXPECT_EQ(F(s.peer().ReportsFor("p2").back(), FIX::FIELD::CumQty), "1");
  EXPECT_EQ(s.peer().ReportsFor("p2").size(), 4u);
}

TEST(SimOrders, RejectsCancelsAndExpiresWhatItIsToldOrWhatIsWrong) {
  LockstepSim s({"--reject-opens", "2,", "--reject-closes", "1,", "--cancel-orders", "6,",
                 "--expire-orders", "7,", "--partial-fills", "2"});
  struct Case {
    const char* id;
    char side;
    const char* qty;
    const char* symbol;
    char effect;
    const char* execTypes;  // of its reports, in order
    const char* rejReason;  // of the last report, "" for none
  } cases[] = {
      {"o1", '1', "0.2", "EURUSD", 0, "0FF", ""},     // open 1 (+0.2)
      {"o2", '1', "0.2", "EURUSD", 0, "8", "0"},      // open 2: --reject-opens 2,
      {"c1", '2', "0.2", "EURUSD", 0, "8", "0"},      // close 1: --reject-closes 1,
      {"c2", '2', "0.1", "EURUSD", 'C', "0FF", ""},   // close 2 (+0.1)
      {"x1", '1', "0.2", "GBPUSD", 0, "8", "1"},      // unknown symbol
      {"o1", '1', "0.2", "EURUSD", 0, "8", "6"},      // a ClOrdID again: not counted
      {"k1", '1', "0.4", "EURUSD", 0, "04", ""},      // order 6: canceled unfilled
      {"e1", '1', "0.4", "EURUSD", 0, "0FC", ""},     // order 7: half filled, then expired
      {"z1", '1', "0", "EURUSD", 0, "8", "13"},       // no quantity
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    const std::size_t before = s.peer().ReportsFor(c.id).size();
    std::vector<FIX::Message> r = s.Trade(c.id, c.side, c.qty, c.symbol, c.effect);
    r.erase(r.begin(), r.begin() + static_cast<long>(before));
    std::string types;
    for (const FIX::Message& m : r) types += F(m, FIX::FIELD::ExecType);
    EXPECT_EQ(types, c.execTypes);
    EXPECT_EQ(F(r.back(), FIX::FIELD::OrdRejReason), c.rejReason);
  }
  const std::vector<FIX::Message> expired = s.peer().ReportsFor("e1");
  EXPECT_EQ(F(expired.back(), FIX::FIELD::CumQty), "0.2");
  EXPECT_EQ(F(expired.back(), FIX::FIELD::LeavesQty), "0");
}

}  // namespace
}  // namespace kmr::test
