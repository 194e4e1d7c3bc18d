// The tester when its files fail: a settings folder that cannot be made, a settings value that
// cannot be replaced, a price file that ends in the middle of a line.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tester/settings/settings_store.h"
#include "tester/source/source_reader.h"

namespace fs = std::filesystem;

namespace {

class TesterFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/kmr-tester-faults-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    folder_ = name;
    const char* old = getenv("XDG_CONFIG_HOME");
    if (old) oldConfig_ = old;
    hadConfig_ = old != nullptr;
  }
  void TearDown() override {
    if (hadConfig_)
      setenv("XDG_CONFIG_HOME", oldConfig_.c_str(), 1);
    else
      unsetenv("XDG_CONFIG_HOME");
    fs::remove_all(folder_);
  }
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(folder_ + "/" + name, std::ios::binary) << text;
  }
  // Runs kmr-replay with the settings folder under `config`; returns its exit status and
  // standard error.
  int Replay(const std::string& config, const std::string& arguments, std::string& errors) {
    const std::string errorFile = folder_ + "/stderr.txt";
    const std::string command = "XDG_CONFIG_HOME='" + config + "' KMR_NO_WINDOW=1 '" +
                                KMR_REPLAY_PROGRAM + "' --library '" + KMR_ENGINE_LIBRARY + "' " +
                                arguments + " >/dev/null 2>'" + errorFile + "'";
    const int status = std::system(command.c_str());
    std::ifstream in(errorFile);
    errors.assign(std::istreambuf_iterator<char>(in), {});
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string folder_;
  std::string oldConfig_;
  bool hadConfig_ = false;
};

// As root no permission stops mkdir, but a regular file where a folder must go does.
TEST_F(TesterFaults, SettingsFolderThatCannotBeMadeSavesNothing) {
  Write("not-a-folder", "x");
  const std::string config = folder_ + "/not-a-folder";
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  kmr::SettingsRecord record;
  record.settings.DealSize = 3.5;
  const kmr::SaveResult result = kmr::SaveSettings(record);
  EXPECT_FALSE(result.saved);
  EXPECT_FALSE(result.error.empty());
  EXPECT_TRUE(fs::is_regular_file(config));

  kmr::SettingsRecord loaded;
  const kmr::LoadResult load = kmr::LoadSettings(loaded);
  EXPECT_FALSE(load.loaded);
  EXPECT_EQ(load.layout, -1);
  EXPECT_EQ(loaded.settings.DealSize, 0.2);

  std::string errors;
  EXPECT_EQ(Replay(config, "--defaults --save --show-settings", errors), 2);
  EXPECT_NE(errors.find("settings not saved"), std::string::npos) << errors;
}

// The value cannot be replaced (a folder stands in its place): the old one stays, no temporary
// file is left behind.
TEST_F(TesterFaults, SettingsValueThatCannotBeReplacedLeavesNoDebris) {
  setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
  const std::string store = kmr::SettingsFolder();
  fs::create_directories(store + "/" + kmr::SettingsValueName(6) + "/inside");
  const kmr::SaveResult result = kmr::SaveSettings(kmr::SettingsRecord{});
  EXPECT_FALSE(result.saved);
  EXPECT_FALSE(result.error.empty());
  int entries = 0;
  for (const auto& entry : fs::directory_iterator(store)) {
    ++entries;
    EXPECT_EQ(entry.path().filename(), kmr::SettingsValueName(6));
  }
  EXPECT_EQ(entries, 1);
}

TEST_F(TesterFaults, PriceFileEndingMidLine) {
  const std::string good = "20230823 123456;1.08543\n20230823 123457;1.08544\n";
  struct Case {
    const char* tail;
    bool lastReads;  // the cut line still is a valid price line
    double lastPrice;
  } cases[] = {
      {"20230823 123458;1.085", true, 1.085},  // the price cut short
      {"20230823 123458", true, 20230823},     // no ';' at all: the line is the price
      {"20230823 1234", false, 0},             // the time cut short
      {"2023", false, 0},
      {"20230823 123458;1.08545\r", true, 1.08545},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tail);
    Write("prices.txt", good + c.tail);
    kmr::SourceReader reader;
    ASSERT_TRUE(reader.Open(folder_ + "/prices.txt"));
    kmr::SourceLine line;
    ASSERT_TRUE(reader.ReadLine(line));
    ASSERT_TRUE(reader.ReadLine(line));
    if (c.lastReads) {
      ASSERT_TRUE(reader.ReadLine(line));
      EXPECT_DOUBLE_EQ(line.price, c.lastPrice);
    } else {
      EXPECT_THROW(reader.ReadLine(line), kmr::SourceError);
      EXPECT_EQ(reader.LineNumber(), 3);
    }
    EXPECT_FALSE(reader.ReadLine(line));
    EXPECT_FALSE(reader.IsOpen());
  }
}

TEST_F(TesterFaults, ReplayOfPriceFileEndingMidLine) {
  std::ifstream in(KMR_TEST_DATA "/replay_small.txt");
  std::string text(std::istreambuf_iterator<char>(in), {});
  ASSERT_GT(text.size(), 100u);
  text.resize(text.size() - 10);  // in the middle of the last line's time
  Write("cut.txt", text);
  std::string errors;
  const std::string arguments =
      "--defaults --history-till \"1996-04-03 00:00:00\" '" + folder_ + "/cut.txt'";
  EXPECT_EQ(Replay(folder_, arguments, errors), 2);
  EXPECT_NE(errors.find("cut.txt:300:"), std::string::npos) << errors;
}

}  // namespace
