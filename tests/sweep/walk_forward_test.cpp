// kmr-sweep --walk-forward end to end on the sample's head: the windows of the real report
// follow one another over the file, each out-of-sample row is what kmr-replay gives for its
// command, and the number of workers changes no byte of the report.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tester/report/report_format.h"
#include "tests/sweep/json_members.h"
#include "tests/sweep/sweep_programs.h"

namespace kmr::test {
namespace {

// The files of a walk-forward run with --out DIR/wf.jsonl.
const char* const kReportFiles[] = {"wf.jsonl",
                                    "wf.csv",
                                    "wf.oos.jsonl",
                                    "wf.oos.csv",
                                    "wf.walk-forward.json",
                                    "wf.windows.csv",
                                    "wf.oos-equity.csv",
                                    "wf.oos-trades.csv",
                                    "wf.walk-forward.html"};

constexpr std::int64_t kDay = 86400;

class WalkForwardTest : public FolderTest {
 protected:
  void SetUp() override {
    FolderTest::SetUp();
    prices_ = SampleHead(dir_, 16000);  // 1996-04-01 to 1997-07-11: six windows
  }
  // A walk-forward of a 2 x 2 grid into `folder`/wf.jsonl, made with `jobs` workers.
  Outcome WalkForward(const std::string& folder, const std::string& jobs) const {
    std::filesystem::create_directories(folder);
    std::vector<std::string> args = {"-j", jobs};
    for (std::string& setting : SampleTradingSettings()) args.push_back(std::move(setting));
    for (const char* arg : {"--walk-forward", "--train", "120d", "--test", "60d", "--warmup", "30d",
                            "--vary", "cad-profit=50,150", "--vary", "smoothing1=1,2", "--out"})
      args.push_back(arg);
    args.push_back(folder + "/wf.jsonl");
    args.push_back(prices_);
    return Sweep(args);
  }
  std::string prices_;
};

// Seconds since 1970 of the report's "1996-07-30T00:00:00+02:00"; -1 when it is not one.
std::int64_t IsoSeconds(const std::string& text) {
  std::tm fields{};
  char sign = 0;
  int offsetHours = 0, offsetMinutes = 0;
  if (std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d%c%d:%d", &fields.tm_year, &fields.tm_mon,
                  &fields.tm_mday, &fields.tm_hour, &fields.tm_min, &fields.tm_sec, &sign,
                  &offsetHours, &offsetMinutes) != 9)
    return -1;
  fields.tm_year -= 1900;
  fields.tm_mon -= 1;
  const std::int64_t offset = (offsetHours * 3600 + offsetMinutes * 60) * (sign == '-' ? -1 : 1);
  return static_cast<std::int64_t>(timegm(&fields)) - offset;
}

// The time of a price line "19960401 003000;..." in the tests' zone.
std::int64_t LineSeconds(const std::string& line) {
  std::tm fields{};
  std::sscanf(line.c_str(), "%4d%2d%2d %2d%2d%2d", &fields.tm_year, &fields.tm_mon, &fields.tm_mday,
              &fields.tm_hour, &fields.tm_min, &fields.tm_sec);
  fields.tm_year -= 1900;
  fields.tm_mon -= 1;
  fields.tm_isdst = -1;
  return static_cast<std::int64_t>(std::mktime(&fields));
}

// "1996-07-30 00:00:00" of the report's "1996-07-30T00:00:00+02:00".
std::string Local(const std::string& iso) {
  std::string text = iso.substr(0, 19);
  if (text.size() == 19) text[10] = ' ';
  return text;
}

// "--history-from 'A' --history-till 'B' --trade-till 'C'" as a command spells the window.
std::string WindowOptions(const std::string& from, const std::string& till,
                          const std::string& tradeTill) {
  return "--history-from '" + Local(from) + "' --history-till '" + Local(till) +
         "' --trade-till '" + Local(tradeTill) + "' ";
}

TEST_F(WalkForwardTest, TheTestPeriodsFollowOneAnotherOverTheFile) {
  const Outcome run = WalkForward(Path("wf"), "2");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::optional<JsonValue> report = ParseJson(Slurp(Path("wf/wf.walk-forward.json")));
  ASSERT_TRUE(report.has_value());
  const std::vector<JsonValue>& windows = Object(*report, "windows").items;
  ASSERT_GE(windows.size(), 4u);
  const std::vector<std::string> lines = Lines(Slurp(prices_));
  const std::vector<JsonValue> inSample = Rows(Path("wf/wf.jsonl"));
  const std::vector<JsonValue> outOfSample = Rows(Path("wf/wf.oos.jsonl"));
  ASSERT_EQ(inSample.size(), 4 * windows.size());
  ASSERT_EQ(outOfSample.size(), windows.size());

  long outOfSampleLines = 0;
  for (std::size_t i = 0; i < windows.size(); ++i) {
    SCOPED_TRACE("window " + std::to_string(i));
    const JsonValue& w = windows[i];
    EXPECT_EQ(Member(w, "window"), std::to_string(i));
    const std::int64_t trainStart = IsoSeconds(Member(w, "trainStart"));
    const std::int64_t warmupEnd = IsoSeconds(Member(w, "warmupEnd"));
    const std::int64_t testStart = IsoSeconds(Member(w, "testStart"));
    const std::int64_t testEnd = IsoSeconds(Member(w, "testEnd"));
    // Training, then the test period; each period as long as asked (a day of 23 or 25 hours
    // where daylight saving time changes), the last test period cut at the file's last line.
    EXPECT_LT(trainStart, warmupEnd);
    EXPECT_LT(warmupEnd, testStart);
    EXPECT_LT(testStart, testEnd);
    EXPECT_LE(std::llabs(warmupEnd - trainStart - 30 * kDay), 3600);
    EXPECT_LE(std::llabs(testStart - trainStart - 120 * kDay), 3600);
    if (i + 1 < windows.size()) {
      EXPECT_LE(std::llabs(testEnd - testStart - 60 * kDay), 3600);
      // The next test period starts where this one ends: no gap, no overlap.
      EXPECT_EQ(Member(windows[i + 1], "testStart"), Member(w, "testEnd"));
      EXPECT_LE(
          std::llabs(IsoSeconds(Member(windows[i + 1], "trainStart")) - trainStart - 60 * kDay),
          3600);
    } else {
      EXPECT_EQ(testEnd, LineSeconds(lines.back()));
    }
    if (i == 0) {
      EXPECT_EQ(trainStart, LineSeconds(lines.front()));
    }

    // Every in-sample run of the window trades its training period after the warm-up ...
    const JsonValue& chosen = Object(w, "inSample");
    const JsonValue* best = nullptr;
    for (std::size_t r = 4 * i; r < 4 * i + 4; ++r) {
      const JsonValue& row = inSample[r];
      EXPECT_EQ(Member(Object(row, "params"), "window"), std::to_string(i));
      EXPECT_TRUE(Has(
          Member(row, "command"),
          WindowOptions(Member(w, "trainStart"), Member(w, "warmupEnd"), Member(w, "testStart"))))
          << Member(row, "command");
      const double profit = std::stod(Member(Object(row, "statistics"), "netProfit"));
      if (best == nullptr || profit > std::stod(Member(Object(*best, "statistics"), "netProfit")))
        best = &row;
    }
    // ... the best of them by netProfit is the choice ...
    ASSERT_NE(best, nullptr);
    EXPECT_EQ(Member(chosen, "command"), Member(*best, "command"));
    for (const JsonMember& param : Object(w, "params").members)
      EXPECT_EQ(param.value.text, Member(Object(*best, "params"), param.name)) << param.name;
    // ... and the out-of-sample run of the choice takes the training period as history and
    // trades the test period.
    const JsonValue& row = outOfSample[i];
    EXPECT_TRUE(
        Has(Member(row, "command"),
            WindowOptions(Member(w, "trainStart"), Member(w, "testStart"), Member(w, "testEnd"))))
        << Member(row, "command");
    EXPECT_EQ(Member(Object(w, "outOfSample"), "command"), Member(row, "command"));
    outOfSampleLines += std::stol(Member(row, "tradeLines"));
  }

  // The stitched curve is the test periods, each once.
  const JsonValue& stitched = Object(*report, "outOfSample");
  EXPECT_EQ(Member(stitched, "tradeLines"), std::to_string(outOfSampleLines));
  EXPECT_GE(IsoSeconds(Member(stitched, "tradeFrom")),
            IsoSeconds(Member(windows.front(), "testStart")));
  EXPECT_LE(IsoSeconds(Member(stitched, "tradeTo")), IsoSeconds(Member(windows.back(), "testEnd")));
  // The windows' CSV: a header and a row per window, with the same periods.
  const std::vector<std::string> csv = Lines(Slurp(Path("wf/wf.windows.csv")));
  ASSERT_EQ(csv.size(), windows.size() + 1);
  for (std::size_t i = 0; i < windows.size(); ++i)
    EXPECT_EQ(csv[i + 1].rfind(std::to_string(i) + "," + Member(windows[i], "trainStart") + "," +
                                   Member(windows[i], "warmupEnd") + "," +
                                   Member(windows[i], "testStart") + "," +
                                   Member(windows[i], "testEnd") + ",",
                               0),
              0u)
        << csv[i + 1];
}

TEST_F(WalkForwardTest, EachOutOfSampleRowIsWhatKmrReplayGivesForItsCommand) {
  const Outcome run = WalkForward(Path("wf"), "2");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::optional<JsonValue> report = ParseJson(Slurp(Path("wf/wf.walk-forward.json")));
  ASSERT_TRUE(report.has_value());
  const std::vector<JsonValue>& windows = Object(*report, "windows").items;
  const std::vector<JsonValue> rows = Rows(Path("wf/wf.oos.jsonl"));
  ASSERT_EQ(rows.size(), windows.size());
  long trades = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE("window " + std::to_string(i));
    const JsonValue& row = rows[i];
    ASSERT_EQ(row.Find("error"), nullptr) << Member(row, "error");
    const Outcome alone = ReplayCommand(Member(row, "command"));
    ASSERT_EQ(alone.status, 0) << alone.err;
    const std::optional<JsonValue> replay = ParseJson(alone.out);
    ASSERT_TRUE(replay.has_value()) << alone.out;
    for (const char* figure :
         {"lines", "historyLines", "tradeLines", "floatingProfit", "closedProfit", "maxDrawdown",
          "maxPosition", "longDeals", "shortDeals", "openDeals", "accountSize"})
      EXPECT_EQ(Member(row, figure), Member(*replay, figure)) << figure;
    // The row's statistics and the report's copy of them, each number to its last digit.
    const JsonValue& expected = Object(*replay, "statistics");
    for (const JsonValue* statistics :
         {&Object(row, "statistics"), &Object(Object(windows[i], "outOfSample"), "statistics")}) {
      ASSERT_EQ(statistics->members.size(), expected.members.size());
      for (std::size_t m = 0; m < expected.members.size(); ++m) {
        EXPECT_EQ(statistics->members[m].name, expected.members[m].name);
        EXPECT_EQ(statistics->members[m].value.text, expected.members[m].value.text)
            << expected.members[m].name;
      }
    }
    trades += std::stol(Member(expected, "trades"));
  }
  EXPECT_GT(trades, 0) << "test periods that never trade check little";
}

