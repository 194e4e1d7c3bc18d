#include "tester/source/bar_reader.h"

namespace kmr {

namespace {

std::string Shown(std::string_view line) {
  std::string text(line.substr(0, 60));
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
  return line.size() > 60 ? text + "..." : text;
}

}  // namespace

bool BarReader::Open(const std::string& path, std::string& error) {
  path_ = path;
  times_ = LineTimeConverter();
  return input_.Open(path, error);
}

bool BarReader::ReadBar(SourceBar& bar) {
  std::string_view line;
  const LineInput::Result result = input_.Next(line);
  if (result == LineInput::Result::kEnd) return false;
  const long number = input_.LineNumber();
  if (result == LineInput::Result::kTooLong) throw SourceError(path_, number, "line too long");
  auto invalid = [&](const std::string& why) {
    return SourceError(path_, number,
                       "invalid bar \"" + Shown(line) + "\": " + why +
                           " (bars are \"YYYYMMDD HHMMSS;open;high;low;close\")");
  };
  if (line.size() < 14) throw invalid("shorter than 14 characters");
  const std::optional<std::int32_t> time = times_.Convert(LineFields(line));
  if (!time) throw invalid("invalid date or time");
  double prices[4];
  std::size_t at = line.find(';');
  for (double& price : prices) {
    if (at == std::string_view::npos) throw invalid("fewer than four prices");
    const std::size_t next = line.find(';', at + 1);
    const std::string_view field = line.substr(
        at + 1, next == std::string_view::npos ? std::string_view::npos : next - at - 1);
    const std::optional<double> value = ParseDecimal(field);
    if (!value) throw invalid("a price that is not a number");
    price = *value;
    at = next;
  }
  bar = {*time, prices[0], prices[1], prices[2], prices[3]};
  if (!(bar.low <= bar.open && bar.low <= bar.close && bar.high >= bar.open &&
        bar.high >= bar.close))
    throw invalid("its high and low do not hold its open and close");
  return true;
}

}  // namespace kmr
