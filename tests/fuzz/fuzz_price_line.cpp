// The price file reader: the input is a whole price file. Every line either reads or throws
// the reader's own error; the reader's price and time agree with strtod and mktime, and its fast
// path agrees with its plain path bit for bit: results, errors and the last price and time.
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>

#include "tester/source/line_time.h"
#include "tester/source/source_reader.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

int g_file = -1;
std::string g_path;

bool SameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

bool InRange(const kmr::LocalDateTime& f) {
  return f.year >= 1970 && f.month >= 1 && f.month <= 12 && f.day >= 1 && f.day <= 31 &&
         f.hour <= 23 && f.minute <= 59 && f.second <= 59;
}

// mktime of the fields with the given DST choice; nullopt when it fails or does not fit.
std::optional<std::int32_t> MakeTime(const kmr::LocalDateTime& f, int isdst, int* resultDst) {
  std::tm tm{};
  tm.tm_year = f.year - 1900;
  tm.tm_mon = f.month - 1;
  tm.tm_mday = f.day;
  tm.tm_hour = f.hour;
  tm.tm_min = f.minute;
  tm.tm_sec = f.second;
  tm.tm_isdst = isdst;
  errno = 0;
  const std::time_t t = std::mktime(&tm);
  if ((t == static_cast<std::time_t>(-1) && errno != 0) || t < INT32_MIN || t > INT32_MAX)
    return std::nullopt;
  if (resultDst) *resultDst = tm.tm_isdst;
  return static_cast<std::int32_t>(t);
}

// Whether `got` is the line time of the fields. In the hour the clocks go back, and in the hour
// they skip, the platform may take either offset; so it may for fields below their range (the
// seconds of "0201\0\0" are -528), which mktime normalises from a time that can lie in such an
// hour. Elsewhere it must be mktime's answer.
bool TimeMatches(const kmr::LocalDateTime& f, const std::optional<std::int32_t>& got) {
  if (!InRange(f)) return !got.has_value();
  int dst0 = -1, dst1 = -1;
  const std::optional<std::int32_t> winter = MakeTime(f, 0, &dst0);
  const std::optional<std::int32_t> summer = MakeTime(f, 1, &dst1);
  const bool denormal = f.hour < 0 || f.minute < 0 || f.second < 0;
  const bool eitherWay = winter && summer && *winter != *summer &&
                         ((dst0 == 0 && dst1 == 1) || (dst0 == 1 && dst1 == 0) || denormal);
  if (eitherWay) return got == winter || got == summer;
  return got == MakeTime(f, -1, nullptr);
}

// The line time by the line-by-line rule, without the converter's day look-up.
std::optional<std::int32_t> LineByLine(const kmr::LocalDateTime& f) {
  if (!InRange(f)) return std::nullopt;
  const std::optional<std::int64_t> t = kmr::LocalLineTime(kmr::NaiveSeconds(f));
  if (!t || *t < INT32_MIN || *t > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(*t);
}

// One line as the reader sees it: without its line feed and a carriage return before it.
std::string_view Trimmed(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("TZ", "Europe/Zurich", 1);
  tzset();
  g_file = memfd_create("kmr-fuzz-prices", 0);
  FUZZ_CHECK(g_file >= 0);
  g_path = "/proc/self/fd/" + std::to_string(g_file);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FUZZ_CHECK(ftruncate(g_file, 0) == 0);
  FUZZ_CHECK(pwrite(g_file, data, size, 0) == static_cast<ssize_t>(size));
  const std::string_view file(reinterpret_cast<const char*>(data), size);

  kmr::SourceReader reader, plain;
  plain.SetPlainOnly(true);
  // The ask too, for inputs with an odd first byte.
  const bool readAsk = size > 0 && (data[0] & 1);
  reader.SetReadAsk(readAsk);
  plain.SetReadAsk(readAsk);
  FUZZ_CHECK(reader.Open(g_path));
  FUZZ_CHECK(plain.Open(g_path));
  kmr::LineTimeConverter converter;
  std::size_t at = 0;
  long lines = 0;
  for (;;) {
    kmr::SourceLine line;
    bool read = false;
    bool failed = false;
    std::string error;
    try {
      read = reader.ReadLine(line);
    } catch (const kmr::SourceError& e) {
      failed = true;
      error = e.what();
      FUZZ_CHECK(e.line() == reader.LineNumber());
    }
    kmr::SourceLine plainLine;
    bool plainRead = false;
    std::string plainError;
    try {
      plainRead = plain.ReadLine(plainLine);
    } catch (const kmr::SourceError& e) {
      plainError = e.what();
    }
    FUZZ_CHECK(read == plainRead && error == plainError);
    FUZZ_CHECK(reader.LineNumber() == plain.LineNumber());
    FUZZ_CHECK(SameBits(reader.LastPrice(), plain.LastPrice()));
    FUZZ_CHECK(reader.LastTickTime() == plain.LastTickTime());
    FUZZ_CHECK(line.time == plainLine.time && SameBits(line.price, plainLine.price) &&
               SameBits(line.ask, plainLine.ask));
    if (!read && !failed) break;
    // The same line cut out of the input by hand.
    FUZZ_CHECK(at < size);
    const std::size_t end = file.find('\n', at);
    const std::string_view raw =
        Trimmed(file.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
    at = end == std::string_view::npos ? size : end + 1;
    ++lines;
    FUZZ_CHECK(reader.LineNumber() == lines);
    if (raw.size() < 14) {
      FUZZ_CHECK(failed);
      continue;
    }
    const std::string field(kmr::PriceField(raw));
    const double expectedPrice = std::strtod(field.c_str(), nullptr);
    // strtod stops at a NUL in the field; the reader must not read past the line either.
    FUZZ_CHECK(SameBits(reader.LastPrice(), expectedPrice) ||
               (reader.LastPrice() != reader.LastPrice() && expectedPrice != expectedPrice));
    // A converter of our own sees the same lines in the same order as the reader's.
    const std::optional<std::int32_t> converted = converter.Convert(kmr::LineFields(raw));
    FUZZ_CHECK(TimeMatches(kmr::LineFields(raw), converted));
    FUZZ_CHECK(converted == LineByLine(kmr::LineFields(raw)));
    if (!readAsk) FUZZ_CHECK(failed == !converted.has_value());
    if (!converted) FUZZ_CHECK(failed);
    if (read) {
      FUZZ_CHECK(line.time == *converted);
      FUZZ_CHECK(SameBits(line.price, expectedPrice) || (line.price != line.price));
    }
  }
  // Every line was delivered; a last line without its line feed counts too.
  FUZZ_CHECK(at >= size);
  FUZZ_CHECK(!reader.IsOpen());
  return 0;
}
