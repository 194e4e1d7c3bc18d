#include "live/fix/fix_number.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace kmr {

std::string FormatFixNumber(double value) {
  if (!std::isfinite(value)) return {};
  if (value == 0) return "0";  // also for -0, which FIX has no use for
  char text[400];  // the longest is the smallest denormal: "0." and 323 zeros before "5"
  const std::to_chars_result r =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
  if (r.ec != std::errc()) return {};
  return std::string(text, r.ptr);
}

std::optional<double> ParseFixNumber(std::string_view text) {
  std::size_t i = 0;
  if (i < text.size() && text[i] == '-') ++i;
  std::size_t digits = 0;
  bool point = false;
  for (; i < text.size(); ++i) {
    if (text[i] >= '0' && text[i] <= '9')
      ++digits;
    else if (text[i] == '.' && !point)
      point = true;
    else
      return std::nullopt;
  }
  if (digits == 0) return std::nullopt;
  double value = 0;
  const std::from_chars_result r =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

}  // namespace kmr
