// The journal's file failing under the engine: the disk full, the folder removed while the file
// is open, a path that would block. Trading must go on exactly as without a log file.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/command.h"
#include "tests/conformance/engine_api.h"

namespace {

struct Prices {
  std::vector<std::int32_t> times;
  std::vector<double> values;
};

const Prices& SamplePrices() {
  static const Prices prices = [] {
    Prices p;
    std::FILE* f = std::fopen(KMR_SAMPLE_FILE, "r");
    char line[128];
    int y, mo, d, h, mi, s;
    double price;
    while (f && p.values.size() < 6000 && std::fgets(line, sizeof line, f))
      if (std::sscanf(line, "%4d%2d%2d %2d%2d%2d;%lf", &y, &mo, &d, &h, &mi, &s, &price) == 7) {
        p.times.push_back(820454400 + 1800 * static_cast<std::int32_t>(p.values.size()));
        p.values.push_back(price);
      }
    if (f) std::fclose(f);
    return p;
  }();
  return prices;
}

int OpenDescriptors() {
  int n = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir)) ++n;
    closedir(dir);
  }
  return n;
}

class LogFileFaults : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    ASSERT_TRUE(BindEngine(KMR_LIBRARY_PATH, api_, error)) << error;
  }

  void SetUp() override {
    char name[] = "/tmp/kmr-faults-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    folder_ = name;
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  // One session as a host runs it: history, then live ticks with external signals, every
  // command carried out and reported. `midway` runs halfway through the live part. Returns
  // every command word the engine gave.
  std::vector<std::uint64_t> Session(const std::string& logPath,
                                     const std::function<void()>& midway = {}) {
    const Prices& p = SamplePrices();
    EXPECT_EQ(InitializeDefaults(api_, 0.0001), 1);
    api_.SetKMRPriceParameters(0.2, 1.0, 1.5, 5.0, 100, 50, 0, 5.0, 2);
    if (!logPath.empty()) api_.SetLogFilePath(Utf16(logPath).c_str());
    const std::size_t history = p.values.size() / 3;
    for (std::size_t i = 0; i < history; ++i) api_.ProcessHistoryTick(p.values[i], p.times[i], 1);
    api_.ProcessHistoryDataFinished();

    std::vector<std::uint64_t> words;
    std::uint32_t ticket = 70001;
    const std::size_t half = history + (p.values.size() - history) / 2;
    for (std::size_t i = history; i < p.values.size(); ++i) {
      if (i == half && midway) midway();
      const double bid = p.values[i];
      api_.ProcessNewTick(bid, bid + 0.0002, p.times[i], 1);
      if (i % 97 == 0) api_.TriggerExternalSignal(0, 1 + static_cast<int>(i % 3), i % 2);
      while (const long long word = api_.GetNextCommand()) {
        const auto w = static_cast<std::uint64_t>(word);
        words.push_back(w);
        const std::uint32_t operand = kmr::CommandOperandOf(w);
        if (kmr::CommandCodeOf(w) == kmr::kCommandClose) {
          api_.OpenDealClosed(operand, 0.2, bid);
        } else {
          api_.OrderSetTicket(operand, ticket);
          api_.OrderFilled(ticket++, 0.2, bid);
        }
      }
    }
    return words;
  }

  static EngineApi api_;
  std::string folder_;
};

EngineApi LogFileFaults::api_;

TEST_F(LogFileFaults, FullDiskLosesTheJournalButNotTheTrading) {
  const std::vector<std::uint64_t> baseline = Session("");
  ASSERT_FALSE(baseline.empty()) << "the session trades at all";
  EXPECT_EQ(Session("/dev/full \\3"), baseline);
}

TEST_F(LogFileFaults, FolderRemovedWhileOpenLeavesTradingAlone) {
  const std::vector<std::uint64_t> baseline = Session("");
  const int descriptors = OpenDescriptors();
  const std::string log = folder_ + "/journal.log";
  const std::vector<std::uint64_t> words = Session(log + " \\3", [&] {
    std::filesystem::remove_all(folder_);
    // The next path lies in the removed folder: no file, and the old one is closed.
    api_.SetLogFilePath(Utf16(log + " \\3").c_str());
    EXPECT_FALSE(std::filesystem::exists(log));
  });
  EXPECT_EQ(words, baseline);
  InitializeDefaults(api_, 0.0001);
  EXPECT_EQ(OpenDescriptors(), descriptors) << "a log file descriptor was left open";
}

TEST_F(LogFileFaults, JournalStillWrittenUpToTheFault) {
  const std::string log = folder_ + "/journal.log";
  Session(log + " \\3");
  struct stat info {};
  ASSERT_EQ(stat(log.c_str(), &info), 0);
  EXPECT_GT(info.st_size, 0);
}

// A FIFO nobody reads from would block an ordinary open for ever, with the engine lock held.
TEST_F(LogFileFaults, PathThatWouldBlockIsRefused) {
  const std::string fifo = folder_ + "/pipe";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  InitializeDefaults(api_, 0.0001);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    alarm(5);
    api_.SetLogFilePath(Utf16(fifo + " \\3").c_str());
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "SetLogFilePath blocked on a FIFO without a reader";
  EXPECT_EQ(Session(""), Session(fifo));
}

}  // namespace
