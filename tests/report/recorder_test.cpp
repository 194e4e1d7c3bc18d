// The recorder beside the real simulated broker, fed line by line in the processing loop's
// order: each close reason, the equity events and day ends, and the broker's own figures.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "tester/broker/broker.h"
#include "tester/report/curve_reducer.h"
#include "tester/report/run_recorder.h"

namespace kmr {
namespace {

std::int32_t Local(int day, int hour) {
  std::tm t{};
  t.tm_year = 2023 - 1900;
  t.tm_mon = 2;  // March, away from the changes of daylight saving time
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_isdst = -1;
  return static_cast<std::int32_t>(std::mktime(&t));
}

class RecorderTest : public testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "Europe/Zurich", 1);
    tzset();
    TesterSettings money;
    money.DealSize = 1;
    money.TickSize = 1;
    money.TickValue = 1;
    money.DealComm = 0;
    money.StopDistance = 5;
    money.LimitDistance = 5;
    broker = std::make_unique<CKMRBroker>(nullptr, money);
    recorder.Attach(broker.get());
  }
  void TearDown() override { recorder.Attach(nullptr); }

  // One trade line: the broker's valuation with its stop and limit closes, then `commands`.
  template <typename F>
  void Line(std::int32_t time, double bid, F&& commands) {
    recorder.BeginTradeLine(time);
    broker->OnPrice(bid, bid);
    commands();
    recorder.EndTradeLine();
  }
  void Line(std::int32_t time, double bid) {
    Line(time, bid, [] {});
  }

  std::unique_ptr<CKMRBroker> broker;
  RunRecorder recorder;
};

