#include "tester/convert/layout_detect.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "tester/convert/line_parse.h"

namespace kmr {

namespace {

// A column or pattern counts as found when it reads on this share of the lines, so that a bad
// line among the first ones does not hide the layout.
constexpr double kQuorum = 0.9;

using Fields = std::vector<std::string_view>;

std::vector<TimePattern> Compiled(std::initializer_list<const char*> texts) {
  std::vector<TimePattern> patterns;
  std::string error;
  for (const char* text : texts) patterns.push_back(*TimePattern::Compile(text, error));
  return patterns;
}

// Whole stamps (and dates alone, of daily bars), dates of a date column, times of a time column.
// Where two read the same stamps, the first one listed is taken.
const std::vector<TimePattern>& StampPatterns() {
  static const std::vector<TimePattern> patterns = Compiled({
      "YYYYMMDD HHMMSS",
      "YYYYMMDD HHMMSSmmm",
      "YYYYMMDD HH:MM:SS.fff",
      "YYYYMMDD HH:MM",
      "YYYYMMDDHHMMSS",
      "YYYY.MM.DD HH:MM",
      "YYYY.MM.DD HH:MM:SS.fff",
      "YYYY-MM-DD HH:MM",
      "YYYY-MM-DD HH:MM:SS.fff",
      "YYYY-MM-DD HH:MM:SS.fffZ",
      "YYYY-MM-DDTHH:MM:SS.fffZ",
      "YYYY-MM-DDTHH:MM:SS.fff",
      "YYYY-MM-DDTHH:MMZ",
      "YYYY-MM-DDTHH:MM",
      "YYYY/MM/DD HH:MM",
      "YYYY/MM/DD HH:MM:SS.fff",
      "DD.MM.YYYY HH:MM",
      "DD.MM.YYYY HH:MM:SS.fff",
      "DD/MM/YYYY HH:MM",
      "DD/MM/YYYY HH:MM:SS.fff",
      "MM/DD/YYYY HH:MM",
      "MM/DD/YYYY HH:MM:SS.fff",
      "YYYYMMDD",
      "YYYY.MM.DD",
      "YYYY-MM-DD",
      "YYYY/MM/DD",
      "DD.MM.YYYY",
      "DD/MM/YYYY",
      "MM/DD/YYYY",
      "unix",
      "unix-ms",
  });
  return patterns;
}

const std::vector<TimePattern>& DatePatterns() {
  static const std::vector<TimePattern> patterns =
      Compiled({"YYYYMMDD", "YYYY.MM.DD", "YYYY-MM-DD", "YYYY/MM/DD", "DD.MM.YYYY", "DD/MM/YYYY",
                "MM/DD/YYYY"});
  return patterns;
}

const std::vector<TimePattern>& ClockPatterns() {
  static const std::vector<TimePattern> patterns =
      Compiled({"HHMMSS", "HHMMSSmmm", "HH:MM", "HH:MM:SS.fff"});
  return patterns;
}

// Unix times are told from other numbers by their length: seconds of 2001 to 5138 have 10 or
// 11 digits (9 from 1973), milliseconds 12 to 14.
bool UnixLength(const TimePattern& pattern, std::string_view value) {
  std::size_t digits = 0;
  while (digits < value.size() && value[digits] >= '0' && value[digits] <= '9') ++digits;
  if (pattern.Text() == "unix") return digits >= 9 && digits <= 11;
  return digits >= 12 && digits <= 14;
}

bool Reads(const TimePattern& pattern, std::string_view value) {
  if (pattern.IsUnix() && !UnixLength(pattern, value)) return false;
  Stamp stamp;
  return pattern.Read(value, stamp);
}

std::size_t Quorum(std::size_t lines) {
  return static_cast<std::size_t>(std::ceil(kQuorum * static_cast<double>(lines)));
}

struct PatternChoice {
  const TimePattern* pattern = nullptr;
  std::string doubt;
};

// The pattern that reads the most values (a quorum at least). Day-first and month-first dates
// that read the same values cannot be told apart.
PatternChoice ChoosePattern(const std::vector<TimePattern>& candidates,
                            const std::vector<std::string_view>& values) {
  PatternChoice choice;
  if (values.empty()) return choice;
  std::size_t best = 0;
  std::vector<std::size_t> counts(candidates.size());
  for (std::size_t c = 0; c < candidates.size(); ++c) {
    for (std::string_view value : values) counts[c] += Reads(candidates[c], value);
    if (counts[c] > best) best = counts[c], choice.pattern = &candidates[c];
  }
  if (best < Quorum(values.size()) || best == 0) {
    choice.pattern = nullptr;
    return choice;
  }
  for (std::size_t c = 0; c < candidates.size(); ++c) {
    const DateOrder a = choice.pattern->Order(), b = candidates[c].Order();
    if (counts[c] == best && a != b && (a == DateOrder::kDayFirst || a == DateOrder::kMonthFirst) &&
        (b == DateOrder::kDayFirst || b == DateOrder::kMonthFirst))
      choice.doubt = "the dates read both as '" + choice.pattern->Text() + "' and as '" +
                     candidates[c].Text() + "'";
  }
  return choice;
}

std::vector<std::string_view> ColumnValues(const std::vector<Fields>& rows, std::size_t column) {
  std::vector<std::string_view> values;
  for (const Fields& row : rows)
    if (column < row.size() && !row[column].empty()) values.push_back(row[column]);
  return values;
}

// The separator that splits (nearly) every line into the same number of fields, tab first,
// then ';' (which leaves ',' to decimal commas), then ','.
char DetectSeparator(const std::vector<std::string_view>& lines, std::string& doubt) {
  // The first line may be a header with other separators; it is left out when others exist.
  const std::size_t first = lines.size() > 1 ? 1 : 0;
  for (char separator : {'\t', ';', ',', '|'}) {
    std::map<std::size_t, std::size_t> fieldCounts;
    std::size_t split = 0;
    for (std::size_t i = first; i < lines.size(); ++i) {
      std::string_view fields[kMaxFields];
      const std::size_t count = SplitFields(lines[i], separator, fields, kMaxFields);
      if (count > 1) ++split, ++fieldCounts[count];
    }
    std::size_t most = 0;
    for (const auto& [count, lines] : fieldCounts) most = std::max(most, lines);
    const std::size_t total = lines.size() - first;
    if (split >= Quorum(total) && most >= Quorum(total)) return separator;
  }
  doubt = "no separator (',', ';' or tab) splits the lines alike";
  return ',';
}

bool HasLetter(std::string_view text) {
  for (char c : text)
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
  return false;
}

// A header names its columns: it has letters, and none of its fields reads as a number or as
// a time stamp.
bool LooksLikeHeader(const Fields& fields) {
  bool letters = false;
  for (std::string_view field : fields) {
    double number;
    if (ParseNumber(field, false, number) || ParseNumber(field, true, number)) return false;
    for (const TimePattern& pattern : StampPatterns())
      if (Reads(pattern, field)) return false;
    letters |= HasLetter(field);
  }
  return letters;
}

std::string Normalised(std::string_view name) {
  std::string text;
  for (char c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) text += c;
  }
  return text;
}

bool StartsWith(const std::string& text, std::string_view prefix) {
  return text.rfind(prefix, 0) == 0;
}
bool EndsWith(const std::string& text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}
bool Contains(const std::string& text, std::string_view part) {
  return text.find(part) != std::string::npos;
}

Column BarPart(const std::string& name) {
  if (Contains(name, "open")) return Column::kOpen;
  if (Contains(name, "high")) return Column::kHigh;
  if (Contains(name, "low")) return Column::kLow;
  if (Contains(name, "close")) return Column::kClose;
  return Column::kSkip;
}

bool IsVolumeName(const std::string& name) {
  for (std::string_view part : {"vol", "size", "qty", "quantity", "amount", "count"})
    if (Contains(name, part)) return true;
  return false;
}

// Numbers: parse each value once per column.
struct NumberColumn {
  std::size_t index = 0;
  std::vector<double> values;  // NaN where the line has none
};

double Share(std::size_t part, std::size_t whole) {
  return whole == 0 ? 0.0 : static_cast<double>(part) / static_cast<double>(whole);
}

// On how many lines `test` holds, of those where every column has a number.
template <typename Test>
double ShareWhere(const std::vector<const NumberColumn*>& columns, Test test) {
  std::size_t rows = 0, held = 0;
  const std::size_t n = columns.front()->values.size();
  double v[4];
  for (std::size_t r = 0; r < n; ++r) {
    bool all = true;
    for (std::size_t c = 0; c < columns.size(); ++c) {
      v[c] = columns[c]->values[r];
      all &= !std::isnan(v[c]);
    }
    if (!all) continue;
    ++rows;
    held += test(v);
  }
  return Share(held, rows);
}

bool Close2(double a, double b) {
  return a > 0 && b > 0 && std::fabs(a - b) <= 0.02 * std::max(a, b);
}

// The roles of the number columns after the time: bars, bid and ask, or a price.
void NumberRoles(std::vector<Column>& columns, const std::vector<NumberColumn>& numbers,
                 std::string& doubt) {
  if (numbers.empty()) {
    doubt = "no column of prices after the time stamp";
    return;
  }
  for (const NumberColumn& n : numbers) columns[n.index] = Column::kVolume;
  const NumberColumn* c[4] = {};
  for (std::size_t i = 0; i < numbers.size() && i < 4; ++i) c[i] = &numbers[i];
  if (numbers.size() >= 4) {
    // Four prices of one magnitude whose high and low hold the open and close.
    const double bars = ShareWhere({c[0], c[1], c[2], c[3]}, [](const double* v) {
      return v[2] > 0 && v[2] <= v[0] && v[2] <= v[3] && v[1] >= v[0] && v[1] >= v[3] &&
             v[1] <= 1.5 * v[2];
    });
    if (bars >= kQuorum) {
      columns[c[0]->index] = Column::kOpen;
      columns[c[1]->index] = Column::kHigh;
      columns[c[2]->index] = Column::kLow;
      columns[c[3]->index] = Column::kClose;
      return;
    }
  }
  if (numbers.size() >= 2 &&
      ShareWhere({c[0], c[1]}, [](const double* v) { return Close2(v[0], v[1]); }) >= kQuorum) {
    const double rising = ShareWhere({c[0], c[1]}, [](const double* v) { return v[0] <= v[1]; });
    const double falling = ShareWhere({c[0], c[1]}, [](const double* v) { return v[0] >= v[1]; });
    const bool askFirst = falling >= kQuorum && rising < kQuorum;
    columns[c[0]->index] = askFirst ? Column::kAsk : Column::kBid;
    columns[c[1]->index] = askFirst ? Column::kBid : Column::kAsk;
    if (rising < kQuorum && falling < kQuorum)
      doubt = "two close price columns, but neither stays below the other as a bid does";
    return;
  }
  columns[c[0]->index] = Column::kPrice;
}

std::vector<NumberColumn> NumberColumns(const std::vector<Fields>& rows, std::size_t from,
                                        std::size_t to, bool decimalComma) {
  std::vector<NumberColumn> numbers;
  for (std::size_t column = from; column < to; ++column) {
    NumberColumn n;
    n.index = column;
    std::size_t parsed = 0;
    for (const Fields& row : rows) {
      double value = std::nan("");
      if (column < row.size() && ParseNumber(row[column], decimalComma, value)) ++parsed;
      n.values.push_back(value);
    }
    if (parsed >= Quorum(rows.size()) && parsed > 0) numbers.push_back(std::move(n));
  }
  return numbers;
}

// Decimal commas: with another separator, fields that read as numbers only with a comma.
bool DetectDecimalComma(const std::vector<Fields>& rows, char separator) {
  if (separator == ',') return false;
  std::size_t commaOnly = 0, dotOnly = 0;
  for (const Fields& row : rows)
    for (std::string_view field : row) {
      if (field.find(',') == std::string_view::npos) {
        if (field.find('.') != std::string_view::npos) {
          double value;
          dotOnly += ParseNumber(field, false, value);
        }
        continue;
      }
      double value;
      commaOnly += ParseNumber(field, true, value);
    }
  return commaOnly > dotOnly;
}

// The bar timeframe: the most common step between consecutive stamps.
std::int32_t DetectTimeframe(const Layout& layout, const std::vector<std::string_view>& lines,
                             std::size_t first) {
  std::map<std::int64_t, std::size_t> steps;
  std::int64_t previous = 0;
  bool have = false;
  for (std::size_t i = first; i < lines.size(); ++i) {
    PriceRecord record;
    std::string_view field;
    if (ReadPriceLine(lines[i], layout, record, field) != LineFault::kNone) continue;
    const std::int64_t seconds = record.stamp.millis / 1000;
    if (have && seconds > previous) ++steps[seconds - previous];
    previous = seconds, have = true;
  }
  std::int64_t best = 60;
  std::size_t most = 0;
  for (const auto& [step, count] : steps)
    if (count > most) most = count, best = step;
  return static_cast<std::int32_t>(std::min<std::int64_t>(best, 31 * 86400));
}

}  // namespace

