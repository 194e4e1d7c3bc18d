// kmr-replay --report on the real sample: the files agree with the run's own figures and with
// each other, the command they carry reproduces the run, and a failed write leaves nothing.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tester/replay/replay_command.h"
#include "tester/report/whole_files.h"

namespace kmr {
namespace {

namespace fs = std::filesystem;

// The stops and limits of the second run close deals in the broker itself; the first run ends
// with deals still open.
const std::vector<std::string> kOpenAtEnd = {"--history-till",   "1998-01-01 00:00:00",
                                             "--tick-size",      "0.0001",
                                             "--trend",          "h200,t100,x50,25,12",
                                             "--consider-first", "3",
                                             "--entry",          "20,o40,t60",
                                             "--flags",          "5",
                                             "--deal-size",      "1",
                                             "--tick-value",     "10",
                                             "--commission",     "1.5",
                                             "--cad-profit",     "100",
                                             "--dca-interval",   "100",
                                             "--std-interval",   "50",
                                             "--max-net-pos",    "5",
                                             "--spread",         "0.0002"};
const std::vector<std::string> kStopLimit = {"--history-till",   "1997-06-01 00:00:00",
                                             "--tick-size",      "0.0001",
                                             "--tick-value",     "10",
                                             "--deal-size",      "1",
                                             "--commission",     "2",
                                             "--spread",         "0.0003",
                                             "--consider-first", "3",
                                             "--max-net-pos",    "3",
                                             "--cad-profit",     "200",
                                             "--stop",           "0.0150",
                                             "--limit",          "0.0100",
                                             "--flags",          "5",
                                             "--std-interval",   "50",
                                             "--trend",          "h200,t100,x50,25,12",
                                             "--entry",          "10,o30,t50"};

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::vector<std::string>> Csv(const fs::path& path) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(Slurp(path));
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> cells;
    std::size_t start = 0;
    for (std::size_t comma; (comma = line.find(',', start)) != std::string::npos; start = comma + 1)
      cells.push_back(line.substr(start, comma - start));
    cells.push_back(line.substr(start));
    rows.push_back(cells);
  }
  return rows;
}

// The text of a top-level number or string of kmr-replay's JSON ("key": value).
std::string Field(const std::string& json, const std::string& key) {
  const std::string marker = "\"" + key + "\": ";
  const std::size_t at = json.find(marker);
  if (at == std::string::npos) return {};
  const std::size_t begin = at + marker.size();
  if (json[begin] == '"') {
    std::size_t end = begin + 1;
    while (end < json.size() && json[end] != '"') end += json[end] == '\\' ? 2 : 1;
    return json.substr(begin, end + 1 - begin);
  }
  return json.substr(begin, json.find_first_of(",\n", begin) - begin);
}

struct Outcome {
  int status = -1;
  std::string out, err;
};

class ReplayReportTest : public testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/kmr_report_test_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    dir_ = folder;
  }
  void TearDown() override { fs::remove_all(dir_); }

  Outcome Shell(const std::string& command) {
    const std::string full = "XDG_CONFIG_HOME='" + dir_ + "/config' " + command + " >'" + dir_ +
                             "/out' 2>'" + dir_ + "/err' </dev/null";
    const int raw = std::system(full.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(dir_ + "/out"), Slurp(dir_ + "/err")};
  }
  Outcome Replay(std::vector<std::string> args) {
    std::string command = "'" KMR_REPLAY_PROGRAM "' --defaults";
    for (const std::string& arg : args) command += " " + ShellQuote(arg);
    return Shell(command);
  }
  std::vector<std::string> With(std::vector<std::string> args,
                                std::initializer_list<std::string> more) {
    args.insert(args.end(), more);
    args.push_back(KMR_SAMPLE_FILE);
    return args;
  }

  std::string dir_;
};

