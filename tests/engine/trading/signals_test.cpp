#include "engine/trading/signals.h"

#include "engine/charts/candle.h"
#include "tests/engine/trading/trading_fixture.h"

namespace kmr::testing {
namespace {

constexpr std::uint32_t kUp1 = kResultUp1 | kResultEvent;
constexpr std::uint32_t kDown1 = kResultDown1 | kResultEvent;

std::uint32_t Word(std::initializer_list<std::uint32_t> codes) {
  std::uint32_t word = 0;
  int i = 0;
  for (std::uint32_t code : codes) word |= code << (2 * i++);
  return word;
}

// Moves the context to the new codes and hands the trend event over, as the pipeline does.
void NewTrend(Book& b, std::initializer_list<std::uint32_t> codes, std::int32_t vote) {
  b.context->trendWord = Word(codes);
  OnNewTrend(*b.t, Word(codes), vote);
}

TEST(OnNewTrend, GroupRuleFirstThenSingleRuleOnAFlipOfTheVote) {
  struct Case {
    std::uint32_t flags;
    double first, second;  // profits of two LONG deals
    std::int32_t oldVote, newVote;
    std::vector<std::uint64_t> closes;
  } cases[] = {
      {kClosePositiveGroupOnNewTrend, 40, -10, 2, -3, {Close(1002), Close(1001)}},
      {kClosePositiveGroupOnNewTrend | kClosePositiveOnNewTrend, 5, -10, 2, -3, {Close(1001)}},
      {kClosePositiveGroupOnNewTrend, 5, -10, 2, -3, {}},
      {kClosePositiveOnNewTrend, 40, 10, 2, -3, {Close(1002), Close(1001)}},
      {kClosePositiveGroupOnNewTrend | kClosePositiveOnNewTrend, 40, 10, 0, -3, {}},
      {kClosePositiveGroupOnNewTrend | kClosePositiveOnNewTrend, 40, 10, 2, 0, {}},
  };
  for (const Case& c : cases) {
    Book b;
    b.OpenJournal(2);
    b.Trend({3, 3, 1}, c.oldVote);
    b.t->tradingFlags = c.flags;
    b.Deal(kLong, 100, 1, c.first);
    b.Deal(kLong, 100, 1, c.second);
    NewTrend(b, {1, 1, 1}, c.newVote);
    EXPECT_EQ(b.Drain(), c.closes) << c.flags << " " << c.first;
    EXPECT_EQ(b.t->trendVote, c.newVote);
    EXPECT_EQ(b.t->trendWord, Word({1, 1, 1}));
    EXPECT_TRUE(b.HasMessage("Vuz1 graphs updated: DDD"));
    EXPECT_TRUE(b.JournalHas("Vuz1 new update:  DDD\r\n")) << b.Journal();
  }
}

TEST(OnNewTrend, TrendChartLettersDecideHedgeCloseOrOpen) {
  const std::uint32_t H = 1600, X = kTrendCloseOnly, T = kTrendOpenTrade;
  struct Case {
    std::uint32_t chart0;
    double profit;  // of a LONG STANDARD deal
    std::vector<std::uint64_t> commands;
  } cases[] = {
      {H | T, -10, {OpenShort(2)}},              // hedge, and the open pass does not run
      {H | X | T, -10, {OpenShort(2)}},          // H and X behave as H
      {kNoHedge | X | 1600, -10, {}},            // X does not hedge
      {kNoHedge | X | 1600, 10, {Close(1001)}},  // but closes a winner
      {H, 10, {Close(1001)}},
      {kNoHedge | T | 1600, -10, {OpenShort(2)}},  // T alone opens with the new trend
      {kNoHedge | 1600, -10, {}},                  // a chart without letters only votes
  };
  for (const Case& c : cases) {
    Book b({c.chart0, kNoHedge | 800, kNoHedge | 400});
    b.Trend({3, 1, 1}, -1);
    b.Deal(kLong, 100, 1, c.profit);
    NewTrend(b, {1, 1, 1}, -3);
    EXPECT_EQ(b.Drain(), c.commands) << std::hex << c.chart0;
    if (c.commands == std::vector<std::uint64_t>{OpenShort(2)}) {
      const bool hedged = (c.chart0 & kNoHedge) == 0;
      EXPECT_EQ(b.t->deals[1].kind, hedged ? kKindHedging : kShort);
      EXPECT_EQ(b.t->deals[1].linkedId, hedged ? 1u : kNoLink);
    }
  }
}

TEST(OnNewTrend, OpenPassNeedsTheVoteAndWithBit3SynchronisedCharts) {
  const std::uint32_t T = kNoHedge | kTrendOpenTrade;
  struct Case {
    std::initializer_list<std::uint32_t> codes;
    std::int32_t vote;
    std::uint32_t flags;
    std::vector<std::uint64_t> opens;
  } cases[] = {
      {{3, 3, 1}, 1, 0, {OpenLong(1)}},
      {{3, 3, 1}, 0, 0, {}},
      {{3, 1, 1}, -1, 0, {}},
      {{3, 3, 1}, 1, kSynchronizedTrendRequired, {}},
      {{3, 3, 3}, 3, kSynchronizedTrendRequired, {OpenLong(1)}},
  };
  for (const Case& c : cases) {
    Book b({T | 1600, kNoHedge | 800, kNoHedge | 400});
    b.t->tradingFlags = c.flags | kIgnoreTrendOnNewDeal;
    b.Trend({1, 1, 1}, -1);
    b.t->ask = 1.5;
    b.context->trendWord = Word(c.codes);
    OnNewTrend(*b.t, Word(c.codes), c.vote);
    EXPECT_EQ(b.Drain(), c.opens) << c.vote << " " << c.flags;
  }
  // Two T charts turning up at once open two deals unless the standard interval applies.
  for (int minDeals : {5, 0}) {
    Book b({T | 1600, T | 800, kNoHedge | 400});
    b.t->stdIntervalTicks = 10;
    b.t->stdIntervalMinDeals = minDeals;
    b.Trend({1, 1, 3}, -1);
    NewTrend(b, {3, 3, 3}, 3);
    EXPECT_EQ(b.t->dealCount, minDeals ? 2 : 1);
  }
}

TEST(OnEntrySignal, EntryLettersChooseTheCloseAndOpenSteps) {
  struct Case {
    std::uint32_t letter;
    std::uint32_t dealOrigin;
    double dealProfit;  // of a SHORT deal
    std::vector<std::uint64_t> commands;
  } cases[] = {
      {0, 0, 5, {Close(1001)}},
      {0, 0, -5, {OpenLong(2)}},
      {kEntryOpenOrCloseOwn, 0, 5, {OpenLong(2)}},  // not its own deal
      {kEntryOpenOrCloseOwn, 1, 5, {Close(1001)}},
      {kEntryOpenOnly, 1, 5, {OpenLong(2)}},
      {kEntryCloseOnly, 0, 5, {Close(1001)}},
      {kEntryCloseOnly, 0, -5, {}},
      {kEntryCloseOnly | kEntryOpenOrCloseOwn, 0, 5, {}},
      {kEntryDisplayOnly, 0, 5, {Close(1001)}},  // the chart itself never signals
  };
  for (const Case& c : cases) {
    Book b({kNoHedge | 1600, kNoHedge | 800, kNoHedge | 400}, 0, {40, c.letter | 80, 120});
    b.t->tradingFlags = 0;
    b.Trend({3, 3, 1}, 1);
    b.Deal((c.dealOrigin << 4) | kShort, 100, 1, c.dealProfit);
    OnEntrySignal(*b.t, 1, kUp1, false);
    EXPECT_EQ(b.Drain(), c.commands) << std::hex << c.letter << " " << c.dealProfit;
    if (c.commands == std::vector<std::uint64_t>{OpenLong(2)}) {
      EXPECT_EQ(b.t->deals[1].kind, (1u << 4) | kLong);
    }
    EXPECT_TRUE(b.HasMessage("2. entry chart signal(s):  UP1"));
  }
}

TEST(OnEntrySignal, OpensOnlyWithADecidedTrendAndAlongTheStoredVote) {
  struct Case {
    std::initializer_list<std::uint32_t> codes;
    std::int32_t vote;
    std::uint32_t result, flags;
    std::vector<std::uint64_t> opens;
  } cases[] = {
      {{3, 3, 1}, 1, kUp1, 0, {OpenLong(1)}},
      {{3, 0, 3}, 2, kUp1, 0, {}},   // a chart without trend blocks opening
      {{3, 1, 1}, -1, kUp1, 0, {}},  // against the stored vote
      {{3, 1, 1}, -1, kUp1, kIgnoreTrendOnNewDeal, {OpenLong(1)}},
      {{3, 1, 1}, -1, kDown1, 0, {OpenShort(1)}},
      {{3, 3, 1}, 1, kUp1, kSynchronizedTrendRequired, {}},
      {{3, 3, 3}, 3, kResultUp2, kSynchronizedTrendRequired, {OpenLong(1)}},
  };
  for (const Case& c : cases) {
    Book b;
    b.t->tradingFlags = c.flags;
    b.Trend(c.codes, c.vote);
    OnEntrySignal(*b.t, 0, c.result, false);
    EXPECT_EQ(b.Drain(), c.opens) << c.vote << " " << c.flags;
  }
}

TEST(OnEntrySignal, ANoTrendChartStillLetsTheCloseStepRun) {
  Book b;
  b.Trend({3, 0, 3}, 2);
  b.Deal(kLong, 100, 1, 5);
  OnEntrySignal(*b.t, 2, kDown1, false);
  EXPECT_EQ(b.Drain(), std::vector<std::uint64_t>{Close(1001)});
  EXPECT_EQ(b.LastMessage(), "3. entry chart signal(s):  DOWN1");
}

TEST(OnEntrySignal, FallsBackToDcaWhenTheStandardDealIsRefused) {
  struct Case {
    std::uint32_t flags;
    int stdTicks;
    std::vector<std::uint64_t> opens;
  } cases[] = {
      {kSynchronizedTrendRequired, 0, {OpenLong(2)}},  // not synchronised: DCA
      {0, 0, {OpenLong(2)}},                           // standard deal
      {0, 200, {}},  // a deal within the interval, but too close for DCA (105 - 25 < 90)
  };
  for (const Case& c : cases) {
    Book b;
    b.t->tradingFlags = c.flags;
    b.t->stdIntervalTicks = c.stdTicks;
    b.Trend({3, 3, 1}, 1);
    b.Deal(kLong, 105, 1, -100);
    b.t->bid = b.t->ask = 80;
    if (c.stdTicks) b.t->bid = b.t->ask = 90;
    OnEntrySignal(*b.t, 0, kUp1, false);
    EXPECT_EQ(b.Drain(), c.opens) << c.flags;
    if (!c.opens.empty()) {
      EXPECT_EQ(b.t->deals[1].kind, c.flags ? (kKindDca | kKindLong) : kLong);
    }
  }
}

TEST(OnEntrySignal, TheExternalSignalNamesItselfAndUsesTheChartIndex) {
  Book b;
  b.OpenJournal(2);
  b.Trend({3, 3, 3}, 3);
  OnEntrySignal(*b.t, 1, kUp1, true);
  EXPECT_TRUE(b.HasMessage("2. entry chart EXT signal(s):  UP1"));
  EXPECT_TRUE(b.JournalHas(" 2. entry chart EXT signal(s):  UP1 \r\n")) << b.Journal();
  ASSERT_EQ(b.t->dealCount, 1);
  EXPECT_EQ(KindOrigin(b.t->deals[0].kind), 1u);
  // All four names, in their fixed order.
  OnEntrySignal(*b.t, 0, 0xF01, false);
  EXPECT_TRUE(b.HasMessage("1. entry chart signal(s):  UP1 DOWN1 UP2 DOWN2"));
}

TEST(Signals, DoNothingWithoutContext) {
  TradingState lone;
  OnNewTrend(lone, 0xFF, 3);
  OnEntrySignal(lone, 0, kUp1, true);
  EXPECT_EQ(lone.trendVote, 0);
  EXPECT_EQ(lone.commandCount, 0);
}

}  // namespace
}  // namespace kmr::testing
