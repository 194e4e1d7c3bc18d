// kmr-sweep end to end: each row against kmr-replay run alone, workers and order, kill and
// resume, shards and merge, failed runs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

#include "tester/sweep/sweep_axes.h"
#include "tests/sweep/sweep_programs.h"

extern char** environ;

namespace kmr::test {
namespace {

class SweepTest : public FolderTest {
 protected:
  void SetUp() override {
    FolderTest::SetUp();
    prices_ = SampleHead(dir_, 40000);
  }
  // The sweep's arguments: the sample's settings and two axes of `values` each.
  std::vector<std::string> Grid(const std::string& out) const {
    std::vector<std::string> args = SampleSettings("1997-06-01 00:00:00");
    for (const std::string& arg :
         {std::string("--vary"), std::string("cad-profit=50:150:50"), std::string("--vary"),
          std::string("trend=h200,t100,x50,25,12|h300,t150,x75,25,12"), std::string("--out"), out,
          prices_})
      args.push_back(arg);
    return args;
  }
  std::string prices_;
};

std::string Member(const JsonValue& object, const std::string& name) {
  const JsonValue* value = object.Find(name);
  return value != nullptr ? value->text : "<missing " + name + ">";
}

TEST_F(SweepTest, EachRowIsWhatKmrReplayGivesForItsCommand) {
  const Outcome sweep = Sweep(Grid(Path("grid.jsonl")));
  ASSERT_EQ(sweep.status, 0) << sweep.err;
  const std::vector<JsonValue> rows = Rows(Path("grid.jsonl"));
  ASSERT_EQ(rows.size(), 6u);
  bool someTrade = false;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const JsonValue& row = rows[i];
    EXPECT_EQ(Member(row, "index"), std::to_string(i));
    ASSERT_EQ(row.Find("error"), nullptr) << Member(row, "error");
    const Outcome alone = ReplayCommand(Member(row, "command"));
    ASSERT_EQ(alone.status, 0) << alone.err;
    const std::optional<JsonValue> replay = ParseJson(alone.out);
    ASSERT_TRUE(replay.has_value()) << alone.out;
    for (const char* figure :
         {"lines", "historyLines", "tradeLines", "floatingProfit", "closedProfit", "maxDrawdown",
          "maxPosition", "longDeals", "shortDeals", "openDeals", "accountSize"})
      EXPECT_EQ(Member(row, figure), Member(*replay, figure)) << "run " << i << " " << figure;
    const JsonValue* statistics = row.Find("statistics");
    const JsonValue* expected = replay->Find("statistics");
    ASSERT_NE(statistics, nullptr);
    ASSERT_NE(expected, nullptr);
    ASSERT_EQ(statistics->members.size(), expected->members.size());
    for (std::size_t m = 0; m < expected->members.size(); ++m) {
      EXPECT_EQ(statistics->members[m].name, expected->members[m].name);
      EXPECT_EQ(statistics->members[m].value.text, expected->members[m].value.text)
          << "run " << i << " " << expected->members[m].name;
    }
    someTrade = someTrade || Member(*statistics, "trades") != "0";
  }
  EXPECT_TRUE(someTrade) << "a grid that never trades checks little";
  // The axes' values are in the rows and in the command.
  EXPECT_EQ(Member(*rows[5].Find("params"), "cad-profit"), "150");
  EXPECT_EQ(Member(*rows[5].Find("params"), "trend"), "h300,t150,x75,25,12");
  EXPECT_TRUE(Has(Member(rows[5], "command"), "--cad-profit 150 "));
  // The CSV holds a header and a row per run, in run order.
  const std::vector<std::string> csv = Lines(Slurp(Path("grid.csv")));
  ASSERT_EQ(csv.size(), 7u);
  EXPECT_EQ(csv[0].rfind("index,cad-profit,trend,error,file,lines,", 0), 0u) << csv[0];
  EXPECT_EQ(csv[6].rfind("5,150,\"h300,t150,x75,25,12\",,", 0), 0u) << csv[6];
  // The table of the best runs names the ranked statistic and the best run's command.
  EXPECT_TRUE(Has(sweep.out, "netProfit")) << sweep.out;
  EXPECT_TRUE(Has(sweep.out, "best: ")) << sweep.out;
}

TEST_F(SweepTest, OneWorkerAndTwoWriteTheSameFiles) {
  std::vector<std::string> one = Grid(Path("one.jsonl")), two = Grid(Path("two.jsonl"));
  one.insert(one.begin(), {"-j", "1"});
  two.insert(two.begin(), {"-j2"});
  ASSERT_EQ(Sweep(one).status, 0);
  ASSERT_EQ(Sweep(two).status, 0);
  EXPECT_EQ(Slurp(Path("one.jsonl")), Slurp(Path("two.jsonl")));
  EXPECT_EQ(Slurp(Path("one.csv")), Slurp(Path("two.csv")));
  // Without the price cache every run reads the file itself, to the same bytes.
  std::vector<std::string> plain = Grid(Path("plain.jsonl"));
  plain.insert(plain.begin(), "--no-price-cache");
  ASSERT_EQ(Sweep(plain).status, 0);
  EXPECT_EQ(Slurp(Path("one.jsonl")), Slurp(Path("plain.jsonl")));
}

TEST_F(SweepTest, AKilledSweepStartedAgainEndsAsAnUninterruptedOne) {
  std::vector<std::string> args = Grid(Path("whole.jsonl"));
  args.insert(args.end() - 1, {"--vary", "smoothing1=1,2,3"});  // 18 runs
  ASSERT_EQ(Sweep(args).status, 0);
  const std::string whole = Slurp(Path("whole.jsonl"));
  ASSERT_EQ(Lines(whole).size(), 18u);

  std::vector<std::string> killed = args;
  *std::find(killed.begin(), killed.end(), Path("whole.jsonl")) = Path("killed.jsonl");
  killed.insert(killed.begin(), {"-j", "2"});
  const pid_t pid = StartSweep(killed);
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(KillOnceItHolds(pid, Path("killed.jsonl"), 3)) << "the sweep ended before it was killed";
  const std::string part = Slurp(Path("killed.jsonl"));
  ASSERT_LT(Lines(part).size(), 18u);
  // A kill in the middle of a write leaves a torn line: the next start drops it.
  std::ofstream(Path("killed.jsonl"), std::ios::app) << Lines(whole)[17].substr(0, 40);

  const Outcome again = Sweep(killed);
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_TRUE(Has(again.err, "torn")) << again.err;
  EXPECT_TRUE(Has(again.err, "resuming")) << again.err;
  EXPECT_EQ(Slurp(Path("killed.jsonl")), whole);
  EXPECT_EQ(Slurp(Path("killed.csv")), Slurp(Path("whole.csv")));
  // Once more: nothing left to run, nothing added.
  ASSERT_EQ(Sweep(killed).status, 0);
  EXPECT_EQ(Slurp(Path("killed.jsonl")), whole);
}

TEST_F(SweepTest, ShardsMergedAreTheWholeSweep) {
  ASSERT_EQ(Sweep(Grid(Path("whole.jsonl"))).status, 0);
  std::vector<std::string> shards;
  for (int k = 0; k < 4; ++k) {  // more shards than some hold runs: 6 runs over 4
    std::vector<std::string> args = Grid(Path("shard" + std::to_string(k) + ".jsonl"));
    args.insert(args.begin(), {"--shard", std::to_string(k) + "/4"});
    const Outcome shard = Sweep(args);
    ASSERT_EQ(shard.status, 0) << shard.err;
    for (const JsonValue& row : Rows(Path("shard" + std::to_string(k) + ".jsonl")))
      EXPECT_EQ(std::stoi(Member(row, "index")) % 4, k);
    shards.push_back(Path("shard" + std::to_string(k) + ".jsonl"));
  }
  std::vector<std::string> merge = {"--merge", "--out", Path("merged.jsonl")};
  merge.insert(merge.end(), shards.rbegin(), shards.rend());
  const Outcome merged = RunProgram(KMR_SWEEP_PROGRAM, {merge, {}, {}});
  ASSERT_EQ(merged.status, 0) << merged.err;
  EXPECT_EQ(Slurp(Path("merged.jsonl")), Slurp(Path("whole.jsonl")));
  EXPECT_EQ(Slurp(Path("merged.csv")), Slurp(Path("whole.csv")));

  // A shard short, a shard twice, a shard of another sweep: refused, naming the problem.
  std::vector<std::string> other = Grid(Path("other.jsonl"));
  other.insert(other.end() - 1, {"--vary", "smoothing1=2,3"});
  other.insert(other.begin(), {"--shard", "0/4"});
  ASSERT_EQ(Sweep(other).status, 0);
  const struct {
    std::vector<std::string> files;
    std::string error;
  } kBad[] = {
      {{shards[0], shards[1], shards[3]}, "1 of 6 runs missing: 2"},
      {{shards[0], shards[1], shards[2], shards[3], shards[1]}, "is in"},
      {{shards[0], Path("other.jsonl")}, "another sweep"},
      {{Path("absent.jsonl")}, "absent.jsonl: cannot open"},
  };
  for (const auto& bad : kBad) {
    std::vector<std::string> args = {"--merge", "--out", Path("bad.jsonl")};
    args.insert(args.end(), bad.files.begin(), bad.files.end());
    const Outcome refused = RunProgram(KMR_SWEEP_PROGRAM, {args, {}, {}});
    EXPECT_EQ(refused.status, 2) << bad.error;
    EXPECT_TRUE(Has(refused.err, bad.error)) << refused.err;
    EXPECT_EQ(Lines(refused.err).size(), 1u) << refused.err;
  }
}

TEST_F(SweepTest, AFailedRunIsARowWithItsErrorAndTheSweepGoesOn) {
  std::vector<std::string> args = SampleSettings("1997-06-01 00:00:00");
  for (const char* arg :
       {"--vary", "history-till=1997-06-01 00:00:00,1996-13-01 00:00:00", "--out"})
    args.push_back(arg);
  args.push_back(Path("failed.jsonl"));
  args.push_back(prices_);
  const Outcome sweep = Sweep(args);
  ASSERT_EQ(sweep.status, 0) << sweep.err;
  const std::vector<JsonValue> rows = Rows(Path("failed.jsonl"));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].Find("error"), nullptr);
  ASSERT_NE(rows[1].Find("error"), nullptr);
  EXPECT_TRUE(Has(Member(rows[1], "error"), "--history-till")) << Member(rows[1], "error");
  EXPECT_EQ(rows[1].Find("statistics"), nullptr);
  EXPECT_TRUE(Has(sweep.err, "2 runs (1 failed)")) << sweep.err;

  // A results file of another sweep is never mixed into this one.
  std::vector<std::string> other = Grid(Path("failed.jsonl"));
  const Outcome refused = Sweep(other);
  EXPECT_EQ(refused.status, 2);
  EXPECT_TRUE(Has(refused.err, "another sweep")) << refused.err;
}

