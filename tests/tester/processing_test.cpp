#include <filesystem>

#include "common/command.h"
#include "tester/broker/broker.h"
#include "tester/processing/display_format.h"
#include "tester/processing/processing_loop.h"
#include "tester/processing/processing_view.h"
#include "tester/settings/settings_store.h"
#include "tests/tester/fake_engine.h"
#include "tests/tester/test_support.h"

namespace kmr::test {
namespace {

class RecordingView : public ProcessingView {
 public:
  void AddLogLine(std::string_view text, bool withTickTime, std::int32_t tickTime) override {
    log.emplace_back(text);
    lines.push_back(FormatLogLine(text, withTickTime, tickTime));
  }
  void ShowStatistics(const CKMRBroker&) override { ++statistics; }
  void ShowLastTick(std::int32_t time, double price) override {
    lastTick = FormatLastTick(time, price);
  }
  void ShowMessage(std::string_view text) override { messages.emplace_back(text); }
  void ReportError(std::string_view text) override { errors.emplace_back(text); }
  void SetTimerActive(bool on) override { timer = on; }
  std::string SourceFileName() const override { return file; }
  std::string SpreadText() const override { return spread; }
  std::string StopText() const override { return stop; }
  std::string LimitText() const override { return limit; }
  LocalDateTime HistoryTillFields() const override { return till; }

  std::vector<std::string> log, lines, messages, errors;
  std::string lastTick;
  int statistics = 0;
  bool timer = false;
  std::string file, spread = "0.5", stop = "0", limit = "0";
  LocalDateTime till{2023, 8, 23, 12, 2, 0};
};

// Five lines a minute apart from 2023-08-23 12:00:00, prices 1.0, 1.25, 1.5, 1.75, 2.0.
const char* kFive =
    "20230823 120000;1.0\n20230823 120100;1.25\n20230823 120200;1.5\n"
    "20230823 120300;1.75\n20230823 120400;2.0\n";

class ProcessingTest : public TesterTest {
 protected:
  void SetUp() override {
    TesterTest::SetUp();
    api_ = FakeApi();
    view_.file = WriteFile("prices.txt", kFive);
  }
  std::int32_t Minute(int m) const { return LocalTime(2023, 8, 23, 12, m, 0); }

