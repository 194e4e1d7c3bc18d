// The texts of numbers and times in the report files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kmr {

// ISO 8601 local time with the zone's offset, "1998-09-28T00:30:00+02:00"; empty when the
// platform cannot convert the time.
std::string IsoLocalTime(std::int32_t time);

// The shortest text that reads back to the same double ("0.0002", "-32080"); empty for NaN
// and infinities.
std::string ShortestNumber(double value);

// "1234567.89" as "1,234,567.89": commas between the groups of three digits before the point.
std::string GroupThousands(const std::string& digits);

// For people: "-32,079.99" with two decimals and thousands separators, "-" when empty.
std::string MoneyText(std::optional<double> value);
// "12.3 %" from a share, "-" when empty.
std::string PercentText(std::optional<double> value);
// "1.23", "-" when empty.
std::string DecimalText(std::optional<double> value, int decimals = 2);
// "3 d 4 h", "2 h 15 min", "45 s"; "-" when empty.
std::string DurationText(std::optional<double> seconds);

}  // namespace kmr
