#include "tester/source/line_time.h"

#include <locale.h>

#include <algorithm>
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

// The platform's offset to UTC at `time` (local minus UTC, in seconds).
bool PlatformOffset(std::int64_t time, std::int64_t& offset) {
  const std::time_t t = static_cast<std::time_t>(time);
  std::tm fields{};
  if (localtime_r(&t, &fields) == nullptr) return false;
  offset = fields.tm_gmtoff;
  return true;
}

// No zone is a day or more away from UTC; the day window relies on it.
bool Plausible(std::int64_t offset) {
  return offset > -86400 && offset < 86400;
}

// The rule of LocalLineTime over an offset function bool(time, offset&): the instants within a
// day of `naive` whose offset reads them as `naive`; the first of them, or in a gap the time read
// with the offset of the day before.
template <class OffsetAt>
std::optional<std::int64_t> SolveLocal(std::int64_t naive, OffsetAt offsetAt) {
  std::int64_t offsets[3];
  if (!offsetAt(naive - 86400, offsets[0]) || !offsetAt(naive, offsets[1]) ||
      !offsetAt(naive + 86400, offsets[2]))
    return std::nullopt;
  bool found = false;
  std::int64_t first = 0;
  for (int i = 0; i < 3; ++i) {
    if ((i > 0 && offsets[i] == offsets[0]) || (i > 1 && offsets[i] == offsets[1])) continue;
    const std::int64_t time = naive - offsets[i];
    std::int64_t offset;
    if (!offsetAt(time, offset)) return std::nullopt;
    if (offset == offsets[i] && (!found || time < first)) first = time, found = true;
  }
  return found ? first : naive - offsets[0];
}

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
      const double value = static_cast<double>(mantissa) / kPowersOfTen[decimals];
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
  const double value = static_cast<double>(mantissa) / kPowersOfTen[decimals];
  return negative ? -value : value;
}

std::int64_t NaiveSeconds(const LocalDateTime& f) {
  return (DaysFromCivil(f.year, f.month) + f.day - 1) * 86400 + std::int64_t{f.hour} * 3600 +
         std::int64_t{f.minute} * 60 + f.second;
}

std::optional<std::int64_t> LocalLineTime(std::int64_t naive) {
  return SolveLocal(naive, PlatformOffset);
}

bool ZoneWindow::Cover(std::int64_t from, std::int64_t to) {
  if (count_ > 0 && from >= from_ && from < to_) {
    int drop = 0;
    while (drop + 1 < count_ && starts_[drop + 1] <= from) ++drop;
    for (int i = drop; i < count_; ++i) starts_[i - drop] = starts_[i], offsets_[i - drop] = offsets_[i];
    count_ -= drop;
    from_ = from;
  } else {
    std::int64_t offset;
    if (!PlatformOffset(from, offset) || !Plausible(offset)) return count_ = 0, false;
    starts_[0] = from, offsets_[0] = offset;
    count_ = 1;
    from_ = from, to_ = from + 1;
  }
  if (!Extend(to)) return count_ = 0, false;
  return true;
}

bool ZoneWindow::Extend(std::int64_t to) {
  while (to_ < to) {
    const std::int64_t next = std::min(to_ + 3600, to);
    std::int64_t offset;
    if (!PlatformOffset(next - 1, offset)) return false;
    const std::int64_t last = offsets_[count_ - 1];
    if (offset != last) {
      // The first second of the new offset: off(low) is the last one, off(high) is not.
      std::int64_t low = to_ - 1, high = next - 1;
      while (high - low > 1) {
        const std::int64_t middle = low + (high - low) / 2;
        std::int64_t seen;
        if (!PlatformOffset(middle, seen)) return false;
        (seen == last ? low : high) = middle;
      }
      std::int64_t changed;
      if (!PlatformOffset(high, changed) || changed != offset || !Plausible(offset) ||
          count_ == kMaxChanges)
        return false;
      starts_[count_] = high, offsets_[count_] = offset;
      ++count_;
    }
    to_ = next;
  }
  return true;
}

std::int64_t ZoneWindow::OffsetAt(std::int64_t time) const {
  int i = count_ - 1;
  while (i > 0 && starts_[i] > time) --i;
  return offsets_[i];
}

std::optional<std::int32_t> LineTimeConverter::Convert(const LocalDateTime& f) {
  if (f.year < 1970 || f.month < 1 || f.month > 12 || f.day < 1 || f.day > 31 || f.hour > 23 ||
      f.minute > 59 || f.second > 59)
    return std::nullopt;
  std::int32_t time;
  if (!ConvertNaive(NaiveSeconds(f), time)) return std::nullopt;
  return time;
}

bool LineTimeConverter::ConvertOther(std::int64_t naive, std::int32_t& time) {
  constexpr std::int64_t kLowest = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t kHighest = std::numeric_limits<std::int32_t>::max();
  const std::int64_t day = FloorDiv(naive, 86400) * 86400;
  if (!haveDay_ || day != day_) {
    // Every offset that LocalLineTime looks at for a time of this day lies within a day of it.
    haveDay_ = true;
    day_ = day;
    uniformFrom_ = uniformTo_ = 0;
    windowValid_ = window_.Cover(day - 86400, day + 2 * 86400);
    if (windowValid_ && window_.Uniform()) {
      offset_ = window_.FirstOffset();
      uniformFrom_ = std::max(day, kLowest + offset_);
      uniformTo_ = std::min(day + 86400, kHighest + offset_ + 1);
      if (naive >= uniformFrom_ && naive < uniformTo_) {
        time = static_cast<std::int32_t>(naive - offset_);
        return true;
      }
    }
  }
  const std::optional<std::int64_t> result =
      windowValid_ ? SolveLocal(naive,
                                [this](std::int64_t at, std::int64_t& offset) {
                                  offset = window_.OffsetAt(at);
                                  return true;
                                })
                   : LocalLineTime(naive);
  if (!result || *result < kLowest || *result > kHighest) return false;
  time = static_cast<std::int32_t>(*result);
  return true;
}

}  // namespace kmr
