// The converter's readers: the input is a whole file. Its lines go through the line reader
// (encodings, line ends), the layout detector, and every line through the line parser of the
// layout found; the first line is also tried as a time pattern and as --format columns. What
// they give back must hold: fields inside the line, prices finite and bars whose high and low
// hold their open and close, prices written so that the tester reads the same double back, and
// local times that the zone table maps to UTC and back; and the tester's ask field, whose
// numbers must be strtod's.
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "tester/convert/layout.h"
#include "tester/convert/layout_detect.h"
#include "tester/convert/line_parse.h"
#include "tester/convert/tester_text.h"
#include "tester/convert/time_pattern.h"
#include "tester/convert/time_zone.h"
#include "tester/source/line_input.h"
#include "tester/source/line_time.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

int g_file = -1;
std::string g_path;
const kmr::TimeZone* g_zone = nullptr;

bool SameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

void CheckPrice(double value) {
  FUZZ_CHECK(std::isfinite(value));
  char text[kmr::kMaxPriceText + 1];
  char* end = kmr::AppendPrice(text, value);
  FUZZ_CHECK(end > text && end <= text + kmr::kMaxPriceText);
  FUZZ_CHECK(SameBits(kmr::ParsePrice(std::string_view(text, end - text)), value));
}

void CheckFields(std::string_view line, char separator) {
  std::string_view fields[kmr::kMaxFields];
  const std::size_t count = kmr::SplitFields(line, separator, fields, kmr::kMaxFields);
  FUZZ_CHECK(count >= 1 && count <= kmr::kMaxFields);
  for (std::size_t i = 0; i < count; ++i)
    FUZZ_CHECK(fields[i].empty() ||
               (fields[i].data() >= line.data() &&
                fields[i].data() + fields[i].size() <= line.data() + line.size()));
}

void CheckLocal(std::int64_t millis) {
  const std::int64_t seconds = millis / 1000;
  if (seconds < -100LL * 365 * 86400 || seconds > 200LL * 365 * 86400) return;
  kmr::ZoneClock clock(*g_zone);
  std::int64_t utc[2];
  const int found = clock.FromLocal(seconds, utc);
  FUZZ_CHECK(found >= 0 && found <= 2);
  for (int i = 0; i < found; ++i) FUZZ_CHECK(utc[i] + clock.OffsetAt(utc[i]) == seconds);
  if (found == 2) FUZZ_CHECK(utc[0] < utc[1]);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("TZ", "Europe/Zurich", 1);
  tzset();
  static const kmr::TimeZone zone = kmr::TimeZone::Named("Europe/Zurich");
  g_zone = &zone;
  g_file = memfd_create("kmr-fuzz-convert", 0);
  FUZZ_CHECK(g_file >= 0);
  g_path = "/proc/self/fd/" + std::to_string(g_file);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FUZZ_CHECK(ftruncate(g_file, 0) == 0);
  FUZZ_CHECK(pwrite(g_file, data, size, 0) == static_cast<ssize_t>(size));
  kmr::LineInput input;
  std::string error;
  FUZZ_CHECK(input.Open(g_path, error));
  std::vector<std::string> lines;
  std::string_view line;
  for (;;) {
    const kmr::LineInput::Result result = input.Next(line);
    if (result == kmr::LineInput::Result::kEnd) break;
    FUZZ_CHECK(result == kmr::LineInput::Result::kLine);
    FUZZ_CHECK(line.find('\n') == std::string_view::npos);
    if (lines.size() < 300) lines.emplace_back(line);
  }
  FUZZ_CHECK(input.BytesRead() == size);
  if (lines.empty()) return 0;

  const std::vector<std::string_view> views(lines.begin(), lines.end());
  for (std::string_view text : views)
    for (char separator : {',', ';', '\t'}) CheckFields(text, separator);

  kmr::LayoutHints hints;
  const kmr::Detection detection = kmr::DetectLayout(views, hints);
  if (detection.doubt.empty()) {
    const kmr::Layout& layout = detection.layout;
    // What was found names itself: its columns read back as the same layout.
    kmr::LayoutHints named;
    named.separator = layout.separator;
    named.header = layout.header;
    named.decimalComma = layout.decimalComma;
    named.format = kmr::ParseFormatColumns(kmr::FormatColumnsText(layout));
    const kmr::Detection again = kmr::DetectLayout(views, named);
    FUZZ_CHECK(again.doubt.empty());
    FUZZ_CHECK(kmr::FormatColumnsText(again.layout) == kmr::FormatColumnsText(layout));
    for (std::string_view text : views) {
      kmr::PriceRecord record;
      std::string_view field;
      const kmr::LineFault fault = kmr::ReadPriceLine(text, layout, record, field);
      FUZZ_CHECK(field.empty() || (field.data() >= text.data() &&
                                   field.data() + field.size() <= text.data() + text.size()));
      if (fault != kmr::LineFault::kNone) continue;
      const int prices = layout.IsBars() ? 4 : 2;
      for (int i = 0; i < prices; ++i)
        if (layout.IsBars() || (record.present & (1u << i))) CheckPrice(record.values[i]);
      if (layout.IsBars()) {
        const double* v = record.values;
        FUZZ_CHECK(v[2] <= v[0] && v[2] <= v[3] && v[1] >= v[0] && v[1] >= v[3]);
      }
      if (!record.stamp.absolute) CheckLocal(record.stamp.millis);
    }
  }

  // The first line as a time pattern, read on the other lines, and as --format columns.
  std::string patternError;
  if (const std::optional<kmr::TimePattern> pattern =
          kmr::TimePattern::Compile(views[0], patternError)) {
    for (std::string_view text : views) {
      kmr::Stamp stamp;
      if (pattern->Read(text, stamp) && !stamp.absolute) CheckLocal(stamp.millis);
    }
  } else {
    FUZZ_CHECK(!patternError.empty());
  }
  try {
    const kmr::FormatColumns columns = kmr::ParseFormatColumns(views[0]);
    FUZZ_CHECK(!columns.columns.empty());
  } catch (const kmr::LayoutError&) {
  }
  for (std::string_view text : views) {
    double value;
    if (kmr::ParseNumber(text, false, value)) CheckPrice(value);
    if (kmr::ParseNumber(text, true, value)) CheckPrice(value);
    // The tester's ask field (kmr-replay --quotes bid-ask): a number is strtod's, to the bit.
    if (const std::optional<std::string_view> field = kmr::AskField(text)) {
      FUZZ_CHECK(field->data() >= text.data() &&
                 field->data() + field->size() <= text.data() + text.size());
      FUZZ_CHECK(field->find(';') == std::string_view::npos);
      if (const std::optional<double> ask = kmr::ParseDecimal(*field)) {
        FUZZ_CHECK(std::isfinite(*ask));
        const std::string copy(*field);
        char* end = nullptr;
        FUZZ_CHECK(SameBits(std::strtod(copy.c_str(), &end), *ask));
        FUZZ_CHECK(end == copy.c_str() + copy.size());
        CheckPrice(*ask);
      }
    }
  }
  return 0;
}