TEST_F(SweepTest, BadArgumentsGiveOneLineNamingThem) {
  const struct {
    std::vector<std::string> args;
    std::string error;
  } kCases[] = {
      {{"--vary", "smoothing1"}, "--vary: expected NAME=VALUES, got 'smoothing1'"},
      {{"--vary", "smoothing1="}, "--vary smoothing1: no values"},
      {{"--vary", "smoothing1=10,,20"}, "--vary smoothing1: an empty value"},
      {{"--vary", "smoothing1=10,10"}, "--vary smoothing1: '10' is given twice"},
      {{"--vary", "smoothing1=ten"}, "--vary smoothing1: --smoothing1: not a 32-bit integer"},
      {{"--vary", "smoothing1=1:2:0.5"}, "--vary smoothing1: --smoothing1: not a 32-bit integer"},
      {{"--vary", "cad-profit=200:50:25"}, "--vary cad-profit: range '200:50:25': the end is"},
      {{"--vary", "cad-profit=50:200:0"}, "--vary cad-profit: range '50:200:0': the step"},
      {{"--vary", "cad-profit=0:1e9:0.001"}, "--vary cad-profit: --cad-profit: not a number"},
      {{"--vary", "cad-profit=0:1000000:0.001"}, "more than 1000000 values"},
      {{"--vary", "smoothing1=1:1000:1", "--vary", "smoothing2=1:1001:1"},
       "--vary: the grid holds more than 1000000 runs"},
      {{"--vary", "smoothing1=1\n2"}, "--smoothing1: not a 32-bit integer: '1\\n2'"},
      {{"--vary", "bogus=1,2"}, "--vary bogus: unknown option --bogus"},
      {{"--vary", "--smoothing1=1"}, "--vary --smoothing1: name the option without its dashes"},
      {{"--vary", "json=1"}, "--vary json: not an option to vary"},
      {{"--vary", "trend=h200|1,2,3,4,5,6,7,8,9"}, "--vary trend: --trend: more than 8 charts"},
      {{"--vary", "quotes=spread,ask"}, "--vary quotes: --quotes: spread or bid-ask"},
      {{"--vary", "smoothing1=1,2", "--samples", "3"}, "--samples: 3 is more than the grid's 2"},
      {{"--samples", "0"}, "--samples: expected a whole number of at least 1"},
      {{"--seed", "5"}, "--seed needs --samples"},
      {{"--rank-by", "luck"}, "--rank-by: no statistic named 'luck'"},
      {{"--shard", "3/3"}, "--shard: K must be below N"},
      {{"--shard", "1"}, "--shard: expected K/N"},
      {{"-j", "0"}, "-j: expected a whole number of at least 1"},
      {{"--spread", "wide"}, "--spread: not a number"},
      {{"--save"}, "--save is not for sweeps"},
      {{"--log-file", "j.log"}, "--log-file is not for sweeps"},
      {{"--vary", "log-file=a.log,b.log"}, "--vary log-file: not an option to vary"},
  };
  for (const auto& c : kCases) {
    std::vector<std::string> args = c.args;
    args.push_back("--history-till=1997-06-01 00:00:00");
    args.push_back(prices_);
    const Outcome bad = Sweep(args);
    EXPECT_EQ(bad.status, 2) << c.error;
    const std::vector<std::string> lines = Lines(bad.err);
    ASSERT_FALSE(lines.empty()) << c.error;
    EXPECT_TRUE(Has(lines[0], c.error)) << lines[0];
    EXPECT_EQ(lines.size(), 2u) << bad.err;  // the error, then where to find help
  }
  const Outcome noFile = Sweep({"--vary", "smoothing1=1,2"});
  EXPECT_EQ(noFile.status, 2);
  EXPECT_TRUE(Has(noFile.err, "no price file given")) << noFile.err;
  const Outcome missing = Sweep({Path("missing.txt")});
  EXPECT_EQ(missing.status, 2);
  EXPECT_TRUE(Has(missing.err, "missing.txt: cannot open")) << missing.err;
  const Outcome library =
      RunProgram(KMR_SWEEP_PROGRAM, {{"--library", Path("none.so"), "--history-till",
                                      "1997-06-01 00:00:00", "--out", Path("x.jsonl"), prices_},
                                     {},
                                     {}});
  EXPECT_EQ(library.status, 3) << library.err;
}