  TesterSettings settings_;
  EngineApi api_;
  RecordingView view_;
  CKMRBroker broker_{&api_, settings_};
  ProcessingLoop loop_{settings_, &api_, &broker_, view_};
};

TEST_F(ProcessingTest, HistoryEndsWithTheLineAtTheHistoryTillTime) {
  loop_.ProcessALL();
  EXPECT_EQ(Fake().historyTimes, (std::vector<int>{Minute(0), Minute(1), Minute(2)}));
  EXPECT_EQ(
      Fake().Calls("ProcessNewTick"),
      (std::vector<std::string>{"ProcessNewTick(1.75,2.25," + std::to_string(Minute(3)) + ",0)",
                                "ProcessNewTick(2,2.5," + std::to_string(Minute(4)) + ",0)"}));
  EXPECT_EQ(view_.log, (std::vector<std::string>{"Processing ALL Data...",
                                                 "Processing HISTORY Data finished"}));
  EXPECT_EQ(loop_.HistoryLines(), 3);
  EXPECT_EQ(loop_.TradeLines(), 2);
  EXPECT_EQ(loop_.State(), SourceState::kClosed);
  EXPECT_EQ(view_.lastTick, "20230823 12:04:00   2.0000");
  EXPECT_TRUE(view_.errors.empty());
  EXPECT_EQ(view_.lines[0].front(), '[');  // status lines carry the current time
}

TEST_F(ProcessingTest, HistoryTillBetweenLinesAndBeforeTheFirst) {
  struct Case {
    LocalDateTime till;
    long history;
  } cases[] = {{{2023, 8, 23, 12, 1, 30}, 3}, {{2023, 8, 23, 11, 0, 0}, 1}};
  for (const Case& c : cases) {
    api_ = FakeApi();
    view_.till = c.till;
    loop_.ProcessALL();
    EXPECT_EQ(loop_.HistoryLines(), c.history);
    EXPECT_EQ(loop_.TradeLines(), 5 - c.history);
  }
}

TEST_F(ProcessingTest, FileEndingInsideHistory) {
  view_.till = {2023, 8, 24, 0, 0, 0};
  loop_.ProcessHD();
  EXPECT_EQ(Fake().historyTimes.size(), 5u);
  EXPECT_EQ(Fake().Calls("ProcessHistoryDataFinished").size(), 1u);
  EXPECT_EQ(view_.log.back(), "Processing HISTORY Data finished");
  EXPECT_EQ(loop_.State(), SourceState::kClosed);
  loop_.ProcessTD();
  EXPECT_EQ(view_.messages, (std::vector<std::string>{kNoDataMessage}));
  EXPECT_TRUE(Fake().Calls("ProcessNewTick").empty());
}

TEST_F(ProcessingTest, EngineIsConfiguredFromTheSettingsAndTheEdits) {
  settings_.LogFilePath = u"/tmp/journal.log \\3";
  view_.stop = "0.25x";
  view_.limit = "abc";
  loop_.ProcessHD();
  EXPECT_EQ(settings_.Spread, 0.5);
  EXPECT_EQ(settings_.StopDistance, 0.25);
  EXPECT_EQ(settings_.LimitDistance, 0.0);
  const std::vector<std::string> expected = {
      "InitializeKMR", "SetKMRPriceParameters(0.2,1,1.5,100,100,50,0,5,0)", "SetLogFilePath"};
  EXPECT_EQ(std::vector<std::string>(Fake().calls.begin(), Fake().calls.begin() + 3), expected);
  EXPECT_EQ(Fake().initDoubles[0], 0.25);
  EXPECT_EQ(Fake().initDoubles[1], 2.0);
  const int ints[19] = {20, 8, 1600, 800, 400, 200, 100, 0, 0, 0, 5, 40, 80, 120, 0, 0, 0, 0, 0};
  for (int i = 0; i < 19; ++i) EXPECT_EQ(Fake().initArgs[i], ints[i]) << i;
  EXPECT_EQ(Fake().logPath, u"/tmp/journal.log \\3");

  // Without a log path SetLogFilePath is not called; the record was stored at the start.
  api_ = FakeApi();
  settings_.LogFilePath.clear();
  loop_.CloseSource();
  loop_.ProcessHD();
  EXPECT_TRUE(Fake().Calls("SetLogFilePath").empty());
  SettingsRecord stored;
  ASSERT_TRUE(LoadSettings(stored).loaded);
  EXPECT_EQ(stored.settings.StopDistance, 0.25);
  EXPECT_EQ(stored.HistoryTill, Minute(2));
  EXPECT_EQ(stored.SourcePath, std::u16string(view_.file.begin(), view_.file.end()));
}

TEST_F(ProcessingTest, BadHistoryTillAbandonsTheStart) {
  view_.till = {1969, 1, 1, 0, 0, 0};
  loop_.ProcessHD();
  ASSERT_EQ(view_.errors.size(), 1u);
  EXPECT_TRUE(Fake().Calls("InitializeKMR").empty());
  EXPECT_FALSE(std::filesystem::exists(SettingsFile(6)));
}

TEST_F(ProcessingTest, FailedSaveIsShownAndTheRunGoesOn) {
  setenv("XDG_CONFIG_HOME", WriteFile("blocker", "x").c_str(), 1);
  loop_.ProcessALL();
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].rfind("Settings not saved: ", 0), 0u);
  EXPECT_EQ(loop_.TradeLines(), 2);
}

TEST_F(ProcessingTest, TwelveCommandsAreCarriedOutTenThenTwo) {
  std::vector<long long> twelve;
  for (unsigned id = 1; id <= 12; ++id) twelve.push_back(EncodeCommand(kCommandOpenLong, id));
  Fake().pushOnTick[0] = twelve;
  loop_.ProcessHD();
  loop_.ProcessTD();
  EXPECT_EQ(Fake().getNextCalls, 20);  // exactly ten per drain, whatever they return
  EXPECT_EQ(broker_.LongDeals(), 12);
  const std::vector<std::string> fills = Fake().Calls("OrderFilled");
  ASSERT_EQ(fills.size(), 12u);
  EXPECT_EQ(fills[9], "OrderFilled(10,0.2,2.25)");  // first line: ask 1.75 + 0.5
  EXPECT_EQ(fills[10], "OrderFilled(11,0.2,2.5)");  // the next line's ask
  EXPECT_EQ(view_.lines[3], "20230823 12:03:00 Open new LONG deal ID=1 Price=2.2500");
  EXPECT_EQ(view_.lines[13], "20230823 12:04:00 Open new LONG deal ID=11 Price=2.5000");
}

