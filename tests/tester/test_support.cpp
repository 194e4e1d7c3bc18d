#include "tests/tester/test_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "tester/settings/settings_store.h"

namespace kmr::test {

namespace {
// Before any test: the zone that all expected local times are written in.
const bool kZoneSet = [] {
  setenv("TZ", "Europe/Zurich", 1);
  setenv("KMR_NO_WINDOW", "1", 1);
  tzset();
  return true;
}();
}  // namespace

void TesterTest::SetUp() {
  char pattern[] = "/tmp/kmr_tester_test_XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  dir_ = pattern;
  setenv("HOME", dir_.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (dir_ + "/config").c_str(), 1);
}

void TesterTest::TearDown() {
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

std::string TesterTest::WriteFile(const std::string& name, const std::string& content) {
  const std::string path = dir_ + "/" + name;
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

std::string TesterTest::SettingsFile(int layout) const {
  return SettingsFolder() + "/" + SettingsValueName(layout);
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

std::int32_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  return static_cast<std::int32_t>(std::mktime(&t));
}

}  // namespace kmr::test
