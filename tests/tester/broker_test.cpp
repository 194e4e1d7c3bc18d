#include "tester/broker/broker.h"

#include "tests/tester/fake_engine.h"
#include "tests/tester/test_support.h"

namespace kmr::test {
namespace {

TesterSettings Money(double size, double tickSize, double tickValue, double comm, double stop = 0,
                     double limit = 0) {
  TesterSettings s;
  s.DealSize = size;
  s.TickSize = tickSize;
  s.TickValue = tickValue;
  s.DealComm = comm;
  s.StopDistance = stop;
  s.LimitDistance = limit;
  return s;
}

TEST(BrokerTest, ProfitOfALongDeal) {
  const EngineApi api = FakeApi();
  CKMRBroker broker(&api, Money(1, 0.25, 12.5, 2));
  broker.OnPrice(100.0, 100.25);
  EXPECT_EQ(broker.OpenDeal(true, 1), 100.25);
  EXPECT_EQ(broker.Deal(0).profit, -14.5);  // starts at minus the spread and the commission
  broker.OnPrice(101.0, 101.25);
  EXPECT_EQ(broker.Deal(0).profit, 35.5);
  EXPECT_EQ(broker.FloatingProfit(), 35.5);
  EXPECT_EQ(Fake().Calls("Order"),
            (std::vector<std::string>{"OrderSetTicket(1,1)", "OrderFilled(1,1,100.25)"}));
}

TEST(BrokerTest, OperationsRunInTheirFixedOrder) {
  // (diff / tickSize) * tickValue * dealSize - commission, in exactly this order.
  const EngineApi api = FakeApi();
  CKMRBroker broker(&api, Money(0.3, 0.0001, 10, 1.5));
  broker.OnPrice(1.08543, 1.08553);
  broker.OpenDeal(false, 7);
  broker.OnPrice(1.08321, 1.08331);
  const double difference = 1.08543 - 1.08331;
  EXPECT_EQ(broker.Deal(0).profit, difference / 0.0001 * 10 * 0.3 - 1.5);
}

TEST(BrokerTest, MaximumPositionKeepsItsSignAndMagnitude) {
  const EngineApi api = FakeApi();
  CKMRBroker broker(&api, Money(0.2, 0.25, 1, 0));
  broker.OnPrice(10, 10);
  broker.OpenDeal(false, 1);
  broker.OpenDeal(false, 2);
  EXPECT_DOUBLE_EQ(broker.MaxPosition(), -0.4);
  broker.CloseDeal(1);
  broker.CloseDeal(2);
  broker.OpenDeal(true, 3);
  broker.OpenDeal(true, 4);
  broker.OpenDeal(false, 5);
  EXPECT_DOUBLE_EQ(broker.NetPosition(), 0.2);
  EXPECT_DOUBLE_EQ(broker.MaxPosition(), -0.4);
  EXPECT_EQ(broker.LongDeals(), 2);
  EXPECT_EQ(broker.ShortDeals(), 3);
}

TEST(BrokerTest, StopAndLimitTouchAtEquality) {
  struct Case {
    const char* what;
    bool isLong;
    double stop, limit;
    double safeSide;  // which way from the trigger the deal stays open
  } cases[] = {
      {"long stop at the bid", true, 0.5, 0, +1},
      {"long limit at the bid", true, 0, 0.5, -1},
      {"short stop at the ask", false, 0.5, 0, -1},
      {"short limit at the ask", false, 0, 0.5, +1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const EngineApi api = FakeApi();
    CKMRBroker broker(&api, Money(1, 0.1, 1, 0, c.stop, c.limit));
    broker.OnPrice(10.0, 10.1);
    const double open = broker.OpenDeal(c.isLong, 9);
    EXPECT_EQ(open, c.isLong ? 10.1 : 10.0);
    const BrokerDeal deal = broker.Deal(0);
    const double trigger = c.stop != 0 ? deal.stopPrice : deal.limitPrice;
    EXPECT_EQ(deal.stopPrice, c.stop == 0 ? 0 : c.isLong ? open - 0.5 : open + 0.5);
    EXPECT_EQ(deal.limitPrice, c.limit == 0 ? 0 : c.isLong ? open + 0.5 : open - 0.5);
    // Longs compare the bid, shorts the ask.
    auto priceAt = [&](double p) {
      if (c.isLong)
        broker.OnPrice(p, p + 0.1);
      else
        broker.OnPrice(p - 0.1, p);
    };
    priceAt(trigger + c.safeSide * 0.01);
    ASSERT_EQ(broker.OpenDeals(), 1);
    priceAt(trigger);
    EXPECT_EQ(broker.OpenDeals(), 0);
    ASSERT_EQ(Fake().Calls("OpenDealClosed").size(), 1u);
    // The closed deal's profit moved to closed profit; floating keeps it until the next price.
    EXPECT_EQ(broker.ClosedProfit(), broker.FloatingProfit());
    broker.OnPrice(10, 10);
    EXPECT_EQ(broker.FloatingProfit(), 0);
  }
}

TEST(BrokerTest, WithoutDistancesOnlyCommandsClose) {
  const EngineApi api = FakeApi();
  CKMRBroker broker(&api, Money(1, 0.1, 1, 0));
  broker.OnPrice(10, 10);
  broker.OpenDeal(true, 1);
  EXPECT_EQ(broker.Deal(0).stopPrice, 0);
  EXPECT_EQ(broker.Deal(0).limitPrice, 0);
  broker.OnPrice(0.001, 0.001);
  broker.OnPrice(1e6, 1e6);
  EXPECT_EQ(broker.OpenDeals(), 1);
}

TEST(BrokerTest, StopsAreCheckedFromTheLastDealToTheFirst) {
  const EngineApi api = FakeApi();
  CKMRBroker broker(&api, Money(1, 0.1, 1, 0, 0.5, 0));
  broker.OnPrice(10, 10);
  broker.OpenDeal(true, 1);
  broker.OpenDeal(true, 2);
  broker.OpenDeal(true, 3);
  broker.OnPrice(9, 9);
  EXPECT_EQ(Fake().Calls("OpenDealClosed"),
            (std::vector<std::string>{"OpenDealClosed(3,1,9)", "OpenDealClosed(2,1,9)",
                                      "OpenDealClosed(1,1,9)"}));
}

TEST(BrokerTest, UnknownTicketChangesNothing) {
  const EngineApi api = FakeApi();
  CKMRBroker broker(&api, Money(1, 0.1, 1, 0));
  broker.OnPrice(10, 10.1);
  broker.OpenDeal(true, 4);
  const std::size_t calls = Fake().calls.size();
  EXPECT_EQ(broker.CloseDeal(5), 0.0);
  EXPECT_EQ(Fake().calls.size(), calls);
  EXPECT_EQ(broker.OpenDeals(), 1);
  EXPECT_EQ(broker.ClosedProfit(), 0.0);
}

TEST(BrokerTest, GrowsBy20WithoutLosingOrReordering) {
  const EngineApi api = FakeApi();
  CKMRBroker broker(&api, Money(1, 0.1, 1, 0));
  broker.OnPrice(10, 10.1);
  for (int id = 1; id <= 45; ++id) broker.OpenDeal(id % 2 == 0, id);
  EXPECT_EQ(broker.Capacity(), 60);
  EXPECT_EQ(broker.CloseDeal(20), 10.0);  // a long deal closes at the bid
  EXPECT_EQ(broker.CloseDeal(21), 10.1);  // a short one at the ask
  ASSERT_EQ(broker.OpenDeals(), 43);
  for (int i = 0; i < 43; ++i) EXPECT_EQ(broker.Deal(i).ticket, i < 19 ? i + 1 : i + 3);
}

TEST(BrokerTest, PeakAndDrawdown) {
  const EngineApi api = FakeApi();
  CKMRBroker broker(&api, Money(1, 1, 1, 0));
  broker.OnPrice(10, 10);
  broker.OpenDeal(true, 1);
  broker.OnPrice(8, 8);  // a loss from the start counts as drawdown
  EXPECT_EQ(broker.MaxDrawdown(), 2);
  broker.OnPrice(15, 15);
  EXPECT_EQ(broker.PeakEquity(), 5);
  broker.OnPrice(11, 11);
  EXPECT_EQ(broker.MaxDrawdown(), 4);
  broker.OnPrice(13, 13);
  EXPECT_EQ(broker.MaxDrawdown(), 4);
}

TEST(BrokerTest, ResetDropsDealsWithoutTellingTheEngine) {
  const EngineApi api = FakeApi();
  CKMRBroker broker(&api, Money(1, 1, 1, 0));
  broker.OnPrice(10, 10);
  broker.OpenDeal(true, 1);
  broker.OnPrice(5, 5);
  const std::size_t calls = Fake().calls.size();
  broker.ResetStatistics();
  EXPECT_EQ(Fake().calls.size(), calls);
  EXPECT_EQ(broker.OpenDeals(), 0);
  EXPECT_EQ(broker.MaxDrawdown(), 0);
  EXPECT_EQ(broker.LongDeals(), 0);
  EXPECT_EQ(broker.Capacity(), 20);
  EXPECT_EQ(broker.CloseDeal(1), 0.0);
}

TEST(BrokerTest, WithoutConnectorNothingIsReported) {
  FakeApi();
  CKMRBroker broker(nullptr, Money(1, 1, 1, 0, 1, 0));
  broker.OnPrice(10, 10);
  broker.OpenDeal(true, 1);
  broker.OnPrice(8, 8);
  EXPECT_EQ(broker.OpenDeals(), 0);
  EXPECT_TRUE(Fake().calls.empty());
}

}  // namespace
}  // namespace kmr::test
