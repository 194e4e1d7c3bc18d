#include "tester/convert/line_parse.h"

#include <charconv>
#include <cmath>

namespace kmr {

namespace {

std::string_view Trimmed(std::string_view field) {
  while (!field.empty() && (field.front() == ' ' || field.front() == '\t')) field.remove_prefix(1);
  while (!field.empty() && (field.back() == ' ' || field.back() == '\t')) field.remove_suffix(1);
  if (field.size() >= 2 && field.front() == '"' && field.back() == '"')
    field = field.substr(1, field.size() - 2);
  return field;
}

}  // namespace

std::size_t SplitFields(std::string_view line, char separator, std::string_view* fields,
                        std::size_t max) {
  std::size_t count = 0;
  std::size_t start = 0;
  while (count < max) {
    std::size_t at = start;
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t') && line[at] != separator) ++at;
    std::size_t stop;
    if (at < line.size() && line[at] == '"') {
      const std::size_t quote = line.find('"', at + 1);
      stop = line.find(separator, quote == std::string_view::npos ? line.size() : quote + 1);
    } else {
      stop = line.find(separator, start);
    }
    if (stop == std::string_view::npos || count + 1 == max) {
      fields[count++] = Trimmed(line.substr(start));
      break;
    }
    fields[count++] = Trimmed(line.substr(start, stop - start));
    start = stop + 1;
  }
  return count;
}

bool ParseNumber(std::string_view field, bool decimalComma, double& value) {
  if (!field.empty() && field.front() == '+') field.remove_prefix(1);
  if (field.empty()) return false;
  // from_chars takes "nan", "inf" and hexadecimal floats in its general form; only decimals
  // are prices.
  const char first = field.front() == '-' && field.size() > 1 ? field[1] : field.front();
  if (!((first >= '0' && first <= '9') || first == '.' || (decimalComma && first == ',')))
    return false;
  char copy[128];
  if (decimalComma) {
    if (field.size() > sizeof copy) return false;
    for (std::size_t i = 0; i < field.size(); ++i) copy[i] = field[i] == ',' ? '.' : field[i];
    field = std::string_view(copy, field.size());
  }
  double parsed = 0;
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), parsed,
                                            std::chars_format::general);
  if (error != std::errc() || end != field.data() + field.size() || !std::isfinite(parsed))
    return false;
  value = parsed;
  return true;
}

const char* LineFaultText(LineFault fault) {
  switch (fault) {
    case LineFault::kNone:
      return "";
    case LineFault::kFields:
      return "fewer fields than the layout has";
    case LineFault::kTime:
      return "unreadable time stamp";
    case LineFault::kPrice:
      return "a price that is not a number";
    case LineFault::kBar:
      return "a bar whose high and low do not hold its open and close";
  }
  return "";
}

LineFault ReadPriceLine(std::string_view line, const Layout& layout, PriceRecord& out,
                        std::string_view& field) {
  std::string_view fields[kMaxFields];
  const std::size_t wanted = static_cast<std::size_t>(layout.lastIndex) + 1;
  const std::size_t count =
      SplitFields(line, layout.separator, fields, wanted < kMaxFields ? wanted + 1 : kMaxFields);
  field = {};
  if (count < wanted) return LineFault::kFields;

  if (!layout.time.Read(fields[layout.timeIndex], out.stamp)) {
    field = fields[layout.timeIndex];
    return LineFault::kTime;
  }
  if (layout.clockIndex >= 0) {
    Stamp clock;
    if (!layout.clock.Read(fields[layout.clockIndex], clock)) {
      field = fields[layout.clockIndex];
      return LineFault::kTime;
    }
    out.stamp.millis += clock.millis;
    out.stamp.absolute = clock.absolute;
  }

  out.present = 0;
  if (layout.IsBars()) {
    const int columns[4] = {layout.open, layout.high, layout.low, layout.close};
    for (int i = 0; i < 4; ++i)
      if (!ParseNumber(fields[columns[i]], layout.decimalComma, out.values[i])) {
        field = fields[columns[i]];
        return LineFault::kPrice;
      }
    out.present = 0x0F;
    const double open = out.values[0], high = out.values[1], low = out.values[2],
                 close = out.values[3];
    if (!(low <= open && low <= close && high >= open && high >= close)) return LineFault::kBar;
    return LineFault::kNone;
  }
  const int columns[2] = {layout.bid >= 0 ? layout.bid : layout.price, layout.ask};
  for (int i = 0; i < 2; ++i) {
    if (columns[i] < 0) continue;
    const std::string_view text = fields[columns[i]];
    if (text.empty()) continue;
    if (!ParseNumber(text, layout.decimalComma, out.values[i])) {
      field = text;
      return LineFault::kPrice;
    }
    out.present |= static_cast<std::uint8_t>(1u << i);
  }
  return LineFault::kNone;
}

void ShownText(std::string_view text, std::size_t max, char* out, std::size_t outSize) {
  std::size_t n = text.size() < max ? text.size() : max;
  if (n + 1 > outSize) n = outSize - 1;
  for (std::size_t i = 0; i < n; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    out[i] = c < 0x20 || c >= 0x7F ? '?' : static_cast<char>(c);
  }
  out[n] = '\0';
}

}  // namespace kmr
