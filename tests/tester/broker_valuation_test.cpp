// The broker's fast path (floating profit remembered by price, deal profits computed when read,
// stop and limit scans only when a price reaches the nearest level) against its plain path over
// random books, prices and money settings, compared bit for bit after every step.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tester/broker/broker.h"

namespace kmr::test {
namespace {

std::uint64_t Bits(double x) {
  std::uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  return bits;
}

// Every deal the broker opened and closed, with the figures it told.
class EventLog : public BrokerObserver {
 public:
  void DealOpened(const BrokerDeal& deal) override { Add(0, deal, 0); }
  void DealClosed(const BrokerDeal& deal, double closePrice, BrokerClose why) override {
    Add(1 + static_cast<int>(why), deal, closePrice);
  }
  std::vector<std::uint64_t> events;

 private:
  void Add(int what, const BrokerDeal& deal, double price) {
    events.insert(events.end(), {static_cast<std::uint64_t>(what),
                                 static_cast<std::uint64_t>(deal.ticket), Bits(deal.openPrice),
                                 Bits(deal.stopPrice), Bits(deal.limitPrice), Bits(deal.profit),
                                 Bits(price)});
  }
};

void ExpectSameBroker(const CKMRBroker& fast, const CKMRBroker& plain, const std::string& where) {
  ASSERT_EQ(fast.OpenDeals(), plain.OpenDeals()) << where;
  for (std::int32_t i = 0; i < plain.OpenDeals(); ++i) {
    const BrokerDeal a = fast.Deal(i), b = plain.Deal(i);
    ASSERT_TRUE(a.orderId == b.orderId && a.ticket == b.ticket && a.isLong == b.isLong &&
                Bits(a.openPrice) == Bits(b.openPrice) && Bits(a.stopPrice) == Bits(b.stopPrice) &&
                Bits(a.limitPrice) == Bits(b.limitPrice))
        << where << ", deal " << i;
    ASSERT_EQ(Bits(a.profit), Bits(b.profit))
        << where << ", deal " << i << ": " << a.profit << " against " << b.profit;
  }
  const double figures[][2] = {{fast.FloatingProfit(), plain.FloatingProfit()},
                               {fast.ClosedProfit(), plain.ClosedProfit()},
                               {fast.NetPosition(), plain.NetPosition()},
                               {fast.MaxPosition(), plain.MaxPosition()},
                               {fast.MaxDrawdown(), plain.MaxDrawdown()},
                               {fast.PeakEquity(), plain.PeakEquity()},
                               {fast.Equity(), plain.Equity()}};
  for (const auto& f : figures)
    ASSERT_EQ(Bits(f[0]), Bits(f[1])) << where << ": " << f[0] << " against " << f[1];
  ASSERT_EQ(fast.LongDeals(), plain.LongDeals()) << where;
  ASSERT_EQ(fast.ShortDeals(), plain.ShortDeals()) << where;
}

TesterSettings Money(int pick) {
  static const double kDistances[] = {0, 0, 1.0, 0.5, 2.0, 0.25, -1.0,
                                      std::numeric_limits<double>::quiet_NaN()};
  TesterSettings s;
  s.DealSize = pick % 3 ? 1 : 0.2;
  s.TickSize = pick % 5 ? 0.25 : 0.0001;
  s.TickValue = pick % 2 ? 12.5 : 1;
  s.DealComm = pick % 7 ? 1.5 : 0;
  s.StopDistance = kDistances[pick % 8];
  s.LimitDistance = kDistances[(pick / 8) % 8];
  return s;
}

TEST(BrokerValuation, FastPathMatchesThePlainPathBitForBit) {
  constexpr int kCases = 1500;
  constexpr int kSteps = 600;
  for (int c = 0; c < kCases; ++c) {
    std::mt19937 random(static_cast<std::uint32_t>(c) + 11);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<std::uint32_t>(n)); };
    const TesterSettings first = Money(pick(64));
    CKMRBroker fast(nullptr, first), plain(nullptr, first);
    plain.SetPlainValuation(true);
    EventLog fastLog, plainLog;
    fast.SetObserver(&fastLog);
    plain.SetObserver(&plainLog);
    double walk = 100;
    std::int32_t nextId = 1;
    for (int i = 0; i < kSteps; ++i) {
      const int op = pick(20);
      if (op < 12) {
        // Mostly a walk on a coarse grid, so that prices come back; now and then an odd one.
        static const double kOdd[] = {std::numeric_limits<double>::quiet_NaN(), -0.0, 0.0,
                                      std::numeric_limits<double>::infinity(), 1e300};
        walk += 0.25 * (pick(5) - 2);
        if (walk < 90 || walk > 110) walk = 100;
        const double bid = pick(60) == 0 ? kOdd[pick(5)] : walk;
        const double ask = pick(4) ? bid + 0.25 : bid;
        fast.OnPrice(bid, ask);
        plain.OnPrice(bid, ask);
      } else if (op < 16) {
        const bool isLong = pick(2) != 0;
        EXPECT_EQ(Bits(fast.OpenDeal(isLong, nextId)), Bits(plain.OpenDeal(isLong, nextId)));
        ++nextId;
      } else if (op < 18) {
        const std::int32_t ticket =
            plain.OpenDeals() > 0 && pick(8) ? plain.Deal(pick(plain.OpenDeals())).ticket
                                             : pick(nextId + 2);
        EXPECT_EQ(Bits(fast.CloseDeal(ticket)), Bits(plain.CloseDeal(ticket)));
      } else if (op == 18) {
        const TesterSettings money = Money(pick(64));
        fast.SetMoneySettings(money);
        plain.SetMoneySettings(money);
      } else if (pick(10) == 0) {
        fast.ResetStatistics();
        plain.ResetStatistics();
      }
      ExpectSameBroker(fast, plain,
                       "case " + std::to_string(c) + " step " + std::to_string(i) + " op " +
                           std::to_string(op));
      if (HasFatalFailure()) return;
    }
    ASSERT_EQ(fastLog.events, plainLog.events) << "case " << c;
  }
}

}  // namespace
}  // namespace kmr::test