TEST_F(ProcessingTest, CloseAndUnknownCommands) {
  Fake().pushOnTick[0] = {EncodeCommand(kCommandOpenShort, 3), 0xAA00000001LL};
  Fake().pushOnTick[1] = {EncodeCommand(kCommandClose, 3), EncodeCommand(kCommandClose, 99)};
  loop_.ProcessALL();
  EXPECT_EQ(view_.log,
            (std::vector<std::string>{"Processing ALL Data...", "Processing HISTORY Data finished",
                                      "Open new SHORT deal ID=3 Price=1.7500",
                                      "Closed deal ID=3 Price=2.5000"}));
  EXPECT_EQ(Fake().Calls("OpenDealClosed"),
            (std::vector<std::string>{"OpenDealClosed(3,0.2,2.5)"}));
  EXPECT_EQ(view_.statistics, 3 + 1);  // one per open or close command, one at the end
}

TEST_F(ProcessingTest, StepStopsAfterTheFirstDrainedLine) {
  view_.till = {2023, 8, 23, 12, 0, 0};
  Fake().pushOnTick[1] = {EncodeCommand(kCommandOpenLong, 1)};
  Fake().pushOnTick[2] = {EncodeCommand(kCommandOpenLong, 2)};
  loop_.ProcessHD();
  loop_.ProcessStep();
  EXPECT_EQ(loop_.TradeLines(), 2);  // the line of the first drain ends the step
  EXPECT_EQ(broker_.LongDeals(), 1);
  loop_.ProcessStep();
  EXPECT_EQ(loop_.TradeLines(), 3);
  EXPECT_TRUE(loop_.StepFlag());
  loop_.ProcessTD();  // clears the step flag and runs to the end
  EXPECT_FALSE(loop_.StepFlag());
  EXPECT_EQ(loop_.TradeLines(), 4);
  EXPECT_EQ(loop_.State(), SourceState::kClosed);
}

TEST_F(ProcessingTest, SecondProcessHDOnlyLogsAndProcessAllInTradeSkipsHistory) {
  loop_.ProcessHD();
  loop_.ProcessHD();
  EXPECT_EQ(Fake().Calls("InitializeKMR").size(), 1u);
  EXPECT_EQ(view_.log.back(), "Processing HISTORY Data...");
  loop_.ProcessALL();
  EXPECT_EQ(Fake().Calls("InitializeKMR").size(), 1u);
  EXPECT_EQ(loop_.TradeLines(), 2);
}

TEST_F(ProcessingTest, InvalidLineAbandonsTheRunAndTheNextStartGoesOn) {
  view_.file = WriteFile("bad.txt",
                         "20230823 120000;1.0\n20231323 120100;1.25\n20230823 120200;1.5\n"
                         "20230823 120300;1.75\n");
  loop_.ProcessALL();
  ASSERT_EQ(view_.errors.size(), 1u);
  EXPECT_EQ(view_.errors[0].rfind(view_.file + ":2: ", 0), 0u);
  EXPECT_EQ(loop_.State(), SourceState::kHistory);
  EXPECT_TRUE(Fake().Calls("ProcessNewTick").empty());
  loop_.ProcessALL();  // re-initialises and goes on with line 3
  EXPECT_EQ(Fake().historyTimes, (std::vector<int>{Minute(0), Minute(2)}));
  EXPECT_EQ(loop_.TradeLines(), 1);
}

TEST_F(ProcessingTest, MissingFileShowsTheMessage) {
  view_.file = dir_ + "/none.txt";
  loop_.ProcessALL();
  EXPECT_EQ(view_.messages, (std::vector<std::string>{kSourceCannotOpenMessage, kNoDataMessage}));
  EXPECT_TRUE(Fake().Calls("InitializeKMR").empty());
}

