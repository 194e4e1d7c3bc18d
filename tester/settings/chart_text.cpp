#include "tester/settings/chart_text.h"

#include <cctype>
#include <cstdio>
#include <limits>

#include "common/chart_spec.h"

namespace kmr {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsBlank(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::uint32_t LetterFlag(char letter, bool isTrend) {
  switch (std::toupper(static_cast<unsigned char>(letter))) {
    case 'X':
      return isTrend ? kTrendCloseOnly : kEntryCloseOnly;
    case 'T':
      return isTrend ? kTrendOpenTrade : kEntryOpenOnly;
    case 'C':
      return isTrend ? kTrendColourHistory : 0;
    case 'O':
      return isTrend ? 0 : kEntryOpenOrCloseOwn;
    case 'D':
      return isTrend ? 0 : kEntryDisplayOnly;
    default:
      return 0;
  }
}

}  // namespace

std::string ChartSpecToText(std::uint32_t spec, bool isTrend) {
  std::string text;
  if (isTrend) {
    if (!HasFlag(spec, kTrendNoHedge)) text += 'h';
    if (HasFlag(spec, kTrendCloseOnly)) text += 'x';
    if (HasFlag(spec, kTrendOpenTrade)) text += 't';
    if (HasFlag(spec, kTrendColourHistory)) text += 'c';
  } else {
    if (HasFlag(spec, kEntryOpenOrCloseOwn)) text += 'o';
    if (HasFlag(spec, kEntryOpenOnly)) text += 't';
    if (HasFlag(spec, kEntryDisplayOnly)) text += 'd';
    if (HasFlag(spec, kEntryCloseOnly)) text += 'x';
  }
  text += std::to_string(ChartSize(spec));
  return text;
}

std::uint32_t TextToChartSpec(std::string_view text, bool isTrend) {
  if (text.empty()) return 0;
  std::uint32_t bits = isTrend ? kTrendNoHedge : 0;
  std::size_t i = 0;
  for (; i < text.size() && !IsDigit(text[i]); ++i) {
    if (isTrend && (text[i] == 'h' || text[i] == 'H'))
      bits &= ~kTrendNoHedge;
    else
      bits |= LetterFlag(text[i], isTrend);
  }
  // Only the low 24 bits count, so the digits are summed modulo 2^24 and never overflow.
  std::uint32_t size = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i)
    size = (size * 10 + static_cast<std::uint32_t>(text[i] - '0')) & kChartSizeMask;
  return bits | size;
}

std::int32_t LeadingInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  std::int64_t value = 0;
  const std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > limit) value = limit;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max())
    value = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(value);
}

std::int32_t ParseDialogInteger(std::string_view text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  std::string_view number = text.substr(begin, end - begin);
  std::size_t i = 0;
  bool negative = false;
  if (i < number.size() && (number[i] == '-' || number[i] == '+')) negative = number[i++] == '-';
  if (i == number.size()) return 0;
  std::int64_t value = 0;
  for (; i < number.size(); ++i) {
    if (!IsDigit(number[i])) return 0;
    value = value * 10 + (number[i] - '0');
    if (value > std::int64_t{1} << 31) return 0;
  }
  if (negative) value = -value;
  if (value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max())
    return 0;
  return static_cast<std::int32_t>(value);
}

StdIntervalValue ParseStdInterval(std::string_view text) {
  const std::size_t separator = text.find_first_of("/:|\\");
  if (separator == std::string_view::npos) return {ParseDialogInteger(text), 0};
  return {LeadingInteger(text.substr(0, separator)), LeadingInteger(text.substr(separator + 1))};
}

std::string FormatStdInterval(std::int32_t ticks, std::int32_t minDeals) {
  if (minDeals == 0) return std::to_string(ticks);
  return std::to_string(ticks) + "/" + std::to_string(minDeals);
}

}  // namespace kmr
