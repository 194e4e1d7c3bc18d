#include "engine/trading/closing.h"

#include "engine/trading/opening.h"
#include "tests/engine/trading/trading_fixture.h"

namespace kmr::testing {
namespace {

TEST(CloseAllDeals, AlternatesTheSidesStartingAgainstTheNetPosition) {
  struct Case {
    std::vector<std::uint32_t> kinds;  // volume 1 each, tickets 1000 + id
    std::vector<std::uint32_t> order;  // tickets in the order of their close commands
  } cases[] = {
      {{kLong, kShort, kLong, kLong}, {1001, 1002, 1003, 1004}},    // net long
      {{kLong, kShort, kShort, kShort}, {1002, 1003, 1004, 1001}},  // net short
      {{kShort, kLong}, {1002, 1001}},                              // flat: LONG first
      {{kShort, kShort}, {1001, 1002}},
  };
  for (const Case& c : cases) {
    Book b;
    for (std::uint32_t kind : c.kinds) b.Deal(kind, 100, 1);
    CloseAllDeals(*b.t, false);
    std::vector<std::uint64_t> expected;
    for (std::uint32_t ticket : c.order) expected.push_back(Close(ticket));
    EXPECT_EQ(b.Drain(), expected);
    for (int i = 0; i < b.t->dealCount; ++i) EXPECT_TRUE(b.t->deals[i].kind & kKindClosing);
  }
}

TEST(CloseAllDeals, SkipsDealsWithoutTicketOrAlreadyClosingAndNamesTheCount) {
  Book b;
  b.OpenJournal(1);
  CloseAllDeals(*b.t, true);
  EXPECT_EQ(b.LastMessage(), "ManualCloseAllDeals: 0");
  EXPECT_TRUE(b.JournalHas(" ManualCloseAllDeals: 0 \r\n"));
  EXPECT_EQ(b.Drain(), std::vector<std::uint64_t>{});
  b.Deal(kLong, 100, 1);
  b.Deal(kLong, 100, 1).ticket = kNoTicket;
  b.Deal(kShort, 100, 1).kind |= kKindClosing;
  CloseAllDeals(*b.t, false);
  EXPECT_EQ(b.LastMessage(), "CloseAllDeals: 3");
  EXPECT_EQ(b.Drain(), std::vector<std::uint64_t>{Close(1001)});
  EXPECT_FALSE(b.t->deals[1].kind & kKindClosing);
}

TEST(CloseAllDeals, AFullQueueLeavesTheDealUnmarked) {
  Book b;
  b.OpenJournal(1);
  b.Deal(kLong, 100, 1);
  b.Deal(kShort, 100, 1);
  b.Deal(kLong, 100, 1);
  for (int i = 0; i < 254; ++i) PushCommand(*b.t, 1);
  CloseAllDeals(*b.t, false);
  EXPECT_TRUE(b.t->deals[0].kind & kKindClosing);
  EXPECT_FALSE(b.t->deals[1].kind & kKindClosing);
  EXPECT_FALSE(b.t->deals[2].kind & kKindClosing);
  EXPECT_TRUE(b.JournalHas("Command queue full"));
  std::vector<std::uint64_t> commands = b.Drain();
  EXPECT_EQ(commands.back(), Close(1001));
  CloseAllDeals(*b.t, false);  // the refused deals are chosen again
  EXPECT_EQ(b.Drain(),
            (std::vector<std::uint64_t>{Close(1003), Close(1002)}));  // still net long: LONG first
}

TEST(CheckCadTarget, ClosesEverythingOnceAndTheLastCloseEndsTheCycle) {
  Book b;
  b.OpenJournal(1);
  b.t->cadProfit = 100;
  b.t->closedProfit = 60;
  b.Deal(kLong, 100.00, 1).profit = 0;
  b.Deal(kShort, 100.00, 1);
  b.t->bid = b.t->ask = 100.00;
  b.t->tickValue = 10;
  b.t->dealCommission = 0;
  b.t->deals[0].price = 99.00;  // +4 ticks x 10 = +40 floating
  OnLiveTick(*b.t, 100.00, 100.00, 5);
  ASSERT_DOUBLE_EQ(b.t->floatingProfit, 40);
  EXPECT_EQ(b.t->cadRequested, 1);
  EXPECT_EQ(b.Drain(), (std::vector<std::uint64_t>{Close(1001), Close(1002)}));
  EXPECT_TRUE(b.JournalHas("Processing new tick -> CloseAllDeals request  40.0000\r\n"));
  OnLiveTick(*b.t, 100.00, 100.00, 6);
  EXPECT_EQ(b.Drain(), std::vector<std::uint64_t>{});  // no second close-all
  OpenDealClosed(*b.t, 1001, 1, 100.00);
  EXPECT_DOUBLE_EQ(b.t->closedProfit, 100);
  OpenDealClosed(*b.t, 1002, 1, 100.00);
  EXPECT_EQ(b.t->closedProfit, 0);
  EXPECT_EQ(b.t->cadRequested, 0);
}

TEST(CheckCadTarget, AZeroTargetOnAnEmptyBookStaysRequested) {
  Book b;
  b.t->cadProfit = 0;
  OnLiveTick(*b.t, 1, 1, 1);
  EXPECT_EQ(b.t->cadRequested, 1);
  EXPECT_EQ(b.LastMessage(), "CloseAllDeals: 0");
  ResetCadCounter(*b.t);
  EXPECT_EQ(b.t->cadRequested, 1);
}

TEST(CloseSingleDeal, ObeysThePositionCheck) {
  Book b;
  b.OpenJournal(1);
  b.t->tradingFlags = 0;
  b.t->trendVote = 1;
  b.Deal(kLong, 100, 1, 5);
  b.Deal(kKindHedging, 100, 1);
  CloseSingleDeal(*b.t, 1);  // new net -1 against the up trend
  EXPECT_EQ(b.Drain(), std::vector<std::uint64_t>{});
  const std::string j = b.Journal();
  EXPECT_NE(j.find("Close single deal request  1\r\n"), std::string::npos);
  EXPECT_NE(j.find("CanOpenPosition check returned FALSE \r\n"), std::string::npos);
  EXPECT_NE(j.find("Close deal request rejected because of position check"), std::string::npos);
  CloseSingleDeal(*b.t, 2);  // the SHORT hedge brings the book back up
  EXPECT_EQ(b.Drain(), std::vector<std::uint64_t>{Close(1002)});
  CloseSingleDeal(*b.t, 2);  // already closing
  CloseSingleDeal(*b.t, 9);  // unknown
  EXPECT_EQ(b.Drain(), std::vector<std::uint64_t>{});
}

TEST(TryCloseDealIfInProfit, TakesTheFirstProfitableDealOfTheSideAndChart) {
  Book b;
  b.Deal((1u << 4) | kLong, 100, 1, 5);
  b.Deal(kLong, 100, 1, 0);
  b.Deal(kLong, 100, 1, 3);
  b.Deal(kShort, 100, 1, 9);
  EXPECT_TRUE(TryCloseDealIfInProfit(*b.t, true, 0));
  EXPECT_EQ(b.Drain(), std::vector<std::uint64_t>{Close(1003)});
  EXPECT_TRUE(TryCloseDealIfInProfit(*b.t, true, -1));
  EXPECT_EQ(b.Drain(), std::vector<std::uint64_t>{Close(1001)});
  EXPECT_FALSE(TryCloseDealIfInProfit(*b.t, true, -1));
  // A profitable deal without ticket is chosen, and then left alone.
  b.t->deals[3].ticket = kNoTicket;
  EXPECT_TRUE(TryCloseDealIfInProfit(*b.t, false, -1));
  EXPECT_EQ(b.Drain(), std::vector<std::uint64_t>{});
}

TEST(ClosePositiveOrHedgeStandardDeals, ClosesAWinnerOrHedgesTheFirstUnpairedLoser) {
  Book b;
  b.OpenJournal(2);
  b.t->bid = 99;
  b.t->ask = 99.5;
  b.t->nextDealId = 12;
  b.Deal(kLong, 100, 1, -10);  // deal 12
  EXPECT_FALSE(ClosePositiveOrHedgeStandardDeals(*b.t, true, false));
  EXPECT_TRUE(ClosePositiveOrHedgeStandardDeals(*b.t, true, true));
  ASSERT_EQ(b.t->dealCount, 2);
  EXPECT_EQ(b.t->deals[1].kind, kKindHedging);
  EXPECT_EQ(b.t->deals[1].linkedId, 12u);
  EXPECT_EQ(b.t->deals[0].linkedId, 13u);
  EXPECT_EQ(b.Drain(), std::vector<std::uint64_t>{OpenShort(13)});
  EXPECT_TRUE(b.JournalHas("ClosePositiveOrHedgeStandardDeals request Long\r\n"));
  // Paired now: nothing more to do for the LONG side.
  EXPECT_FALSE(ClosePositiveOrHedgeStandardDeals(*b.t, true, true));

  // The standard deal goes; the orphaned SHORT hedge gets a LONG standard partner.
  b.t->deals[1].ticket = 1013;
  b.t->deals[1].profit = -2;
  OpenDealClosed(*b.t, 1012, 1, 99);
  EXPECT_EQ(b.t->deals[0].linkedId, kNoLink);
  UpdateFloatingProfit(*b.t);
  EXPECT_TRUE(ClosePositiveOrHedgeStandardDeals(*b.t, false, true));
  EXPECT_EQ(b.t->deals[1].kind, kLong);
  EXPECT_EQ(b.t->deals[1].linkedId, 13u);
  EXPECT_EQ(b.t->deals[0].linkedId, 14u);

  // A winner is closed instead; DCA and manual-origin flags outside bits 8..11 do not matter.
  Book w;
  w.Deal(kKindDca | kKindLong, 100, 1, 50);
  w.Deal(kKindStandard | kKindDca | kKindLong, 100, 1, 50);
  w.Deal(0x1F1, 100, 1, 5);
  EXPECT_TRUE(ClosePositiveOrHedgeStandardDeals(*w.t, true, false));
  EXPECT_EQ(w.Drain(), std::vector<std::uint64_t>{Close(1003)});
}

TEST(NewTrendSideRules, GroupNeedsAPositiveSumSingleTakesEachWinner) {
  struct Case {
    std::vector<double> profits;  // SHORT deals
    bool group;
    std::vector<std::uint64_t> groupCloses, singleCloses;
  } cases[] = {
      {{30, -20}, true, {Close(1002), Close(1001)}, {}},
      {{10, -20}, false, {}, {Close(1001)}},
      {{-5}, false, {}, {}},
  };
  for (const Case& c : cases) {
    Book b;
    for (double p : c.profits) b.Deal(kShort, 100, 1, p);
    EXPECT_EQ(CloseSideGroupOnNewTrend(*b.t, Side::kShort), c.group);
    EXPECT_EQ(b.LastMessage(), "Close positive SHORT deals group on new trend");
    EXPECT_EQ(b.Drain(), c.groupCloses);
    EXPECT_EQ(CloseProfitableSideOnNewTrend(*b.t, Side::kShort), !c.singleCloses.empty());
    EXPECT_EQ(b.Drain(), c.singleCloses);
  }
  Book l;
  l.Deal(kLong, 100, 1, 1);
  l.Deal(kLong, 100, 1, 2);
  EXPECT_TRUE(CloseProfitableSideOnNewTrend(*l.t, Side::kLong));
  EXPECT_EQ(l.LastMessage(), "Close positive LONG deals on new trend ");
  EXPECT_EQ(l.Drain(), (std::vector<std::uint64_t>{Close(1002), Close(1001)}));
}

}  // namespace
}  // namespace kmr::testing