TEST_F(ProcessingTest, CheckFileEndsAReplayInItsTradePart) {
  loop_.ProcessHD();
  EXPECT_EQ(loop_.State(), SourceState::kTrade);
  const std::optional<std::string> summary = loop_.CheckFile();
  ASSERT_TRUE(summary);
  EXPECT_EQ(summary->substr(0, 9), "5 lines\r\n");
  EXPECT_EQ(loop_.State(), SourceState::kClosed);
  loop_.ProcessTD();
  EXPECT_EQ(view_.messages.back(), kNoDataMessage);
}

std::uint64_t fakeNow = 0;
std::uint64_t FakeNow() {
  return fakeNow;
}

TEST_F(ProcessingTest, TimedRunGoesFromHistoryIntoTradeOneLinePerEvent) {
  settings_.ProcessingDelay = 5;
  loop_.SetClock(&FakeNow);
  fakeNow = 1000;
  Fake().pushOnTick[0] = {EncodeCommand(kCommandOpenLong, 1)};
  loop_.ProcessHD();
  EXPECT_TRUE(view_.timer);
  EXPECT_TRUE(loop_.Running());
  EXPECT_TRUE(Fake().historyTimes.empty());
  loop_.OnTimer(1004);  // too early
  EXPECT_TRUE(Fake().historyTimes.empty());
  std::uint64_t now = 1005;
  for (int event = 0; event < 5; ++event, now += 5) loop_.OnTimer(now);
  EXPECT_EQ(Fake().historyTimes.size(), 3u);
  EXPECT_EQ(Fake().Calls("ProcessNewTick").size(), 2u);
  EXPECT_EQ(broker_.LongDeals(), 1);
  EXPECT_TRUE(view_.timer);
  loop_.OnTimer(now);
  EXPECT_FALSE(view_.timer);
  EXPECT_FALSE(loop_.Running());
  EXPECT_EQ(view_.log,
            (std::vector<std::string>{
                "Processing HISTORY Data...", "Processing HISTORY Data finished",
                "Open new LONG deal ID=1 Price=2.2500", "Processing TRADING Data finished"}));
}

// History bars go to the engine after it is configured and before the price file's first line,
// which stays a history line, untimed and timed alike.
TEST_F(ProcessingTest, HistoryBarsComeBeforeThePriceFile) {
  const std::string bars =
      WriteFile("bars.txt", "20230823 115800;1;1.5;0.5;1.25\n20230823 115900;1.25;1.5;1;1\n");
  loop_.SetHistoryBars(bars);
  loop_.SetClock(&FakeNow);
  fakeNow = 0;
  for (int delay : {0, 1}) {
    SCOPED_TRACE(delay);
    api_ = FakeApi();
    settings_.ProcessingDelay = delay;
    loop_.ProcessHD();
    for (std::uint64_t now = 1; delay && now <= 10; ++now) loop_.OnTimer(now);
    std::vector<std::string> history;
    for (const std::string& call : Fake().calls)
      if (call.rfind("ProcessHistory", 0) == 0 || call.rfind("InitializeKMR", 0) == 0)
        history.push_back(call.substr(0, call.find('(')) + (call.rfind("ProcessHistoryM1", 0) == 0
                                                                ? call.substr(call.find('('))
                                                                : std::string()));
    const std::string first = "ProcessHistoryM1(1,1.5,0.5,1.25," +
                              std::to_string(LocalTime(2023, 8, 23, 11, 58, 0)) + ",0)";
    const std::string second = "ProcessHistoryM1(1.25,1.5,1,1," +
                               std::to_string(LocalTime(2023, 8, 23, 11, 59, 0)) + ",0)";
    EXPECT_EQ(history,
              (std::vector<std::string>{"InitializeKMR", first, second, "ProcessHistoryTick",
                                        "ProcessHistoryTick", "ProcessHistoryTick",
                                        "ProcessHistoryDataFinished"}));
    EXPECT_EQ(Fake().historyTimes, (std::vector<int>{Minute(0), Minute(1), Minute(2)}));
    EXPECT_EQ(loop_.HistoryBars(), 2);
    loop_.Stop();
  }
  // A bar that is not before the first line stops the start; the next one reads the price file
  // from its first line.
  settings_.ProcessingDelay = 0;
  loop_.SetHistoryBars(WriteFile("late.txt", "20230823 120000;1;1;1;1\n"));
  loop_.ProcessHD();
  ASSERT_EQ(view_.errors.size(), 1u);
  EXPECT_EQ(
      view_.errors[0].rfind(dir_ + "/late.txt:1: bar at 2023-08-23 12:00:00 is not before", 0), 0u)
      << view_.errors[0];
  loop_.SetHistoryBars("");
  api_ = FakeApi();
  loop_.ProcessHD();
  ASSERT_FALSE(Fake().historyTimes.empty());
  EXPECT_EQ(Fake().historyTimes.front(), Minute(0));
}

