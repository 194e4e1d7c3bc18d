// The text forms of the settings dialog: chart words with their letters ("h1600", "xt400",
// "o40") and the "Std Interval [ticks/min.deals]" field ("50", "50/3").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kmr {

std::string ChartSpecToText(std::uint32_t spec, bool isTrend);
std::uint32_t TextToChartSpec(std::string_view text, bool isTrend);

struct StdIntervalValue {
  std::int32_t ticks;
  std::int32_t minDeals;
};
// "50/3", "50:3", "50|3" and "50\3" give 50 and 3; "50" gives 50 and 0.
StdIntervalValue ParseStdInterval(std::string_view text);
// "50" when minDeals is 0, else "50/3".
std::string FormatStdInterval(std::int32_t ticks, std::int32_t minDeals);

// A whole signed integer, as a dialog's integer field takes it: surrounding blanks allowed,
// anything else (or a value beyond 32 bits) gives 0.
std::int32_t ParseDialogInteger(std::string_view text);
// The leading integer of a text ("12abc" gives 12, "x" gives 0), saturated to 32 bits.
std::int32_t LeadingInteger(std::string_view text);

}  // namespace kmr
