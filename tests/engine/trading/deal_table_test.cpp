#include "engine/trading/deal_table.h"

#include "engine/trading/opening.h"
#include "tests/engine/trading/trading_fixture.h"

namespace kmr::testing {
namespace {

TEST(CommandQueue, IsFirstInFirstOutAndHolds255Words) {
  Book b;
  EXPECT_EQ(GetNextCommand(*b.t), 0u);
  for (std::uint64_t w = 1; w <= 255; ++w) EXPECT_TRUE(PushCommand(*b.t, w));
  EXPECT_FALSE(PushCommand(*b.t, 256));
  EXPECT_TRUE(CommandQueueFull(*b.t));
  for (std::uint64_t w = 1; w <= 255; ++w) EXPECT_EQ(GetNextCommand(*b.t), w);
  EXPECT_EQ(GetNextCommand(*b.t), 0u);
  EXPECT_EQ(b.t->commandCount, 0);
}

TEST(OrderFilled, AveragesPartialFillsAndCountsTheDealOnce) {
  Book b;
  b.OpenJournal(0);
  ASSERT_TRUE(OpenNewDeal(*b.t, kLong, kNoLink));
  OrderFilled(*b.t, 7, 1.0, 100.0);  // no ticket yet: ignored
  EXPECT_EQ(b.Journal(), "");
  OrderSetTicket(*b.t, 1, 7);
  EXPECT_EQ(b.LastMessage(), "OrderSetTicket: 1/7");
  OrderFilled(*b.t, 7, 1.0, 100.0);
  OrderFilled(*b.t, 7, 1.0, 102.0);
  const DealRecord& d = b.t->deals[0];
  EXPECT_EQ(d.price, 101.0);
  EXPECT_EQ(d.volume, 2.0);
  EXPECT_EQ(b.t->filledDealCount, 1);
  const std::string j = b.Journal();
  EXPECT_NE(j.find("## OPEN STANDARD 1 LONG 100.0000 1.0000 1 "), std::string::npos) << j;
  EXPECT_NE(j.find("## OPEN STANDARD 1 LONG 102.0000 1.0000 1 "), std::string::npos) << j;
}

TEST(OrderFilled, TheNoTicketValueMatchesTheFirstDealWithoutTicket) {
  Book b;
  ASSERT_TRUE(OpenNewDeal(*b.t, kLong, kNoLink));
  OrderFilled(*b.t, kNoTicket, 0.5, 1.0);
  EXPECT_EQ(b.t->filledDealCount, 1);
  EXPECT_EQ(b.t->deals[0].volume, 0.5);
}

TEST(OrderRejected, TakesBackOnlyTheFilledVolume) {
  struct Case {
    bool isLong;
    double filled;
    double netAfter;
  } cases[] = {{true, 0, 1.0}, {true, 0.5, 0.5}, {false, 0, -1.0}, {false, 0.25, -0.75}};
  for (const Case& c : cases) {
    Book b;
    ASSERT_TRUE(OpenNewDeal(*b.t, c.isLong ? kLong : kShort, kNoLink));
    OrderSetTicket(*b.t, 1, 50);
    if (c.filled > 0) OrderFilled(*b.t, 50, c.filled, 1.0);
    OrderRejected(*b.t, 2);  // unknown id
    EXPECT_EQ(b.t->dealCount, 1);
    OrderRejected(*b.t, 1);
    EXPECT_EQ(b.t->dealCount, 0);
    EXPECT_DOUBLE_EQ(b.t->netPosition, c.netAfter) << c.isLong << " " << c.filled;
  }
}

TEST(OrderClosed, RemovesTheDealAndKeepsTheNetPosition) {
  Book b;
  b.Deal(kLong, 100, 1);
  b.Deal(kShort, 100, 1);
  const double net = b.t->netPosition;
  OrderClosed(*b.t, 1001);
  ASSERT_EQ(b.t->dealCount, 1);
  EXPECT_EQ(b.t->deals[0].id, 2u);
  EXPECT_EQ(b.t->netPosition, net);
  EXPECT_EQ(b.t->filledDealCount, 1) << "the dropped deal no longer counts as filled";
}

TEST(DroppedDeals, EndACloseAllCycleWhenTheLastFilledDealGoes) {
  for (bool rejected : {false, true}) {
    Book b;
    b.Deal(kLong, 100, 1);
    b.t->cadRequested = 1;
    b.t->closedProfit = 60;
    if (rejected)
      OrderRejected(*b.t, 1);
    else
      OrderClosed(*b.t, 1001);
    EXPECT_EQ(b.t->filledDealCount, 0);
    EXPECT_EQ(b.t->cadRequested, 0) << rejected;
    EXPECT_EQ(b.t->closedProfit, 0) << rejected;
  }
}

TEST(OpenDealClosed, BooksTheRealisedProfitAndFreesTheHedgePartner) {
  Book b;  // tickSize 0.25, tickValue 12.5, commission 1.5
  b.Deal(kLong, 100.00, 2);
  DealRecord& hedge = b.Deal(kKindHedging, 100.00, 2);
  hedge.linkedId = 1;
  b.t->deals[0].linkedId = 2;
  OpenDealClosed(*b.t, 1001, 2, 101.00);
  EXPECT_DOUBLE_EQ(b.t->closedProfit, 98.5);
  EXPECT_DOUBLE_EQ(b.t->netPosition, -2.0);
  EXPECT_EQ(b.t->filledDealCount, 1);
  ASSERT_EQ(b.t->dealCount, 1);
  EXPECT_EQ(b.t->deals[0].linkedId, kNoLink);
  EXPECT_EQ(b.LastMessage(), "OpenDealClosed: 1001 [0]");
  OpenDealClosed(*b.t, 4242, 1, 1);
  EXPECT_EQ(b.LastMessage(), "OpenDealClosed: 4242 [-1]");
  EXPECT_EQ(b.t->dealCount, 1);
}

TEST(OpenDealClosed, ShortProfitAndTheUnfilledDealKeepTheFilledCount) {
  Book b;
  b.Deal(kShort, 100.00, 1);
  b.Deal(kShort, 100.00, 0);  // never filled
  OpenDealClosed(*b.t, 1002, 0, 100.0);
  EXPECT_EQ(b.t->filledDealCount, 1);
  OpenDealClosed(*b.t, 1001, 1, 99.00);
  EXPECT_DOUBLE_EQ(b.t->closedProfit, (1.0 / 0.25) * 12.5 - 1.5 - 1.5);
  EXPECT_EQ(b.t->filledDealCount, 0);
}

TEST(OpenDealClosed, TheLastFilledDealEndsTheCadCycle) {
  Book b;
  b.OpenJournal(0);
  b.Deal(kLong, 100, 1);
  b.Deal(kLong, 100, 1);
  b.t->cadRequested = 1;
  b.t->closedProfit = 60;
  OpenDealClosed(*b.t, 1001, 1, 101);
  EXPECT_EQ(b.t->cadRequested, 1);
  EXPECT_GT(b.t->closedProfit, 60);
  OpenDealClosed(*b.t, 1002, 1, 101);
  EXPECT_EQ(b.t->cadRequested, 0);
  EXPECT_EQ(b.t->closedProfit, 0);
  EXPECT_NE(
      b.Journal().find("## CLOSE STANDARD 2 LONG 101.0000 1.0000 0 0.0000 0.0000 0.0000 \r\n"),
      std::string::npos)
      << b.Journal();
}

TEST(UpdateFloatingProfit, ValuesLongAtTheBidShortAtTheAskAndUnfilledAtTheCommission) {
  Book b;
  b.Deal(kLong, 100, 1);
  b.Deal(kShort, 100, 2);
  b.Deal(kLong, 100, 0);
  b.t->bid = 100.5;
  b.t->ask = 100.75;
  EXPECT_DOUBLE_EQ(UpdateFloatingProfit(*b.t), (2 * 12.5 - 1.5) + (-3 * 12.5 * 2 - 1.5) - 1.5);
  EXPECT_DOUBLE_EQ(b.t->deals[0].profit, 23.5);
  EXPECT_DOUBLE_EQ(b.t->deals[2].profit, -1.5);
}

TEST(OnLiveTick, StoresTheTickAndReportsAnOpenPosition) {
  Book b;
  EXPECT_FALSE(OnLiveTick(*b.t, 1.5, 1.75, 77));
  EXPECT_EQ(b.t->tickTime, 77u);
  b.Deal(kShort, 2.0, 1);
  EXPECT_TRUE(OnLiveTick(*b.t, 1.5, 1.75, 78));
  EXPECT_DOUBLE_EQ(b.t->floatingProfit, 0.25 / 0.25 * 12.5 - 1.5);
}

TEST(DealIds, WrapFrom32766ToOne) {
  Book b;
  b.t->nextDealId = 32766;
  ASSERT_TRUE(OpenNewDeal(*b.t, kLong, kNoLink));
  ASSERT_TRUE(OpenNewDeal(*b.t, kLong, kNoLink));
  EXPECT_EQ(b.t->deals[0].id, 32766u);
  EXPECT_EQ(b.t->deals[1].id, 1u);
  EXPECT_EQ(b.t->nextDealId, 2);
  EXPECT_EQ(b.Drain(), (std::vector<std::uint64_t>{OpenLong(32766), OpenLong(1)}));
}

TEST(DealTable, DoublesWhenFullAndKeepsTheOrder) {
  Book b;
  ASSERT_EQ(b.t->dealCapacity, 20);
  for (int i = 0; i < 41; ++i) {
    ASSERT_TRUE(OpenNewDeal(*b.t, kLong, kNoLink));
    b.Drain();
    if (i == 19) {
      EXPECT_EQ(b.t->dealCapacity, 20);
    }
    if (i == 20) {
      EXPECT_EQ(b.t->dealCapacity, 40);
    }
  }
  EXPECT_EQ(b.t->dealCapacity, 80);
  for (int i = 0; i < 41; ++i) EXPECT_EQ(b.t->deals[i].id, static_cast<std::uint32_t>(i + 1));
  RemoveDeal(*b.t, 0);
  EXPECT_EQ(b.t->deals[0].id, 2u);
  EXPECT_EQ(b.t->deals[40].id, 0u);
  EXPECT_EQ(b.t->dealCount, 40);
}

}  // namespace
}  // namespace kmr::testing
