#include "engine/trading/opening.h"

#include "tests/engine/trading/trading_fixture.h"

namespace kmr::testing {
namespace {

TEST(CanOpenPosition, FollowsTheLimitAndTheTrendRule) {
  const char* kLimit = "CanOpenPosition check returned FALSE because of MaxNetPosition";
  const char* kTrend = "CanOpenPosition check returned FALSE";
  struct Case {
    double maxNet, net, delta;
    std::int32_t vote;
    std::uint32_t flags;
    bool passes;
    const char* line;  // expected refusal line (with its value where given)
  } cases[] = {
      {5, 4, +1, 1, 0, true, nullptr},
      {5, 5, +1, 1, 0, false, "MaxNetPosition  6.0000"},
      {5, -5, -1, -1, 0, false, "MaxNetPosition  -6.0000"},
      {5, -3, -1, 1, 0, false, kTrend},  // against the up trend
      {5, -3, +1, 1, 0, true, nullptr},  // toward flat
      {5, 0, -1, 1, 0, false, kTrend},
      {5, 3, -1, -1, 0, true, nullptr},
      {5, 0, +1, -1, 0, false, kTrend},
      {5, 0, +1, 0, 0, false, kTrend},  // no trend: nothing passes
      {5, 0, +1, 0, kIgnoreTrendOnNewDeal, true, nullptr},
      {5, 5, +1, 0, kIgnoreTrendOnNewDeal, false, kLimit},
      {0, 1, -1, 0, 0, false, kTrend},  // back to flat, but no trend
      {0, 1, -1, 1, 0, true, nullptr},  // back to exactly 0 is within a limit of 0
      {0, 0, -1, 1, kIgnoreTrendOnNewDeal, false, kLimit},
  };
  for (const Case& c : cases) {
    Book b;
    b.OpenJournal(1);
    b.t->maxNetPosition = c.maxNet;
    b.t->netPosition = c.net;
    b.t->trendVote = c.vote;
    b.t->tradingFlags = c.flags;
    EXPECT_EQ(CanOpenPosition(*b.t, c.delta), c.passes) << c.net << " " << c.delta;
    if (c.line) {
      EXPECT_TRUE(b.JournalHas(c.line)) << b.Journal();
    } else {
      EXPECT_EQ(b.Journal(), "");
    }
  }
}

TEST(OpenNewDeal, RecordsTheDealMovesThePositionAndQueuesTheOpen) {
  Book b;
  b.OpenJournal(1);
  b.t->bid = 10.0;
  b.t->ask = 10.5;
  ASSERT_TRUE(OpenNewDeal(*b.t, (2u << 4) | kShort, kNoLink));
  ASSERT_TRUE(OpenNewDeal(*b.t, (1u << 4) | kKindDca | kKindLong, kNoLink));
  ASSERT_EQ(b.t->dealCount, 2);
  const DealRecord& s = b.t->deals[0];
  EXPECT_EQ(s.ticket, kNoTicket);
  EXPECT_EQ(s.price, 10.0);
  EXPECT_EQ(s.kind, (2u << 4) | kShort);
  EXPECT_EQ(b.t->deals[1].price, 10.5);
  EXPECT_DOUBLE_EQ(b.t->netPosition, 0);
  EXPECT_EQ(b.Drain(), (std::vector<std::uint64_t>{OpenShort(1), OpenLong(2)}));
  EXPECT_TRUE(b.HasMessage("Open Standard SHORT deal"));
  EXPECT_EQ(b.LastMessage(), "Open DCA LONG deal ");
  EXPECT_TRUE(b.JournalHas("Open new STANDARD deal request Short -1\r\n"));
  EXPECT_TRUE(b.JournalHas("Open new DCA deal request Long -1\r\n"));
}

TEST(OpenNewDeal, SwitchesAndLimitStopSignalDealsButNotDcaOrManualOnes) {
  struct Case {
    std::uint32_t kind;
    bool opens;
  } cases[] = {{kShort, false}, {kKindDca, true}, {0x1F0, true}, {kLong, true}};
  for (const Case& c : cases) {
    Book b;
    b.OpenJournal(1);
    b.t->shortEnabled = 0;
    EXPECT_EQ(OpenNewDeal(*b.t, c.kind, kNoLink), c.opens) << std::hex << c.kind;
    EXPECT_EQ(b.JournalHas("rejected because of Long/Short Enabled flag"), !c.opens);
  }
  for (const Case& c : cases) {
    Book b;
    b.t->maxNetPosition = 0;
    EXPECT_EQ(OpenNewDeal(*b.t, c.kind, kNoLink), c.kind != kShort && c.kind != kLong);
  }
}

TEST(OpenNewDeal, LinksTheHedgePairBothWays) {
  Book b;
  b.OpenJournal(1);
  for (int i = 0; i < 7; ++i) b.Deal(kLong, 100, 1);
  ASSERT_TRUE(OpenNewDeal(*b.t, kKindHedging, 7));
  EXPECT_EQ(b.t->deals[6].linkedId, 8u);
  EXPECT_EQ(b.t->deals[7].linkedId, 7u);
  EXPECT_EQ(b.t->deals[5].linkedId, kNoLink);
  EXPECT_TRUE(b.JournalHas("Open new HEDGING deal request Short 7\r\n"));
  EXPECT_EQ(b.LastMessage(), "Open Hedging SHORT deal");
}

TEST(OpenNewDeal, AFullQueueRefusesBeforeAnythingIsRecorded) {
  Book b;
  b.OpenJournal(1);
  b.t->maxNetPosition = 0.5;
  for (int i = 0; i < 255; ++i) PushCommand(*b.t, 1);
  // The position check still comes first.
  EXPECT_FALSE(OpenNewDeal(*b.t, kLong, kNoLink));
  EXPECT_FALSE(b.JournalHas("Command queue full"));
  b.t->maxNetPosition = 5;
  EXPECT_FALSE(OpenNewDeal(*b.t, kLong, kNoLink));
  EXPECT_EQ(b.t->dealCount, 0);
  EXPECT_EQ(b.t->netPosition, 0);
  EXPECT_EQ(b.t->nextDealId, 1);
  const std::string j = b.Journal();
  EXPECT_NE(j.find("Open new STANDARD deal request Long -1\r\n"), std::string::npos);
  EXPECT_NE(j.find(" Command queue full \r\n"), std::string::npos) << j;
  GetNextCommand(*b.t);
  EXPECT_TRUE(OpenNewDeal(*b.t, kLong, kNoLink));
  EXPECT_EQ(b.t->deals[0].id, 1u);
}

TEST(OpenNewDeal, DoesNothingWithoutContext) {
  TradingState lone;
  EXPECT_FALSE(OpenNewDeal(lone, kLong, kNoLink));
  StartTradingCycleManually(lone);
  EXPECT_EQ(lone.dealCount, 0);
  EXPECT_EQ(lone.commandCount, 0);
}

TEST(IsDealNearPrice, IncludesBothBandEndsOnceEnoughDealsAreFilled) {
  Book b;  // tickSize 0.25
  b.t->stdIntervalTicks = 50;
  b.t->stdIntervalMinDeals = 1;
  b.Deal(kLong, 100.00, 1);
  EXPECT_TRUE(IsDealNearPrice(*b.t, true, 112.50));
  EXPECT_TRUE(IsDealNearPrice(*b.t, true, 87.50));
  EXPECT_FALSE(IsDealNearPrice(*b.t, true, 112.51));
  EXPECT_FALSE(IsDealNearPrice(*b.t, false, 100.00));
  b.t->stdIntervalMinDeals = 2;
  EXPECT_FALSE(IsDealNearPrice(*b.t, true, 100.00));
  b.t->stdIntervalMinDeals = 0;
  b.t->deals[0].kind |= kKindDca;  // two type bits: not a deal of one kind
  EXPECT_FALSE(IsDealNearPrice(*b.t, true, 100.00));
  b.t->stdIntervalTicks = 0;
  b.t->deals[0].kind = kLong;
  EXPECT_FALSE(IsDealNearPrice(*b.t, true, 100.00));
}

TEST(TryOpenDcaDeal, OpensBeyondTheIntervalFromTheChartsOwnDeals) {
  const std::uint32_t c2 = 2u << 4;
  struct Case {
    std::vector<std::pair<std::uint32_t, double>> deals;
    double ask, bid;
    bool up, down;
    std::vector<std::uint64_t> opens;
  } cases[] = {
      // dcaInterval 100 x tickSize 0.25 = 25 below the lowest LONG deal of chart 2.
      {{{c2 | kLong, 105}, {c2 | kLong, 110}, {(1u << 4) | kLong, 50}},
       80.00,
       0,
       true,
       false,
       {OpenLong(4)}},
      {{{c2 | kLong, 105}, {c2 | kLong, 110}, {(1u << 4) | kLong, 50}}, 80.01, 0, true, false, {}},
      {{{c2 | kShort, 110}, {c2 | kKindDca, 115}}, 0, 140.00, false, true, {OpenShort(3)}},
      {{{c2 | kShort, 110}, {c2 | kKindDca, 115}}, 0, 139.99, false, true, {}},
      {{{c2 | kShort, 110}}, 0, 1000, true, false, {}},  // no LONG deal of the chart
      {{}, 1, 1000, true, true, {}},
  };
  for (const Case& c : cases) {
    Book b;
    for (const auto& [kind, price] : c.deals) b.Deal(kind, price, 1);
    b.t->ask = c.ask;
    b.t->bid = c.bid;
    TryOpenDcaDeal(*b.t, 2, c.up, c.down);
    EXPECT_EQ(b.Drain(), c.opens) << c.ask << " " << c.bid;
    if (!c.opens.empty()) {
      EXPECT_EQ(b.t->deals[b.t->dealCount - 1].kind & ~kKindLong, c2 | kKindDca);
    }
  }
}

TEST(StartTradingCycleManually, OpensAManualDealWithTheTrend) {
  struct Case {
    std::initializer_list<std::uint32_t> codes;
    std::vector<std::uint64_t> opens;
    std::uint32_t kind;
  } cases[] = {
      {{3, 3, 1}, {OpenLong(1)}, 0x1F1}, {{1, 3, 1}, {OpenShort(1)}, 0x1F0}, {{3, 1, 0}, {}, 0}};
  for (const Case& c : cases) {
    Book b;
    b.OpenJournal(3);
    b.Trend(c.codes, 0);  // the stored vote (0) would refuse a checked deal
    b.t->tradingFlags = 0;
    StartTradingCycleManually(*b.t);
    EXPECT_EQ(b.Drain(), c.opens);
    EXPECT_TRUE(b.JournalHas("Start trading cycle manually request"));
    if (c.opens.empty()) {
      EXPECT_EQ(b.LastMessage(), "Manual Start request rejected - NO TREND");
    } else {
      EXPECT_EQ(b.t->deals[0].kind, c.kind);
    }
  }
}

}  // namespace
}  // namespace kmr::testing