TEST_F(SweepTest, ASampleIsTheSamePointsWhateverTheWorkers) {
  std::vector<std::string> args = Grid(Path("sample1.jsonl"));
  args.insert(args.end() - 1, {"--vary", "smoothing1=1,2,3,4", "--samples", "5", "--seed", "7"});
  std::vector<std::string> again = args;
  *std::find(again.begin(), again.end(), Path("sample1.jsonl")) = Path("sample2.jsonl");
  again.insert(again.begin(), {"-j", "1"});
  ASSERT_EQ(Sweep(args).status, 0);
  ASSERT_EQ(Sweep(again).status, 0);
  EXPECT_EQ(Slurp(Path("sample1.jsonl")), Slurp(Path("sample2.jsonl")));
  const std::vector<JsonValue> rows = Rows(Path("sample1.jsonl"));
  ASSERT_EQ(rows.size(), 5u);
  // The points of the grid (3 x 2 x 4) the draw names, first axis slowest.
  const std::vector<std::uint64_t> points = SamplePositions(24, 5, 7);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const JsonValue& params = *rows[i].Find("params");
    EXPECT_EQ(Member(params, "smoothing1"), std::to_string(points[i] % 4 + 1));
    EXPECT_EQ(Member(params, "cad-profit"), std::to_string((points[i] / 8 + 1) * 50));
  }
}