// The fields of a CSV line, quotes taken off.
std::vector<std::string> CsvFields(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
      fields.back() += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

// The words of a line of the printed table.
std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// Out-of-sample over in-sample annual return, only over an in-sample gain; elsewhere empty in
// the JSON, the CSV and the printed table.
TEST_F(WalkForwardTest, EfficiencyIsGivenOnlyOverAnInSampleGain) {
  const Outcome run = WalkForward(Path("wf"), "2");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::optional<JsonValue> report = ParseJson(Slurp(Path("wf/wf.walk-forward.json")));
  ASSERT_TRUE(report.has_value());
  const std::vector<JsonValue>& windows = Object(*report, "windows").items;
  const std::vector<std::string> csv = Lines(Slurp(Path("wf/wf.windows.csv")));
  const std::vector<std::string> table = Lines(run.out);
  ASSERT_EQ(csv.size(), windows.size() + 1);
  ASSERT_EQ(table.size(), windows.size() + 2) << run.out;  // a header and the whole at the end
  const std::vector<std::string> header = CsvFields(csv[0]);
  const std::size_t column = std::find(header.begin(), header.end(), "efficiency") - header.begin();
  ASSERT_LT(column, header.size());
  int gains = 0, losses = 0;
  double inSampleSum = 0;
  for (std::size_t i = 0; i < windows.size(); ++i) {
    SCOPED_TRACE("window " + std::to_string(i));
    const JsonValue& w = windows[i];
    const JsonValue& inSample = Object(Object(Object(w, "inSample"), "statistics"), "annualReturn");
    const JsonValue& outOfSample =
        Object(Object(Object(w, "outOfSample"), "statistics"), "annualReturn");
    const JsonValue& efficiency = Object(w, "efficiency");
    const std::string cell = CsvFields(csv[i + 1]).at(column);
    const std::vector<std::string> words = Words(table[i + 1]);
    ASSERT_GT(words.size(), 7u) << table[i + 1];
    ASSERT_EQ(inSample.kind, JsonValue::Kind::kNumber);
    ASSERT_EQ(outOfSample.kind, JsonValue::Kind::kNumber);
    const double in = std::stod(inSample.text), out = std::stod(outOfSample.text);
    inSampleSum += in;
    if (in > 0) {
      ++gains;
      ASSERT_EQ(efficiency.kind, JsonValue::Kind::kNumber);
      EXPECT_EQ(std::stod(efficiency.text), out / in);
      EXPECT_EQ(cell, efficiency.text);
      EXPECT_NEAR(std::stod(words[7]), out / in, 0.0005) << table[i + 1];
    } else {
      losses += in < 0;
      EXPECT_EQ(efficiency.kind, JsonValue::Kind::kNull) << efficiency.text;
      EXPECT_EQ(cell, "");
      EXPECT_EQ(words[7], "-") << table[i + 1];
    }
  }
  // The fixture has both, and a loss out of sample over a loss in sample among the latter.
  EXPECT_GT(gains, 0);
  EXPECT_GT(losses, 0);
  // Over all windows: the stitched return over the mean in-sample one, a loss here.
  const double mean = inSampleSum / static_cast<double>(windows.size());
  EXPECT_EQ(std::stod(Member(*report, "meanInSampleAnnualReturn")), mean);
  ASSERT_LT(mean, 0);
  EXPECT_EQ(Object(*report, "efficiency").kind, JsonValue::Kind::kNull);
  EXPECT_TRUE(Has(table.back(), "efficiency -")) << table.back();
}

// The table at the end: a line per window with the report's figures as the page shows them.
TEST_F(WalkForwardTest, ThePrintedTableShowsEachWindowAsTheReport) {
  const Outcome run = WalkForward(Path("wf"), "2");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::optional<JsonValue> report = ParseJson(Slurp(Path("wf/wf.walk-forward.json")));
  ASSERT_TRUE(report.has_value());
  const std::vector<JsonValue>& windows = Object(*report, "windows").items;
  const std::vector<std::string> table = Lines(run.out);
  ASSERT_EQ(table.size(), windows.size() + 2) << run.out;
  EXPECT_EQ(Words(table[0])[5], "IS");
  EXPECT_EQ(Words(table[0])[6], "netProfit");
  for (std::size_t i = 0; i < windows.size(); ++i) {
    const JsonValue& w = windows[i];
    const std::vector<std::string> words = Words(table[i + 1]);
    ASSERT_EQ(words.size(), 10u) << table[i + 1];
    const double inSample =
        std::stod(Member(Object(Object(w, "inSample"), "statistics"), "netProfit"));
    const double outOfSample =
        std::stod(Member(Object(Object(w, "outOfSample"), "statistics"), "netProfitWithOpen"));
    std::string chosen;
    for (const JsonMember& param : Object(w, "params").members)
      chosen += (chosen.empty() ? "" : " ") + param.name + "=" + param.value.text;
    EXPECT_EQ(words[0], std::to_string(i));
    EXPECT_EQ(words[1] + " " + words[2], Local(Member(w, "testStart")));
    EXPECT_EQ(words[3] + " " + words[4], Local(Member(w, "testEnd")));
    EXPECT_EQ(words[5], DecimalText(inSample)) << table[i + 1];
    EXPECT_EQ(words[6], DecimalText(outOfSample)) << table[i + 1];
    EXPECT_EQ(words[8] + " " + words[9], chosen);
  }
}

TEST_F(WalkForwardTest, BadOptionsGiveOneLineNamingThemAndWriteNothing) {
  const struct {
    std::vector<std::string> args;
    std::string error;
  } kCases[] = {
      {{"--train", "120d"}, "--walk-forward needs --train D and --test D"},
      {{"--train", "120d", "--test", "2mo"}, "--test: '2mo': minutes and months are not taken"},
      {{"--train", "120d", "--test", "60d", "--step", "59d"}, "--step: 59d is shorter than"},
      {{"--train", "30d", "--test", "60d"}, "--warmup: 60d is not shorter than --train 30d"},
      {{"--train", "800d", "--test", "60d"}, "--train: 800d leaves no test period"},
      {{"--train", "120d", "--test", "60d", "--shard", "0/2"}, "--shard is not for"},
      {{"--train", "120d", "--test", "60d", "--trade-till", "1997-01-01 00:00:00"},
       "--trade-till are set per window"},
      {{"--train", "120d", "--test", "60d", "--vary", "history-from=1996-05-01 00:00:00"},
       "--vary history-from: set per window"},
      // 460-odd windows of a day, 3000 runs each.
      {{"--train", "2d", "--test", "1d", "--warmup", "1d", "--vary", "smoothing1=1:3000:1"},
       "windows of 3000 runs each make more than 1000000 in-sample runs"},
  };
  std::filesystem::create_directories(Path("bad"));
  for (const auto& c : kCases) {
    std::vector<std::string> args = SampleTradingSettings();
    args.push_back("--walk-forward");
    args.insert(args.end(), c.args.begin(), c.args.end());
    for (const std::string& arg : {std::string("--out"), Path("bad/wf.jsonl"), prices_})
      args.push_back(arg);
    const Outcome bad = Sweep(args);
    EXPECT_EQ(bad.status, 2) << c.error;
    const std::vector<std::string> lines = Lines(bad.err);
    ASSERT_EQ(lines.size(), 1u) << bad.err;
    EXPECT_EQ(lines[0].rfind("kmr-sweep: ", 0), 0u) << lines[0];
    EXPECT_TRUE(Has(lines[0], c.error)) << lines[0];
    EXPECT_EQ(bad.out, "");
  }
  // --merge takes only shard files; with --walk-forward it would quietly merge them.
  const Outcome merge =
      RunProgram(KMR_SWEEP_PROGRAM, {{"--merge", "--walk-forward", Path("bad/wf.jsonl")}, {}, {}});
  EXPECT_EQ(merge.status, 2);
  EXPECT_EQ(merge.err, "kmr-sweep: --merge is not for --walk-forward\n");
  EXPECT_TRUE(std::filesystem::is_empty(Path("bad")));
}

TEST_F(WalkForwardTest, AKilledWalkForwardStartedAgainWritesTheSameReport) {
  const Outcome whole = WalkForward(Path("whole"), "1");
  ASSERT_EQ(whole.status, 0) << whole.err;
  const std::vector<std::string> wholeRows = Lines(Slurp(Path("whole/wf.jsonl")));

  std::filesystem::create_directories(Path("killed"));
  std::vector<std::string> args = {"-j", "2"};
  for (std::string& setting : SampleTradingSettings()) args.push_back(std::move(setting));
  for (const char* arg : {"--walk-forward", "--train", "120d", "--test", "60d", "--warmup", "30d",
                          "--vary", "cad-profit=50,150", "--vary", "smoothing1=1,2", "--out"})
    args.push_back(arg);
  args.push_back(Path("killed/wf.jsonl"));
  args.push_back(prices_);
  const pid_t pid = StartSweep(args);
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(KillOnceItHolds(pid, Path("killed/wf.jsonl"), 3)) << "the walk-forward ended before it was killed";
  ASSERT_LT(Lines(Slurp(Path("killed/wf.jsonl"))).size(), wholeRows.size());
  EXPECT_FALSE(std::filesystem::exists(Path("killed/wf.walk-forward.json")));
  // A kill in the middle of a write leaves a torn line: the next start drops it.
  std::ofstream(Path("killed/wf.jsonl"), std::ios::app) << wholeRows.back().substr(0, 40);

  const Outcome again = Sweep(args);
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_TRUE(Has(again.err, "resuming")) << again.err;
  for (const char* file : kReportFiles)
    EXPECT_EQ(Slurp(Path("killed/") + file), Slurp(Path("whole/") + file)) << file;
  EXPECT_EQ(again.out, whole.out);

  // The same file under another plan is refused, not mixed in.
  std::vector<std::string> other = args;
  *std::find(other.begin(), other.end(), "60d") = "30d";
  const Outcome refused = Sweep(other);
  EXPECT_EQ(refused.status, 2);
  EXPECT_TRUE(Has(refused.err, "another sweep")) << refused.err;
  EXPECT_EQ(Slurp(Path("killed/wf.jsonl")), Slurp(Path("whole/wf.jsonl")));
}

TEST_F(WalkForwardTest, OneWorkerAndTwoWriteTheSameReport) {
  const Outcome one = WalkForward(Path("one"), "1");
  const Outcome two = WalkForward(Path("two"), "2");
  ASSERT_EQ(one.status, 0) << one.err;
  ASSERT_EQ(two.status, 0) << two.err;
  for (const char* file : kReportFiles) {
    const std::string bytes = Slurp(Path("one/") + file);
    EXPECT_FALSE(bytes.empty()) << file;
    EXPECT_EQ(bytes, Slurp(Path("two/") + file)) << file;
  }
  EXPECT_EQ(one.out, two.out);
}

}  // namespace
}  // namespace kmr::test