TEST_F(ReplayReportTest, FilesAgreeWithTheRunsOwnFigures) {
  for (const auto* run : {&kOpenAtEnd, &kStopLimit}) {
    const fs::path folder = dir_ + "/new/report folder";
    fs::remove_all(dir_ + "/new");
    const Outcome replay = Replay(With(*run, {"--json", "--report", folder.string()}));
    ASSERT_EQ(replay.status, 0) << replay.err;
    const std::string& json = replay.out;
    const std::string report = Slurp(folder / "report.json");
    const auto trades = Csv(folder / "trades.csv");
    const auto equity = Csv(folder / "equity.csv");
    ASSERT_GE(trades.size(), 2u);
    ASSERT_GE(equity.size(), 2u);
    EXPECT_EQ(trades[0][9], "profit");
    EXPECT_EQ(trades[0][11], "closeReason");

    // The closed trades add up to the closed profit in the order they closed, to the bit.
    double closed = 0;
    long open = 0, longs = 0, shorts = 0;
    std::set<std::string> reasons;
    for (std::size_t i = 1; i < trades.size(); ++i) {
      ASSERT_EQ(trades[i].size(), 13u);
      reasons.insert(trades[i][11]);
      ++(trades[i][3] == "long" ? longs : shorts);
      if (trades[i][11] == "open at end")
        ++open;
      else
        closed += std::strtod(trades[i][9].c_str(), nullptr);
      // ISO 8601 local times with the zone's offset.
      EXPECT_EQ(trades[i][4].size(), 25u) << trades[i][4];
    }
    EXPECT_EQ(closed, std::strtod(Field(json, "closedProfit").c_str(), nullptr));
    EXPECT_EQ(std::to_string(longs), Field(json, "longDeals"));
    EXPECT_EQ(std::to_string(shorts), Field(json, "shortDeals"));
    EXPECT_EQ(std::to_string(open), Field(json, "openDeals"));
    EXPECT_EQ(std::to_string(longs + shorts), Field(report, "trades"));
    // The drawdown is the one the main window shows.
    EXPECT_EQ(Field(report, "maxDrawdown"), Field(json, "maxDrawdown"));
    EXPECT_EQ(Field(report, "netProfit"), Field(json, "closedProfit"));
    EXPECT_EQ(Field(report, "historyLines"), Field(json, "historyLines"));
    EXPECT_EQ(Field(report, "tradeLines"), Field(json, "tradeLines"));
    EXPECT_NE(report.find("\"settings\": {\n    \"Spread\": "), std::string::npos);
    if (run == &kStopLimit) {
      EXPECT_TRUE(reasons.count("stop") && reasons.count("limit") && reasons.count("engine"));
    } else {
      EXPECT_GT(open, 0);
    }

    // Equity rows: in time order, never deeper than the maximum drawdown, one per day, and the
    // last balance is the closed profit.
    const double maxDrawdown = std::strtod(Field(json, "maxDrawdown").c_str(), nullptr);
    long days = 0;
    for (std::size_t i = 1; i < equity.size(); ++i) {
      ASSERT_EQ(equity[i].size(), 7u);
      EXPECT_LE(std::strtod(equity[i][3].c_str(), nullptr), maxDrawdown);
      if (i > 1) {
        EXPECT_LE(equity[i - 1][0], equity[i][0]);
      }
      days += equity[i][5] == "day end";
    }
    EXPECT_EQ(std::strtod(equity.back()[1].c_str(), nullptr), closed);
    EXPECT_EQ(equity.back()[5], "day end");
    EXPECT_GT(days, 800);  // the days with prices: five a week for more than three years
    EXPECT_EQ(static_cast<long>(equity.size()) - 1 - days, 2 * (longs + shorts) - open);

    // The page names the file and shows the result.
    const std::string html = Slurp(folder / "report.html");
    EXPECT_NE(html.find("USDCHF_30min_19960401-20010330.txt"), std::string::npos);
    EXPECT_EQ(html.find("nan"), std::string::npos);
    // Nothing to fetch: the only address is the name of the SVG namespace.
    std::string addresses = html;
    for (std::size_t at; (at = addresses.find("http://www.w3.org/2000/svg")) != std::string::npos;)
      addresses.erase(at, 26);
    EXPECT_EQ(addresses.find("http:"), std::string::npos);
    EXPECT_EQ(addresses.find("https:"), std::string::npos);
    EXPECT_EQ(addresses.find("src="), std::string::npos);
    // Nothing else is left in the folder.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
      names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names,
              (std::vector<std::string>{"equity.csv", "report.html", "report.json", "trades.csv"}));
  }
}

