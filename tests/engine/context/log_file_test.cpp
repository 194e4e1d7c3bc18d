#include "engine/context/log_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "engine/context/configuration.h"
#include "engine/context/engine_context.h"
#include "engine/context/engine_window.h"
#include "engine/context/message_list.h"
#include "engine/trading/trading_state.h"

namespace kmr {
namespace {

namespace fs = std::filesystem;

std::u16string Utf16(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

class LogFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kmr-log-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    context_.reset(CreateEngineContext(nullptr));
  }
  void TearDown() override {
    CloseEngineLogFile(*context_);
    fs::remove_all(dir_);
  }
  void Open(const std::string& path) { SetLogFilePath(*context_, Utf16(path).c_str()); }

  fs::path dir_;
  std::unique_ptr<EngineContext> context_;
};

TEST_F(LogFileTest, LevelSuffixIsCutOffAndGivesTheLevel) {
  const struct {
    std::string path;      // relative to the folder
    std::string fileName;  // what gets created
    int level;
  } cases[] = {
      {"a.txt \\1", "a.txt", 1},   {"engine.log \\2", "engine.log", 2},
      {"x.log\\1", "x.log\\1", 0},  // no blank before the backslash
      {"b.log", "b.log", 0},       {"c.log \\9", "c.log", 9},
      {"d.log \\a", "d.log", 49},  {"e.log \\ ", "e.log", 240},  // (0x20 - 0x30) mod 256
  };
  for (const auto& k : cases) {
    Open((dir_ / k.path).string());
    EXPECT_EQ(context_->logOpen, 1) << k.path;
    EXPECT_EQ(context_->logLevel, k.level) << k.path;
    EXPECT_TRUE(fs::exists(dir_ / k.fileName)) << k.path;
  }
}

TEST_F(LogFileTest, SixCharacterPathKeepsItsSuffix) {
  const fs::path before = fs::current_path();
  fs::current_path(dir_);
  Open("abc \\1");
  fs::current_path(before);
  EXPECT_EQ(context_->logLevel, 0);
  EXPECT_TRUE(fs::exists(dir_ / "abc \\1"));
}

TEST_F(LogFileTest, OpeningEmptiesTheFileAndEnablesTheJournal) {
  ConfigureEngine(*context_, {0.25, 20, 8, 2.0, {1600}, 0, {40}});
  EXPECT_EQ(context_->trading->journalEnabled, 0);
  { std::ofstream(dir_ / "old.log") << "old contents"; }
  Open((dir_ / "old.log \\3").string());
  EXPECT_EQ(fs::file_size(dir_ / "old.log"), 0u);
  EXPECT_EQ(context_->trading->journalEnabled, 1);
  EXPECT_EQ(context_->logLevel, 3);

  // InitializeKMR closes it and switches the journal off.
  ConfigureEngine(*context_, {0.25, 20, 8, 2.0, {1600}, 0, {40}});
  EXPECT_EQ(context_->logOpen, 0);
  EXPECT_EQ(context_->logFile, -1);
  EXPECT_EQ(context_->trading->journalEnabled, 0);
}

TEST_F(LogFileTest, MissingFolderLeavesTheEngineWithoutAFile) {
  Open((dir_ / "no-such-folder" / "x.log \\2").string());
  EXPECT_EQ(context_->logOpen, 0);
  EXPECT_EQ(context_->logFile, -1);
  EXPECT_EQ(context_->logLevel, 2);
  EXPECT_EQ(context_->trading->journalEnabled, 0);
}

TEST_F(LogFileTest, SecondCallClosesTheFirstFile) {
  Open((dir_ / "first.log").string());
  const int first = context_->logFile;
  Open((dir_ / "second.log").string());
  EXPECT_NE(fcntl(context_->logFile, F_GETFD), -1);
  // The first descriptor is closed (or reused for the second file).
  EXPECT_TRUE(first == context_->logFile || fcntl(first, F_GETFD) == -1);
}

TEST_F(LogFileTest, NonAsciiPathsBecomeUtf8) {
  const std::u16string path = Utf16(dir_.string() + "/") + u"Z\u00fcrich-\u20ac.log";
  SetLogFilePath(*context_, path.c_str());
  EXPECT_TRUE(fs::exists(dir_ / "Z\xC3\xBCrich-\xE2\x82\xAC.log"));
}

TEST(MessageList, KeepsTheNewestThirtyLinesOldestFirst) {
  std::unique_ptr<EngineContext> context(CreateEngineContext(nullptr));
  ConfigureEngine(*context, {0.25, 20, 8, 2.0, {1600}, 0, {40}});
  for (int i = 1; i <= 31; ++i) {
    const std::string text = "line " + std::to_string(i);
    AddMessageLine(*context->window, text.c_str(), static_cast<int>(text.size()));
  }
  const MessageList& list = context->window->messages;
  ASSERT_EQ(list.count, 30);
  EXPECT_STREQ(list.Line(0), "line 2");
  EXPECT_STREQ(list.Line(29), "line 31");
}

TEST(MessageList, LogMessageStampsTheLocalTimeAndHonoursTheLength) {
  std::unique_ptr<EngineContext> context(CreateEngineContext(nullptr));
  LogMessage(*context, "before InitializeKMR");  // no window record: nothing happens
  ConfigureEngine(*context, {0.25, 20, 8, 2.0, {1600}, 0, {40}});
  LogMessage(*context, "CloseAllDeals: 0");
  LogMessage(*context, "abcdef", 2);  // a short length cuts the line to length + 10 characters
  const MessageList& list = context->window->messages;
  ASSERT_EQ(list.count, 2);
  const std::string line = list.Line(0);
  ASSERT_EQ(line.size(), 9 + 16u);
  EXPECT_EQ(line[2], ':');
  EXPECT_EQ(line[5], ':');
  EXPECT_EQ(line.substr(8), " CloseAllDeals: 0");
  EXPECT_EQ(std::string(list.Line(1)).substr(8), " abc");
}

TEST(FormatBounded, CutsAtSizeMinusOneAndAlwaysTerminates) {
  char buffer[6];
  EXPECT_EQ(FormatBounded(buffer, sizeof buffer, "%s", "abc"), 3);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(FormatBounded(buffer, sizeof buffer, "%s", "abcdefgh"), -1);
  EXPECT_STREQ(buffer, "abcde");
}

}  // namespace
}  // namespace kmr