// stderr on a terminal: the progress line; elsewhere none.
TEST_F(SweepTest, TheProgressLineIsShownOnATerminalOnly) {
  const Outcome piped = Sweep(Grid(Path("piped.jsonl")));
  ASSERT_EQ(piped.status, 0);
  EXPECT_FALSE(Has(piped.err, "runs/s")) << piped.err;

  std::vector<std::string> all = {KMR_SWEEP_PROGRAM, "--defaults", "--library", KMR_ENGINE_LIBRARY};
  for (const std::string& arg : Grid(Path("tty.jsonl"))) all.push_back(arg);
  int terminal = -1;
  const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::vector<char*> argv;
    for (std::string& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (const int null = open("/dev/null", O_WRONLY); null >= 0) dup2(null, 1);
    execv(argv[0], argv.data());
    _exit(127);
  }
  std::string shown;
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(terminal, buffer, sizeof buffer);
    if (got <= 0) break;  // EIO once the program is gone
    shown.append(buffer, static_cast<std::size_t>(got));
  }
  close(terminal);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(Has(shown, "6/6 runs, ")) << shown;
  EXPECT_TRUE(Has(shown, " runs/s, ETA ")) << shown;
  EXPECT_TRUE(Has(shown, "\r\033[K")) << shown;  // the line is cleared at the end
}

}  // namespace
}  // namespace kmr::test
