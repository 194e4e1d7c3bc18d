// Helpers of the tester tests: a private settings folder per test, files in a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kmr::test {

// Gives each test its own HOME and XDG_CONFIG_HOME, so the real settings folder logic is used
// but never the user's folder. Local times are Europe/Zurich.
class TesterTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // A file in the test's temporary folder holding `content`; returns its path.
  std::string WriteFile(const std::string& name, const std::string& content);
  std::string SettingsFile(int layout) const;  // path of KMRTesterSettings_V<layout>
  std::string dir_;
};

std::vector<std::uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
// The line time of a local date and time, by mktime.
std::int32_t LocalTime(int year, int month, int day, int hour, int minute, int second);

}  // namespace kmr::test
