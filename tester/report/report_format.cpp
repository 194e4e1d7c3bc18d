#include "tester/report/report_format.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "tester/settings/text_convert.h"

namespace kmr {

std::string IsoLocalTime(std::int32_t time) {
  const std::time_t t = time;
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) return {};
  char text[40];
  if (std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local) == 0) return {};
  const long offset = local.tm_gmtoff;
  const long minutes = std::labs(offset) / 60;
  return Format("%s%c%02ld:%02ld", text, offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
}

std::string ShortestNumber(double value) {
  if (!std::isfinite(value)) return {};
  if (value == 0) return "0";
  const int exponent = static_cast<int>(std::floor(std::log10(std::fabs(value))));
  for (int digits = 1; digits <= 17; ++digits) {
    std::string text = Format("%.*g", digits, value);
    if (std::strtod(text.c_str(), nullptr) != value) continue;
    // Plain decimals where they stay readable: "10", not "1e+01".
    if (exponent >= -5 && exponent < 17) {
      const std::string plain = Format("%.*f", std::max(0, digits - 1 - exponent), value);
      if (std::strtod(plain.c_str(), nullptr) == value) return plain;
    }
    return text;
  }
  return Format("%.17g", value);
}

std::string GroupThousands(const std::string& digits) {
  const std::size_t whole = std::min(digits.find('.'), digits.size());
  std::string out;
  out.reserve(digits.size() + whole / 3);
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && i < whole && (whole - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string MoneyText(std::optional<double> value) {
  if (!value || !std::isfinite(*value)) return "-";
  const std::string digits = Format("%.2f", std::fabs(*value));
  const bool negative = *value < 0 && digits != "0.00";
  return (negative ? "-" : "") + GroupThousands(digits);
}

std::string PercentText(std::optional<double> value) {
  if (!value || !std::isfinite(*value)) return "-";
  const double percent = *value * 100;
  if (!std::isfinite(percent)) return "-";
  // An annual return of a few hours' trading can be astronomic: keep it one line.
  if (std::fabs(percent) >= 1e9) return Format("%.3g %%", percent);
  return Format("%.1f %%", percent);
}

std::string DecimalText(std::optional<double> value, int decimals) {
  if (!value || !std::isfinite(*value)) return "-";
  return Format("%.*f", decimals, *value);
}

std::string DurationText(std::optional<double> seconds) {
  if (!seconds || !std::isfinite(*seconds) || *seconds < 0) return "-";
  const long long s = std::llround(*seconds);
  const long long days = s / 86400, hours = s % 86400 / 3600, minutes = s % 3600 / 60;
  if (days >= 365) return Format("%.1f years", *seconds / (365.25 * 86400));
  if (days > 0) return Format("%lld d %lld h", days, hours);
  if (hours > 0) return Format("%lld h %lld min", hours, minutes);
  if (minutes > 0 && s % 60 == 0) return Format("%lld min", minutes);
  if (minutes > 0) return Format("%lld min %lld s", minutes, s % 60);
  return Format("%lld s", s);
}

}  // namespace kmr