TEST_F(ReplayReportTest, TheCommandInTheReportReproducesTheRun) {
  const Outcome first =
      Replay(With(kStopLimit, {"--account", "250000", "--json", "--report", dir_ + "/report"}));
  ASSERT_EQ(first.status, 0) << first.err;
  std::string command = Field(Slurp(dir_ + "/report/report.json"), "command");
  ASSERT_GE(command.size(), 2u);
  command = command.substr(1, command.size() - 2);  // holds no character JSON escapes
  const std::size_t program = command.find("kmr-replay ");
  ASSERT_NE(program, std::string::npos) << command;
  EXPECT_EQ(command.rfind("TZ=Europe/Zurich ", 0), 0u) << command;
  command.replace(program, 10, "'" KMR_REPLAY_PROGRAM "'");

  // Stored settings of another kind change nothing: every setting is spelled out.
  const Outcome store = Replay({"--save", "--show-settings", "--spread", "0.01", "--trend", "h50",
                                "--history-till", "2000-01-01 00:00:00", "x.txt"});
  ASSERT_EQ(store.status, 0) << store.err;
  const Outcome again = Shell(command + " --json");
  ASSERT_EQ(again.status, 0) << again.err << "\n" << command;
  // The tester's own log lines carry the wall clock.
  const std::regex clock(R"(\[\d{8} \d\d:\d\d:\d\d\] )");
  EXPECT_EQ(std::regex_replace(again.out, clock, ""), std::regex_replace(first.out, clock, ""));
  EXPECT_NE(again.out.find("\"accountSize\": 250000,"), std::string::npos);
  EXPECT_EQ(again.out.find("\"sharpe\": null"), std::string::npos);
}

TEST_F(ReplayReportTest, CommandWordsSurviveTheShell) {
  for (const std::string word : {"plain", "with space", "it's", "$HOME", "a\"b", "*", "back\\slash",
                                 "--x=1,2", "", "tab\there", "new\nline", "~"}) {
    const Outcome echoed = Shell("printf %s " + ShellQuote(word));
    EXPECT_EQ(echoed.out, word) << ShellQuote(word);
  }
}

TEST_F(ReplayReportTest, AFailedWriteLeavesNothingBehind) {
  // The folder is a file.
  const std::string blocker = dir_ + "/blocker";
  std::ofstream(blocker) << "x";
  Outcome run = Replay(With(kStopLimit, {"--json", "--report", blocker}));
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find(blocker), std::string::npos) << run.err;
  EXPECT_TRUE(run.out.empty());
  EXPECT_EQ(Slurp(blocker), "x");

  // One of the files is a folder: none is written, no temporary file stays.
  const fs::path folder = dir_ + "/report";
  fs::create_directories(folder / "report.html");
  run = Replay(With(kStopLimit, {"--report", folder.string()}));
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find((folder / "report.html").string()), std::string::npos) << run.err;
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(folder)) left.push_back(entry.path().filename());
  EXPECT_EQ(left, std::vector<std::string>{"report.html"});

  // A write that fails half way (the file size limit): the files before it are not renamed
  // over their names, and the half-written one is gone.
  const fs::path limited = dir_ + "/limited";
  fs::create_directories(limited);
  std::ofstream(limited / "report.json") << "the old report";
  struct rlimit old {};
  getrlimit(RLIMIT_FSIZE, &old);
  const auto previous = signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::string error = WriteWholeFiles(
      limited.string(), {{"report.json", "new"}, {"big.csv", std::string(10000, 'x')}});
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, previous);
  EXPECT_NE(error.find((limited / "big.csv").string()), std::string::npos) << error;
  left.clear();
  for (const auto& entry : fs::directory_iterator(limited)) left.push_back(entry.path().filename());
  EXPECT_EQ(left, std::vector<std::string>{"report.json"});
  EXPECT_EQ(Slurp(limited / "report.json"), "the old report");
}

TEST_F(ReplayReportTest, HistoryOnlyRunSaysItMadeNoTrades) {
  const fs::path folder = dir_ + "/report";
  const Outcome run = Replay({"--history-till", "2037-01-01 00:00:00", "--tick-size", "0.0001",
                              "--report", folder.string(), KMR_SAMPLE_FILE});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string report = Slurp(folder / "report.json");
  EXPECT_EQ(Field(report, "trades"), "0");
  EXPECT_EQ(Field(report, "profitFactor"), "null");
  EXPECT_EQ(Field(report, "tradeFrom"), "null");
  EXPECT_EQ(Csv(folder / "trades.csv").size(), 1u);  // the header only
  EXPECT_EQ(Csv(folder / "equity.csv").size(), 1u);
  const std::string html = Slurp(folder / "report.html");
  EXPECT_NE(html.find("This run made no trades."), std::string::npos);
  EXPECT_EQ(html.find("nan"), std::string::npos);
  EXPECT_EQ(html.find("inf"), std::string::npos);
}

}  // namespace
}  // namespace kmr