TEST_F(ProcessingTest, TimedRunEndingInHistoryNeverFinishesHistory) {
  settings_.ProcessingDelay = 1;
  loop_.SetClock(&FakeNow);
  fakeNow = 0;
  view_.till = {2023, 8, 24, 0, 0, 0};
  loop_.ProcessALL();  // timed: no trade start
  for (std::uint64_t now = 1; now <= 10; ++now) loop_.OnTimer(now);
  EXPECT_EQ(Fake().historyTimes.size(), 5u);
  EXPECT_TRUE(Fake().Calls("ProcessHistoryDataFinished").empty());
  EXPECT_EQ(view_.log.back(), "Processing TRADING Data finished");
  EXPECT_TRUE(view_.messages.empty());
}

// A window on the file: the lines before history-from never reach the engine, and the trade
// part ends with the first line at or after trade-till, as at the end of the file; untimed and
// timed alike, and a trade-till on a line's time or between two lines.
TEST_F(ProcessingTest, WindowSkipsEarlyLinesAndEndsTheTradeAtTradeTill) {
  loop_.SetClock(&FakeNow);
  fakeNow = 0;
  loop_.SetHistoryFrom(Minute(1));
  for (const std::int64_t tradeTill : {Minute(3) + 0LL, Minute(2) + 30LL}) {
    for (int delay : {0, 1}) {
      SCOPED_TRACE(std::to_string(delay) + " " + std::to_string(tradeTill));
      api_ = FakeApi();
      view_ = RecordingView();
      view_.file = dir_ + "/prices.txt";
      settings_.ProcessingDelay = delay;
      loop_.SetTradeTill(tradeTill);
      loop_.ProcessALL();
      for (std::uint64_t now = 1; delay && now <= 20; ++now) loop_.OnTimer(now);
      EXPECT_EQ(Fake().historyTimes, (std::vector<int>{Minute(1), Minute(2)}));
      EXPECT_EQ(Fake().Calls("ProcessNewTick"),
                (std::vector<std::string>{"ProcessNewTick(1.75,2.25," + std::to_string(Minute(3)) +
                                          ",0)"}));
      EXPECT_EQ(loop_.HistoryLines(), 2);
      EXPECT_EQ(loop_.TradeLines(), 1);
      EXPECT_EQ(loop_.State(), SourceState::kClosed);
      EXPECT_EQ(loop_.LastTickTime(), Minute(3));
      EXPECT_FALSE(view_.timer);
      EXPECT_TRUE(view_.errors.empty());
      if (delay) {
        EXPECT_EQ(view_.log.back(), "Processing TRADING Data finished");
      }
      loop_.ProcessTD();  // nothing left, as after the last line of the file
      EXPECT_EQ(view_.messages, (std::vector<std::string>{kNoDataMessage}));
    }
  }
}

TEST_F(ProcessingTest, StopClosesTheSourceButKeepsTheTimer) {
  settings_.ProcessingDelay = 1;
  loop_.SetClock(&FakeNow);
  fakeNow = 0;
  loop_.ProcessHD();
  loop_.OnTimer(1);
  loop_.Stop();
  EXPECT_EQ(loop_.State(), SourceState::kClosed);
  EXPECT_TRUE(loop_.Running());
  EXPECT_TRUE(view_.timer);
  loop_.OnTimer(2);
  EXPECT_EQ(Fake().historyTimes.size(), 1u);
  EXPECT_EQ(view_.lastTick, "20230823 12:00:00   1.0000");
}

TEST_F(ProcessingTest, WithoutBrokerOrEngineNothingIsCarriedOut) {
  RecordingView view;
  view.file = view_.file;
  ProcessingLoop bare(settings_, nullptr, nullptr, view);
  bare.ProcessALL();
  EXPECT_EQ(bare.HistoryLines() + bare.TradeLines(), 5);
  EXPECT_EQ(view.statistics, 0);
}

}  // namespace
}  // namespace kmr::test
