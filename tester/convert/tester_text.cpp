#include "tester/convert/tester_text.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "tester/convert/time_pattern.h"

namespace kmr {

namespace {

void TwoDigits(char* out, int value) {
  out[0] = static_cast<char>('0' + value / 10);
  out[1] = static_cast<char>('0' + value % 10);
}

}  // namespace

char* AppendPrice(char* out, double value) {
  const double size = std::fabs(value);
  const bool plain = value == 0 || (size >= 1e-9 && size < 1e15);
  const auto result = plain
                          ? std::to_chars(out, out + kMaxPriceText, value, std::chars_format::fixed)
                          : std::to_chars(out, out + kMaxPriceText, value);
  return result.ptr;
}

char* StampText::Append(char* out, std::int64_t local) {
  const std::int64_t day = local >= 0 ? local / 86400 : -((-local + 86399) / 86400);
  if (day != day_) {
    int year, month, dayOfMonth;
    CivilFromDays(day, year, month, dayOfMonth);
    TwoDigits(date_, year / 100 % 100);
    TwoDigits(date_ + 2, year % 100);
    TwoDigits(date_ + 4, month);
    TwoDigits(date_ + 6, dayOfMonth);
    date_[8] = ' ';
    day_ = day;
  }
  std::memcpy(out, date_, 9);
  const int seconds = static_cast<int>(local - day * 86400);
  TwoDigits(out + 9, seconds / 3600);
  TwoDigits(out + 11, seconds / 60 % 60);
  TwoDigits(out + 13, seconds % 60);
  return out + 15;
}

}  // namespace kmr
