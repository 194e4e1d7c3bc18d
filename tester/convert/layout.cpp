#include "tester/convert/layout.h"

#include <charconv>

namespace kmr {

namespace {

struct NamedColumn {
  std::string_view name;
  Column column;
};

constexpr NamedColumn kColumnNames[] = {
    {"-", Column::kSkip},      {"skip", Column::kSkip},     {"time", Column::kTime},
    {"date", Column::kDate},   {"clock", Column::kClock},   {"bid", Column::kBid},
    {"ask", Column::kAsk},     {"price", Column::kPrice},   {"last", Column::kPrice},
    {"open", Column::kOpen},   {"high", Column::kHigh},     {"low", Column::kLow},
    {"close", Column::kClose}, {"volume", Column::kVolume},
};

std::optional<TimePattern> Pattern(std::string_view text) {
  std::string error;
  std::optional<TimePattern> pattern = TimePattern::Compile(text, error);
  if (!pattern) throw LayoutError("--format: " + error);
  return pattern;
}

}  // namespace

std::string_view ColumnName(Column column) {
  switch (column) {
    case Column::kSkip:
      return "-";
    case Column::kTime:
      return "time";
    case Column::kDate:
      return "date";
    case Column::kClock:
      return "time";
    case Column::kBid:
      return "bid";
    case Column::kAsk:
      return "ask";
    case Column::kPrice:
      return "price";
    case Column::kOpen:
      return "open";
    case Column::kHigh:
      return "high";
    case Column::kLow:
      return "low";
    case Column::kClose:
      return "close";
    case Column::kVolume:
      return "volume";
  }
  return "-";
}

void FinishLayout(Layout& l) {
  l.timeIndex = l.clockIndex = l.bid = l.ask = l.price = -1;
  l.open = l.high = l.low = l.close = -1;
  int dateIndex = -1;
  for (std::size_t i = 0; i < l.columns.size(); ++i) {
    int* slot = nullptr;
    switch (l.columns[i]) {
      case Column::kTime:
        slot = &l.timeIndex;
        break;
      case Column::kDate:
        slot = &dateIndex;
        break;
      case Column::kClock:
        slot = &l.clockIndex;
        break;
      case Column::kBid:
        slot = &l.bid;
        break;
      case Column::kAsk:
        slot = &l.ask;
        break;
      case Column::kPrice:
        slot = &l.price;
        break;
      case Column::kOpen:
        slot = &l.open;
        break;
      case Column::kHigh:
        slot = &l.high;
        break;
      case Column::kLow:
        slot = &l.low;
        break;
      case Column::kClose:
        slot = &l.close;
        break;
      case Column::kSkip:
      case Column::kVolume:
        break;
    }
    if (slot == nullptr) continue;
    if (*slot >= 0)
      throw LayoutError("the column " + std::string(ColumnName(l.columns[i])) + " comes twice");
    *slot = static_cast<int>(i);
  }
  if (dateIndex >= 0 && l.timeIndex >= 0)
    throw LayoutError("a date column and a whole time stamp column together");
  if (dateIndex >= 0) l.timeIndex = dateIndex;
  if (l.timeIndex < 0) throw LayoutError("no time column");
  if ((dateIndex >= 0) != (l.clockIndex >= 0))
    throw LayoutError(dateIndex >= 0 ? "a date column without a time column"
                                     : "a time-of-day column without a date column");
  const int barParts = (l.open >= 0) + (l.high >= 0) + (l.low >= 0) + (l.close >= 0);
  if (barParts != 0 && barParts != 4)
    throw LayoutError("bars need all of open, high, low and close");
  if (barParts == 4) {
    // Bars of bid and ask prices are bars of their bid: the tester's price.
    if (l.bid >= 0 || l.ask >= 0 || l.price >= 0)
      throw LayoutError("bar columns and tick columns (bid, ask, price) together");
  } else {
    if (l.ask >= 0 && l.bid < 0) throw LayoutError("an ask column without a bid column");
    if (l.bid >= 0 && l.price >= 0) {  // quotes first; a last price is read past
      l.columns[static_cast<std::size_t>(l.price)] = Column::kSkip;
      l.price = -1;
    }
    if (l.bid < 0 && l.price < 0)
      throw LayoutError(
          "no price column (bid, price, or open, "
          "high, low and close)");
  }
  if (l.time.Empty()) throw LayoutError("no time pattern for the time column");
  if (dateIndex >= 0) {
    if (l.time.HasClock() || !l.time.HasDate() || l.time.IsUnix())
      throw LayoutError("the date pattern '" + l.time.Text() + "' is not a date alone");
    if (l.clock.Empty() || l.clock.HasDate())
      throw LayoutError("the time pattern '" + l.clock.Text() + "' is not a time of day");
  } else if (!l.time.HasDate()) {
    throw LayoutError("the time pattern '" + l.time.Text() + "' has no date");
  }
  // Trailing columns that hold nothing are left out of the layout.
  while (l.columns.size() > 1 && l.columns.back() == Column::kSkip) l.columns.pop_back();
  l.lastIndex = 0;
  for (int index :
       {l.timeIndex, l.clockIndex, l.bid, l.ask, l.price, l.open, l.high, l.low, l.close})
    if (index > l.lastIndex) l.lastIndex = index;
}

FormatColumns ParseFormatColumns(std::string_view text) {
  FormatColumns format;
  bool hasDate = false;
  std::vector<std::pair<std::size_t, std::string_view>> timeTexts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    std::string_view item =
        text.substr(start, comma == std::string_view::npos ? comma : comma - start);
    std::string_view pattern;
    const std::size_t equals = item.find('=');
    if (equals != std::string_view::npos) {
      pattern = item.substr(equals + 1);
      item = item.substr(0, equals);
    }
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
    std::optional<Column> column;
    for (const NamedColumn& named : kColumnNames)
      if (item == named.name) column = named.column;
    if (!column)
      throw LayoutError("--format: unknown column '" + std::string(item) +
                        "' (time, date, bid, ask, price, open, high, low, close, volume or -)");
    if (equals != std::string_view::npos && *column != Column::kTime && *column != Column::kDate &&
        *column != Column::kClock)
      throw LayoutError("--format: only time and date take a pattern, not '" + std::string(item) +
                        "'");
    if (*column == Column::kDate) hasDate = true;
    if (equals != std::string_view::npos) timeTexts.emplace_back(format.columns.size(), pattern);
    format.columns.push_back(*column);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  // With a date column, "time" names the time of day.
  if (hasDate)
    for (Column& c : format.columns)
      if (c == Column::kTime) c = Column::kClock;
  for (const auto& [index, pattern] : timeTexts) {
    if (format.columns[index] == Column::kClock)
      format.clock = Pattern(pattern);
    else
      format.time = Pattern(pattern);
  }
  return format;
}

std::string FormatColumnsText(const Layout& l) {
  std::string text;
  for (std::size_t i = 0; i < l.columns.size(); ++i) {
    if (i > 0) text += ',';
    text += ColumnName(l.columns[i]);
    if (static_cast<int>(i) == l.timeIndex && !l.time.Empty()) text += "=" + l.time.Text();
    if (static_cast<int>(i) == l.clockIndex && !l.clock.Empty()) text += "=" + l.clock.Text();
  }
  return text;
}

std::string SeparatorName(char separator) {
  return separator == '\t' ? "tab" : std::string(1, separator);
}

std::optional<char> ParseSeparator(std::string_view text) {
  if (text == "tab" || text == "\t" || text == "\\t") return '\t';
  if (text == "," || text == ";" || text == "|") return text[0];
  if (text == "comma") return ',';
  if (text == "semicolon") return ';';
  return std::nullopt;
}

std::string LayoutOptions(const Layout& l) {
  std::string options = "--format '" + FormatColumnsText(l) + "' --separator ";
  options += l.separator == '\t' ? std::string("tab") : "'" + SeparatorName(l.separator) + "'";
  options += l.header ? " --header" : " --no-header";
  if (l.decimalComma) options += " --decimal-comma";
  return options;
}

std::string TimeframeText(std::int32_t seconds) {
  struct Unit {
    std::int32_t seconds;
    const char* one;
    const char* many;
  };
  static constexpr Unit kUnits[] = {{604800, "week", "weeks"},
                                    {86400, "day", "days"},
                                    {3600, "hour", "hours"},
                                    {60, "minute", "minutes"},
                                    {1, "second", "seconds"}};
  for (const Unit& unit : kUnits)
    if (seconds >= unit.seconds && seconds % unit.seconds == 0) {
      const std::int32_t count = seconds / unit.seconds;
      return std::to_string(count) + " " + (count == 1 ? unit.one : unit.many);
    }
  return std::to_string(seconds) + " seconds";
}

std::optional<std::int32_t> ParseTimeframe(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::int32_t unit = 1;
  std::string_view digits = text;
  switch (text[0]) {
    case 'S':
      unit = 1;
      break;
    case 'M':
      unit = 60;
      break;
    case 'H':
      unit = 3600;
      break;
    case 'D':
      unit = 86400;
      break;
    case 'W':
      unit = 604800;
      break;
    default:
      unit = 0;
  }
  if (unit != 0) digits.remove_prefix(1);
  if (unit == 0) unit = 1;
  if (digits.empty() && text.size() == 1 && (text == "D" || text == "W")) digits = "1";
  std::int32_t count = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), count);
  if (error != std::errc() || end != digits.data() + digits.size() || count <= 0 ||
      count > 31 * 86400 / unit)
    return std::nullopt;
  return count * unit;
}

std::string LayoutKind(const Layout& l) {
  if (l.IsBars()) return "bars of " + TimeframeText(l.barSeconds);
  return l.HasAsk() ? "bid/ask ticks" : "price ticks";
}

}  // namespace kmr
