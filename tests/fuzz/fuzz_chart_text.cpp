// The settings dialog's text forms: chart words with letters and the Std Interval field.
// Any text gives a word; the word's text reads back to the same word; the parsed numbers agree
// with a plain reading of the text.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/chart_spec.h"
#include "tester/settings/chart_text.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

bool IsBlank(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// What a dialog's integer field should read: a signed whole number within 32 bits, else 0.
std::int32_t ExpectedDialogInteger(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return 0;
  long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    value = std::min(value * 10 + (c - '0'), 1LL << 40);
  }
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return 0;
  return static_cast<std::int32_t>(value);
}

void CheckChartText(std::string_view text, bool isTrend) {
  const std::uint32_t word = kmr::TextToChartSpec(text, isTrend);
  FUZZ_CHECK((word & 0xF0000000u) == 0);
  if (text.empty()) FUZZ_CHECK(word == 0);
  const std::string shown = kmr::ChartSpecToText(word, isTrend);
  FUZZ_CHECK(kmr::TextToChartSpec(shown, isTrend) == word);
  // A flag without its letter cannot appear: entry charts have no NoHedge bit to start with.
  if (!isTrend) FUZZ_CHECK(shown.find('h') == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckChartText(text, true);
  CheckChartText(text, false);

  // Every chart word, whatever its top bits, shows as a text that reads back to its low 28 bits.
  if (size >= 4) {
    std::uint32_t word = 0;
    for (int i = 0; i < 4; ++i) word |= std::uint32_t{data[i]} << (8 * i);
    for (bool isTrend : {true, false})
      FUZZ_CHECK(kmr::TextToChartSpec(kmr::ChartSpecToText(word, isTrend), isTrend) ==
                 (word & 0x0FFFFFFFu));
  }

  FUZZ_CHECK(kmr::ParseDialogInteger(text) == ExpectedDialogInteger(text));
  const kmr::StdIntervalValue interval = kmr::ParseStdInterval(text);
  if (text.find_first_of("/:|\\") == std::string_view::npos) {
    FUZZ_CHECK(interval.minDeals == 0);
    FUZZ_CHECK(interval.ticks == ExpectedDialogInteger(text));
  }
  // What the field shows reads back to the same pair.
  const std::string shown = kmr::FormatStdInterval(interval.ticks, interval.minDeals);
  const kmr::StdIntervalValue again = kmr::ParseStdInterval(shown);
  FUZZ_CHECK(again.ticks == interval.ticks && again.minDeals == interval.minDeals);
  (void)kmr::LeadingInteger(text);
  return 0;
}