Column ColumnFromName(std::string_view raw, bool hasDate) {
  const std::string name = Normalised(raw);
  if (name.empty()) return Column::kSkip;
  if (name == "date" || name == "day" || name == "tradingday") return Column::kDate;
  if (StartsWith(name, "datetime") || StartsWith(name, "timestamp") || name == "ts" ||
      name == "epoch" || StartsWith(name, "unix"))
    return Column::kTime;
  if (StartsWith(name, "time") || EndsWith(name, "time"))
    return hasDate ? Column::kClock : Column::kTime;
  const bool bid = StartsWith(name, "bid");
  const bool ask = StartsWith(name, "ask") || StartsWith(name, "offer");
  if (bid || ask) {
    if (IsVolumeName(name)) return Column::kVolume;
    const Column part = BarPart(name);
    // Bars of both sides are read as bars of the bid.
    if (part != Column::kSkip) return bid ? part : Column::kSkip;
    return bid ? Column::kBid : Column::kAsk;
  }
  if (name == "open" || name == "o") return Column::kOpen;
  if (name == "high" || name == "h") return Column::kHigh;
  if (name == "low" || name == "l") return Column::kLow;
  if (name == "close" || name == "c") return Column::kClose;
  for (std::string_view price :
       {"price", "last", "lastprice", "mid", "midprice", "rate", "tradeprice", "trade", "value"})
    if (name == price) return Column::kPrice;
  if (IsVolumeName(name)) return Column::kVolume;
  return Column::kSkip;
}

