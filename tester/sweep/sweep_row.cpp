#include <type_traits>

#include "tester/report/json_writer.h"
#include "tester/sweep/sweep_runner.h"

namespace kmr {

namespace {

// The writer's text without its layout: outside strings its line breaks and spaces are only
// there for people.
std::string OneLine(const std::string& text) {
  std::string line;
  line.reserve(text.size());
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      line += c;
      if (c == '\\') {
        if (i + 1 < text.size()) line += text[++i];
      } else if (c == '"') {
        inString = false;
      }
    } else if (c != '\n' && c != ' ') {
      line += c;
      inString = c == '"';
    }
  }
  return line;
}

}  // namespace

std::string SweepRowJson(const SweepRow& row, const std::string& sweepId, std::size_t sweepRuns) {
  JsonObject json;
  json.Text("sweep", sweepId);
  json.Integer("runs", static_cast<long long>(sweepRuns));
  json.Integer("index", static_cast<long long>(row.index));
  JsonObject params;
  for (const auto& [name, value] : row.params) params.Text(name, value);
  json.Object("params", params);
  json.Text("file", row.file);
  if (row.ok) {
    // As kmr-replay --json prints them, without the log.
    const SweepFigures& f = row.figures;
    json.Integer("lines", f.lines);
    json.Integer("historyLines", f.historyLines);
    json.Integer("tradeLines", f.tradeLines);
    if (f.usedHistoryBars) json.Integer("historyBars", f.historyBars);
    json.Number("floatingProfit", f.floatingProfit);
    json.Number("closedProfit", f.closedProfit);
    json.Number("maxDrawdown", f.maxDrawdown);
    json.Number("maxPosition", f.maxPosition);
    json.Integer("longDeals", f.longDeals);
    json.Integer("shortDeals", f.shortDeals);
    json.Integer("openDeals", f.openDeals);
    json.Number("accountSize", f.accountSize);
    JsonObject statistics;
    AddStatisticsJson(statistics, row.statistics);
    json.Object("statistics", statistics);
  } else {
    json.Text("error", row.error);
  }
  json.Text("command", row.command);
  return OneLine(json.Finish());
}

}  // namespace kmr
