// Finds the layout of a price file from its first lines: the separator, a header line, the
// time stamp columns and their pattern, and what the number columns hold.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tester/convert/layout.h"

namespace kmr {

// What the user said; everything left open is found from the lines.
struct LayoutHints {
  std::optional<char> separator;
  std::optional<bool> header;
  std::optional<bool> decimalComma;
  std::optional<FormatColumns> format;
  std::int32_t barSeconds = 0;  // 0: from the time stamps
};

struct Detection {
  Layout layout;      // finished (FinishLayout) when `doubt` is empty
  std::string doubt;  // why the layout cannot be told for sure; empty when it can
};

// `lines` are the first lines of the file that are not blank, in order (the header, when there
// is one, first). A few hundred are plenty.
Detection DetectLayout(const std::vector<std::string_view>& lines, const LayoutHints& hints);

// The column a header name stands for ("Bid", "<DATE>", "Time (UTC)", "AskVolume", ...);
// `hasDate` says whether another column is the date, which makes "time" the time of day.
Column ColumnFromName(std::string_view name, bool hasDate);

}  // namespace kmr
