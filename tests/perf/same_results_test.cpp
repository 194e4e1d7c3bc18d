// The replay's results on real data, against golden outputs recorded with the plain code before
// the reader, the loop and the engine were made faster. Any change of a single bit in a price, a
// profit or a journal line shows here. The statistics that --json prints after those first
// figures are pinned apart, in NAME.statistics.json. KMR_RECORD_GOLDEN=1 writes every golden file
// instead; KMR_RECORD_GOLDEN=statistics writes only the statistics files.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct ReplayRun {
  const char* name;
  std::vector<std::string> args;
};

// Both trading runs trade on the sample, the second with stop and limit so that the broker closes
// deals itself; the last run is history only, with eight charts of each kind.
const ReplayRun kRuns[] = {
    {"trading", {"--history-till",   "1998-01-01 00:00:00",
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
                 "--spread",         "0.0002"}},
    {"stop_limit", {"--history-till",   "1997-06-01 00:00:00",
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
                    "--entry",          "10,o30,t50"}},
    {"history_only",
     {"--history-till", "2037-01-01 00:00:00", "--tick-size", "0.0001", "--trend",
      "h1600,h800,400,200,100,50,25,12", "--entry", "5,10,20,40,80,160,320,640"}},
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void Store(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// FNV-1a, 64 bits: enough to tell two journals apart without committing them.
std::string Fingerprint(const std::string& text) {
  std::uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : text) hash = (hash ^ c) * 1099511628211ull;
  char out[40];
  std::snprintf(out, sizeof out, "%zu %016llx\n", text.size(),
                static_cast<unsigned long long>(hash));
  return out;
}

class SameResults : public ::testing::TestWithParam<ReplayRun> {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/kmr_perf_test_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    dir_ = folder;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string dir_;
};

TEST_P(SameResults, JsonAndJournalAsRecorded) {
  const ReplayRun& run = GetParam();
  const std::string journal = dir_ + "/journal.txt";
  std::string command = "XDG_CONFIG_HOME='" + dir_ + "' '" KMR_REPLAY_PROGRAM "' --defaults --json";
  for (const std::string& arg : run.args) command += " '" + arg + "'";
  command += " --log-file '" + journal + " \\3' '" KMR_SAMPLE_FILE "' >'" + dir_ +
             "/out.json' 2>/dev/null </dev/null";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;

  // The tester's own lines carry the wall clock; the rest does not move. The file name differs
  // between checkouts.
  std::string json = Slurp(dir_ + "/out.json");
  json = std::regex_replace(json, std::regex(R"(\[\d{8} \d\d:\d\d:\d\d\] )"), "[clock] ");
  json = std::regex_replace(json, std::regex(R"("file": "[^"]*")"), R"("file": "sample")");
  const std::string journalPrint = Fingerprint(Slurp(journal));
  // The keys added after the first recording follow "log"; without them the text is as it was.
  const std::size_t added = json.find(",\n  \"accountSize\": ");
  ASSERT_NE(added, std::string::npos) << json;
  const std::string first = json.substr(0, added) + "\n}\n";
  const std::string statistics = json.substr(added);

  const std::string golden = std::string(KMR_GOLDEN_DIR) + "/" + run.name;
  const char* record = std::getenv("KMR_RECORD_GOLDEN");
  if (record && std::string(record) == "1") {
    Store(golden + ".json", first);
    Store(golden + ".journal", journalPrint);
  }
  if (record && (std::string(record) == "1" || std::string(record) == "statistics")) {
    Store(golden + ".statistics.json", statistics);
    GTEST_SKIP() << "recorded " << golden;
  }
  EXPECT_EQ(first, Slurp(golden + ".json"));
  EXPECT_EQ(statistics, Slurp(golden + ".statistics.json"));
  const std::string kept = "/tmp/kmr_perf_" + std::string(run.name) + ".journal";
  EXPECT_EQ(journalPrint, Slurp(golden + ".journal")) << "the journal is kept in " << kept;
  if (HasFailure())
    std::filesystem::copy_file(journal, kept, std::filesystem::copy_options::overwrite_existing);
}

INSTANTIATE_TEST_SUITE_P(Sample, SameResults, ::testing::ValuesIn(kRuns),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
