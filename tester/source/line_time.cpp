#include "tester/source/line_time.h"

#include <locale.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>

namespace kmr {

namespace {

// Days from 1970-01-01 to the first of the month (proleptic Gregorian), for month 1..12.
std::int64_t DaysFromCivil(std::int64_t year, int month) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t yearOfEra = year - era * 400;
  const int shiftedMonth = month > 2 ? month - 3 : month + 9;
  const std::int64_t dayOfYear = (153 * shiftedMonth + 2) / 5;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

locale_t CLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return locale;
}

double StrtodField(std::string_view field) {
  char small[64];
  if (field.size() < sizeof small) {
    field.copy(small, field.size());
    small[field.size()] = '\0';
    return strtod_l(small, nullptr, CLocale());
  }
  const std::string copy(field);
  return strtod_l(copy.c_str(), nullptr, CLocale());
}

constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

}  // namespace

LocalDateTime LineFields(std::string_view line) {
  char head[15] = {};  // past the line's end, code 0
  line.copy(head, sizeof head);
  auto code = [&](std::size_t i) -> int { return head[i]; };
  auto two = [&](std::size_t i) { return 10 * (code(i) - '0') + (code(i + 1) - '0'); };
  LocalDateTime f;
  f.year = 1000 * (code(0) - '0') + 100 * (code(1) - '0') + 10 * (code(2) - '0') + (code(3) - '0');
  f.month = two(4);
  f.day = two(6);
  f.hour = two(9);
  f.minute = two(11);
  f.second = two(13);
  return f;
}

std::string_view PriceField(std::string_view line) {
  const std::size_t first = line.find(';');
  if (first == std::string_view::npos) return line;
  std::string_view rest = line.substr(first + 1);
  const std::size_t second = rest.find(';');
  return second == std::string_view::npos ? rest : rest.substr(0, second);
}

std::optional<std::string_view> AskField(std::string_view line) {
  const std::size_t first = line.find(';');
  if (first == std::string_view::npos) return std::nullopt;
  const std::size_t second = line.find(';', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  const std::string_view rest = line.substr(second + 1);
  return rest.substr(0, rest.find(';'));
}

std::optional<double> ParseDecimal(std::string_view field) {
  if (field.empty()) return std::nullopt;
  // Decimals only: from_chars would also take "nan", "inf" and hexadecimal digits.
  const char lead = field[0] == '-' && field.size() > 1 ? field[1] : field[0];
  if (!((lead >= '0' && lead <= '9') || lead == '.')) return std::nullopt;
  double value = 0;
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
  if (error != std::errc() || end != field.data() + field.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

double ParsePrice(std::string_view field) {
  // Plain decimals with at most 15 significant digits and 22 decimals: both the digits and the
  // power of ten are exact doubles, so one division gives the correctly rounded value strtod
  // gives. Everything else goes to strtod itself.
  const char* p = field.data();
  const char* const end = p + field.size();
  bool negative = false;
  if (p < end && *p == '-') negative = true, ++p;
  // The common case first: at most 15 digits in all, so at most 15 significant ones.
  {
    const char* q = p;
    std::uint64_t mantissa = 0;
    int digits = 0, decimals = 0;
    for (; q < end && *q >= '0' && *q <= '9'; ++q, ++digits) mantissa = mantissa * 10 + (*q - '0');
    if (q < end && *q == '.')
      for (++q; q < end && *q >= '0' && *q <= '9'; ++q, ++digits, ++decimals)
        mantissa = mantissa * 10 + (*q - '0');
    const bool exponent = q < end && (*q == 'e' || *q == 'E' || *q == 'x' || *q == 'X');
    if (digits > 0 && digits <= 15 && !exponent) {
      const double value = static_cast<double>(mantissa) / kPow10[decimals];
      return negative ? -value : value;
    }
  }
  std::uint64_t mantissa = 0;
  int significant = 0, decimals = 0;
  bool anyDigit = false;
  for (; p < end && *p >= '0' && *p <= '9'; ++p) {
    anyDigit = true;
    if (mantissa != 0 || *p != '0') ++significant;
    if (significant <= 18) mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
  }
  if (p < end && *p == '.') {
    for (++p; p < end && *p >= '0' && *p <= '9'; ++p) {
      anyDigit = true;
      if (mantissa != 0 || *p != '0') ++significant;
      if (significant <= 18) mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
      ++decimals;
    }
  }
  const bool plain = anyDigit && significant <= 15 && decimals <= 22 &&
                     !(p < end && (*p == 'e' || *p == 'E' || *p == 'x' || *p == 'X'));
  if (!plain) return StrtodField(field);
  const double value = static_cast<double>(mantissa) / kPow10[decimals];
  return negative ? -value : value;
}

std::optional<std::int32_t> LineTimeConverter::Convert(const LocalDateTime& f) {
  if (f.year < 1970 || f.month < 1 || f.month > 12 || f.day < 1 || f.day > 31 || f.hour > 23 ||
      f.minute > 59 || f.second > 59)
    return std::nullopt;
  // The fields read as if they were UTC; mktime normalises them the same linear way. Lines
  // come in date order, so the day's number is worked out once per day.
  if (!dayValid_ || f.year != year_ || f.month != month_ || f.day != day_) {
    dayNumber_ = DaysFromCivil(f.year, f.month) + f.day - 1;
    year_ = f.year, month_ = f.month, day_ = f.day;
    dayValid_ = true;
  }
  const std::int64_t naive =
      dayNumber_ * 86400 + std::int64_t{f.hour} * 3600 + std::int64_t{f.minute} * 60 + f.second;
  const std::int64_t hour = FloorDiv(naive, 3600);
  std::int64_t result;
  if (valid_ && hour == hour_) {
    result = naive + offset_;
  } else {
    const std::optional<std::int64_t> converted = LocalToTime(f);
    if (!converted) return std::nullopt;
    result = *converted;
    offset_ = result - naive;
    hour_ = hour;
    valid_ = true;
  }
  if (result < std::numeric_limits<std::int32_t>::min() ||
      result > std::numeric_limits<std::int32_t>::max())
    return std::nullopt;
  return static_cast<std::int32_t>(result);
}

}  // namespace kmr
