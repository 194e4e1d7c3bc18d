// kmr-sweep's walk-forward options and the window plan they give over a time range of the
// fuzzer's choice: any command line is taken or refused with one line of the option error
// type (SweepOptionError for the command line, WalkForwardError for durations and plans);
// a plan taken is a row of windows in time order whose test periods never overlap, follow one
// another when the step is the test period, and lie within the range.
//
// Input: the range's first and last time (two 32-bit numbers, little-endian), then the
// arguments separated by NUL bytes; "--walk-forward" before them and a price file after.
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tester/sweep/sweep_options.h"
#include "tester/sweep/walk_forward_options.h"
#include "tester/sweep/walk_forward_plan.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

std::string g_prices;

bool OneLine(const char* message) {
  return *message != '\0' && std::strchr(message, '\n') == nullptr;
}

// The duration in its own kind of unit: hours, or local calendar days (a week is 7 of them).
std::pair<char, std::int64_t> Amount(const kmr::Duration& d) {
  if (d.unit == 'h') return {'h', d.count};
  return {'d', d.unit == 'w' ? d.count * 7 : d.count};
}

// Any one text as a duration: taken and written back as it reads, or refused naming the option.
void CheckDuration(const std::string& text) {
  try {
    const kmr::Duration d = kmr::ParseDuration("--test", text);
    FUZZ_CHECK(d.count >= 1 && (d.unit == 'h' || d.unit == 'd' || d.unit == 'w'));
    FUZZ_CHECK(Amount(d).second <= 36525 * (d.unit == 'h' ? 24 : 1));
    const kmr::Duration again = kmr::ParseDuration("--test", kmr::DurationText(d));
    FUZZ_CHECK(again.count == d.count && again.unit == d.unit);
  } catch (const kmr::WalkForwardError& error) {
    FUZZ_CHECK(OneLine(error.what()));
    FUZZ_CHECK(std::strncmp(error.what(), "--test: ", 8) == 0);
  }
}

void CheckPlan(const kmr::SweepOptions& options, std::int32_t first, std::int32_t last) {
  kmr::WalkForwardPeriods wanted;
  std::vector<kmr::WalkForwardWindow> windows;
  try {
    wanted = kmr::ParseWalkForwardOptions(options);
    windows = kmr::PlanWalkForward(first, last, wanted);
    kmr::CheckWalkForwardRuns(options, windows.size());
  } catch (const kmr::WalkForwardError& error) {
    FUZZ_CHECK(OneLine(error.what()));
    return;
  }
  FUZZ_CHECK(!windows.empty() && windows.size() <= 10000);
  const bool stepIsTest = Amount(wanted.step) == Amount(wanted.test);
  for (std::size_t i = 0; i < windows.size(); ++i) {
    const kmr::WalkForwardWindow& w = windows[i];
    FUZZ_CHECK(w.index == i);
    // Within the range, training before testing.
    FUZZ_CHECK(first <= w.trainStart && w.trainStart < w.warmupEnd && w.warmupEnd < w.trainEnd);
    FUZZ_CHECK(w.trainEnd == w.testStart && w.testStart < w.testEnd && w.testEnd <= last);
    FUZZ_CHECK(w.testEnd <= kmr::AddDuration(w.testStart, wanted.test));
    if (i == 0 || wanted.anchored) FUZZ_CHECK(w.trainStart == first);
    if (i == 0) continue;
    const kmr::WalkForwardWindow& before = windows[i - 1];
    FUZZ_CHECK(before.trainEnd < w.trainEnd);
    FUZZ_CHECK(wanted.anchored || before.trainStart < w.trainStart);
    // The test periods never overlap; with the step the test period, no gap either.
    FUZZ_CHECK(before.testEnd <= w.testStart);
    if (stepIsTest) FUZZ_CHECK(before.testEnd == w.testStart);
  }
  // With the step the test period, they run on to the range's end.
  if (stepIsTest) FUZZ_CHECK(windows.back().testEnd == last);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("TZ", "Europe/Zurich", 1);
  tzset();
  const int file = memfd_create("kmr-fuzz-walk-forward", 0);
  FUZZ_CHECK(file >= 0);
  const char line[] = "19960401 000000;1.1930\n";
  FUZZ_CHECK(write(file, line, sizeof line - 1) == static_cast<ssize_t>(sizeof line - 1));
  g_prices = "/proc/self/fd/" + std::to_string(file);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 8 || size > 512) return 0;
  std::int32_t first = 0, last = 0;
  std::memcpy(&first, data, 4);
  std::memcpy(&last, data + 4, 4);
  const std::string text(reinterpret_cast<const char*>(data) + 8, size - 8);
  std::vector<std::string> args = {"--walk-forward"};
  for (std::size_t start = 0; start <= text.size() && args.size() < 24;) {
    std::size_t end = text.find('\0', start);
    if (end == std::string::npos) end = text.size();
    args.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  for (std::size_t i = 1; i < args.size(); ++i) CheckDuration(args[i]);
  args.push_back(g_prices);

  kmr::SweepOptions options;
  try {
    options = kmr::ParseSweepOptions(args);
  } catch (const kmr::SweepOptionError& error) {
    FUZZ_CHECK(OneLine(error.what()));
    return 0;
  }
  if (options.help || options.merge) return 0;
  FUZZ_CHECK(options.walkForward);
  CheckPlan(options, first, last);
  return 0;
}