TEST_F(RecorderTest, RecordsEveryCloseReasonAndTheEquityEvents) {
  Line(Local(1, 10), 100, [&] { broker->OpenDeal(true, 1); });
  Line(Local(1, 11), 106);  // the limit at 105 closes deal 1: +6
  Line(Local(1, 12), 106, [&] { broker->OpenDeal(false, 2); });
  Line(Local(1, 13), 111);  // the stop at 111 closes deal 2: -5
  Line(Local(2, 10), 111, [&] { broker->OpenDeal(true, 3); });
  Line(Local(2, 11), 113, [&] { broker->CloseDeal(3); });  // +2
  Line(Local(2, 12), 113, [&] { broker->OpenDeal(true, 4); });
  Line(Local(2, 13), 112);  // deal 4 stays open at -1

  const RunRecording r = recorder.Recording();
  struct ExpectedTrade {
    std::int32_t id;
    bool isLong;
    std::int32_t open, close;
    double closePrice, profit;
    CloseReason reason;
  } trades[] = {
      {1, true, Local(1, 10), Local(1, 11), 106, 6, CloseReason::kLimit},
      {2, false, Local(1, 12), Local(1, 13), 111, -5, CloseReason::kStop},
      {3, true, Local(2, 10), Local(2, 11), 113, 2, CloseReason::kEngine},
      {4, true, Local(2, 12), Local(2, 13), 112, -1, CloseReason::kOpenAtEnd},
  };
  ASSERT_EQ(r.trades.size(), std::size(trades));
  for (std::size_t i = 0; i < std::size(trades); ++i) {
    SCOPED_TRACE(i);
    const TradeRecord& t = r.trades[i];
    EXPECT_EQ(t.dealId, trades[i].id);
    EXPECT_EQ(t.ticket, trades[i].id);
    EXPECT_EQ(t.isLong, trades[i].isLong);
    EXPECT_EQ(t.openTime, trades[i].open);
    EXPECT_EQ(t.closeTime, trades[i].close);
    EXPECT_EQ(t.closePrice, trades[i].closePrice);
    EXPECT_EQ(t.profit, trades[i].profit);
    EXPECT_EQ(t.closeReason, trades[i].reason);
    EXPECT_EQ(t.volume, 1);
  }

  struct ExpectedPoint {
    EquityEvent event;
    std::int32_t time;
    double balance, equity, drawdown, netPosition;
  } points[] = {
      {EquityEvent::kOpen, Local(1, 10), 0, 0, 0, 1},
      {EquityEvent::kClose, Local(1, 11), 6, 6, 0, 0},
      {EquityEvent::kOpen, Local(1, 12), 6, 6, 0, -1},
      {EquityEvent::kClose, Local(1, 13), 1, 1, 5, 0},
      {EquityEvent::kDayEnd, Local(1, 13), 1, 1, 5, 0},
      {EquityEvent::kOpen, Local(2, 10), 1, 1, 5, 1},
      {EquityEvent::kClose, Local(2, 11), 3, 3, 3, 0},
      {EquityEvent::kOpen, Local(2, 12), 3, 3, 3, 1},
      {EquityEvent::kDayEnd, Local(2, 13), 3, 2, 4, 1},
  };
  ASSERT_EQ(r.equity.size(), std::size(points));
  for (std::size_t i = 0; i < std::size(points); ++i) {
    SCOPED_TRACE(i);
    const EquityPoint& p = r.equity[i];
    EXPECT_EQ(p.event, points[i].event);
    EXPECT_EQ(p.time, points[i].time);
    EXPECT_EQ(p.balance, points[i].balance);
    EXPECT_EQ(p.equity, points[i].equity);
    EXPECT_EQ(p.drawdown, points[i].drawdown);
    EXPECT_EQ(p.netPosition, points[i].netPosition);
  }

  // The broker's own figures, to the bit.
  EXPECT_EQ(r.maxDrawdown, broker->MaxDrawdown());
  EXPECT_EQ(r.maxDrawdown, 5);
  EXPECT_EQ(r.peakAtMaxDrawdown, 6);
  const RunStatistics s = ComputeStatistics(r, 1000);
  EXPECT_EQ(s.netProfit, broker->ClosedProfit());
  EXPECT_EQ(s.trades, broker->LongDeals() + broker->ShortDeals());
  EXPECT_EQ(s.netProfitWithOpen, 2);
  // Below the peak of 6 (last reached at 12:00 on day 1) until the end.
  EXPECT_EQ(r.longestDrawdownSeconds, Local(2, 13) - Local(1, 12));
  EXPECT_EQ(r.tradeLines, 8);
  EXPECT_EQ(r.firstTradeTime, Local(1, 10));
  EXPECT_EQ(r.lastTradeTime, Local(2, 13));

  // A new history start clears the run, as the broker's reset does.
  recorder.Clear();
  broker->ResetStatistics();
  const RunRecording cleared = recorder.Recording();
  EXPECT_TRUE(cleared.trades.empty());
  EXPECT_TRUE(cleared.equity.empty());
  EXPECT_EQ(cleared.tradeLines, 0);
}

TEST(CurveReducer, MergesPairwiseAndKeepsTheExtremes) {
  CurveReducer reducer(4);
  for (int i = 0; i < 11; ++i) {
    const double spike = i == 5 ? 100 : i == 8 ? -50 : i;
    reducer.Add(1000 + i, spike, i == 8 ? 60 : 0, 2.0 + i, i * 10.0);
  }
  const std::vector<CurveBucket> buckets = reducer.Buckets();
  // 11 lines in buckets of 4 after two merges: 4 + 4 + 3.
  ASSERT_EQ(buckets.size(), 3u);
  EXPECT_EQ(buckets[0].lines, 4);
  EXPECT_EQ(buckets[1].lines, 4);
  EXPECT_EQ(buckets[2].lines, 3);
  EXPECT_EQ(buckets[0].firstTime, 1000);
  EXPECT_EQ(buckets[0].lastTime, 1003);
  EXPECT_EQ(buckets[1].firstTime, 1004);
  EXPECT_EQ(buckets[2].lastTime, 1010);
  EXPECT_EQ(buckets[1].equity.max, 100);  // the spike at line 5
  EXPECT_EQ(buckets[2].equity.min, -50);  // and the dip at line 8
  EXPECT_EQ(buckets[2].maxDrawdown, 60);
  EXPECT_EQ(buckets[0].equity.first, 0);
  EXPECT_EQ(buckets[2].equity.last, 10);
  EXPECT_EQ(buckets[2].price.last, 12);
  EXPECT_EQ(buckets[1].balance, 70);
}

}  // namespace
}  // namespace kmr