Detection DetectLayout(const std::vector<std::string_view>& lines, const LayoutHints& hints) {
  Detection d;
  Layout& layout = d.layout;
  if (lines.empty()) {
    d.doubt = "the file holds no lines";
    return d;
  }
  std::string doubt;
  layout.separator = hints.separator ? *hints.separator : DetectSeparator(lines, doubt);

  std::vector<Fields> rows;
  for (std::string_view line : lines) {
    std::string_view fields[kMaxFields];
    const std::size_t count = SplitFields(line, layout.separator, fields, kMaxFields);
    rows.emplace_back(fields, fields + count);
  }
  layout.header = hints.header ? *hints.header : LooksLikeHeader(rows[0]);
  const std::size_t first = layout.header ? 1 : 0;
  const std::vector<Fields> data(rows.begin() + static_cast<std::ptrdiff_t>(first), rows.end());
  if (data.empty()) {
    d.doubt = "no data lines after the header";
    return d;
  }
  std::size_t width = 0;
  for (const Fields& row : data) width = std::max(width, row.size());
  layout.decimalComma =
      hints.decimalComma ? *hints.decimalComma : DetectDecimalComma(data, layout.separator);

  // The columns: as --format names them, as the header names them, or from their contents.
  std::vector<Column>& columns = layout.columns;
  if (hints.format) {
    columns = hints.format->columns;
    if (hints.format->time) layout.time = *hints.format->time;
    if (hints.format->clock) layout.clock = *hints.format->clock;
  } else if (layout.header) {
    bool hasDate = false;
    for (std::string_view name : rows[0]) hasDate |= ColumnFromName(name, false) == Column::kDate;
    for (std::string_view name : rows[0]) columns.push_back(ColumnFromName(name, hasDate));
  }
  if (columns.size() < width) columns.resize(width, Column::kSkip);

  auto find = [&](Column c) {
    const auto at = std::find(columns.begin(), columns.end(), c);
    return at == columns.end() ? -1 : static_cast<int>(at - columns.begin());
  };
  int timeIndex = find(Column::kTime), dateIndex = find(Column::kDate);
  int clockIndex = find(Column::kClock);
  if (dateIndex >= 0 && clockIndex < 0 && !hints.format) {
    // A column named "Date" alone holds whole stamps, or dates of daily bars.
    columns[dateIndex] = Column::kTime;
    timeIndex = dateIndex, dateIndex = -1;
  }
  if (timeIndex < 0 && dateIndex < 0) {
    // The first column that reads as a time stamp, or as a date followed by a time of day.
    for (std::size_t column = 0; column < width && timeIndex < 0 && dateIndex < 0; ++column) {
      if (columns[column] != Column::kSkip) continue;
      const std::vector<std::string_view> values = ColumnValues(data, column);
      const PatternChoice whole = ChoosePattern(StampPatterns(), values);
      if (!whole.pattern) continue;
      if (!whole.pattern->HasClock() && column + 1 < width) {
        const PatternChoice clock = ChoosePattern(ClockPatterns(), ColumnValues(data, column + 1));
        if (clock.pattern) {
          dateIndex = static_cast<int>(column), clockIndex = static_cast<int>(column + 1);
          columns[column] = Column::kDate, columns[column + 1] = Column::kClock;
          continue;
        }
      }
      timeIndex = static_cast<int>(column);
      columns[column] = Column::kTime;
    }
    // Columns before the time stamp (a symbol, say) are not prices.
    const int start = dateIndex >= 0 ? dateIndex : timeIndex;
    for (int column = 0; column < start; ++column) columns[column] = Column::kSkip;
  }
  if (timeIndex < 0 && dateIndex < 0) {
    d.doubt = doubt.empty() ? "no column reads as a time stamp" : doubt;
    return d;
  }
  // The patterns the columns need.
  auto pattern = [&](TimePattern& target, const std::vector<TimePattern>& candidates, int column,
                     const char* what) {
    if (!target.Empty() || column < 0) return;
    const PatternChoice choice = ChoosePattern(candidates, ColumnValues(data, column));
    if (!choice.pattern) {
      if (doubt.empty())
        doubt = std::string("the ") + what + " column " + std::to_string(column + 1) +
                " reads with none of the known time stamp patterns";
      return;
    }
    target = *choice.pattern;
    if (doubt.empty()) doubt = choice.doubt;
  };
  if (dateIndex >= 0) {
    pattern(layout.time, DatePatterns(), dateIndex, "date");
    pattern(layout.clock, ClockPatterns(), clockIndex, "time");
  } else {
    pattern(layout.time, StampPatterns(), timeIndex, "time");
  }

  // The prices, when no name gave them.
  bool named = false;
  for (Column c : columns)
    named |= c == Column::kBid || c == Column::kPrice || c == Column::kOpen || c == Column::kAsk ||
             c == Column::kHigh || c == Column::kLow || c == Column::kClose;
  if (!named) {
    const int last = std::max({timeIndex, dateIndex, clockIndex});
    std::vector<NumberColumn> numbers =
        NumberColumns(data, static_cast<std::size_t>(last) + 1, width, layout.decimalComma);
    std::string numberDoubt;
    NumberRoles(columns, numbers, numberDoubt);
    if (doubt.empty()) doubt = numberDoubt;
  }
  try {
    FinishLayout(layout);
  } catch (const LayoutError& error) {
    if (doubt.empty()) doubt = error.what();
    d.doubt = doubt;
    return d;
  }
  if (layout.IsBars())
    layout.barSeconds =
        hints.barSeconds > 0 ? hints.barSeconds : DetectTimeframe(layout, lines, first);
  d.doubt = doubt;
  return d;
}

}  // namespace kmr
