#include "tester/sweep/walk_forward_report.h"

#include <cmath>
#include <filesystem>

#include "tester/report/curve_reducer.h"
#include "tester/report/html/equity_charts.h"
#include "tester/report/html/html_chart.h"
#include "tester/report/html/html_page.h"
#include "tester/report/html/html_table.h"
#include "tester/report/html/html_text.h"
#include "tester/report/json_writer.h"
#include "tester/report/report_format.h"
#include "tester/report/run_report.h"
#include "tester/report/whole_files.h"
#include "tester/settings/local_time.h"
#include "tester/settings/text_convert.h"
#include "tester/sweep/walk_forward_stitch.h"

namespace kmr {

namespace {

const char* const kWindowColor = "#52606d";

std::string LocalText(std::int32_t time) {
  return FormatLocalTime(time, "%Y-%m-%d %H:%M:%S");
}

// A value as the CSV holds it: empty when it is empty.
std::string Cell(std::optional<double> value) {
  return value ? ShortestNumber(*value) : std::string();
}

// Quoted when it holds a separator, a quote or a line break.
std::string CsvText(const std::string& text) {
  if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

void OptionalNumber(JsonObject& json, const char* key, std::optional<double> value) {
  if (value)
    json.Number(key, *value);
  else
    json.Null(key);
}

JsonObject StatisticsJson(const RunStatistics& statistics) {
  JsonObject json;
  AddStatisticsJson(json, statistics);
  return json;
}

JsonObject WindowJson(const WalkForwardWindowResult& w) {
  JsonObject json;
  json.Integer("window", static_cast<long long>(w.window.index));
  json.Text("trainStart", IsoLocalTime(w.window.trainStart));
  json.Text("warmupEnd", IsoLocalTime(w.window.warmupEnd));
  json.Text("testStart", IsoLocalTime(w.window.testStart));
  json.Text("testEnd", IsoLocalTime(w.window.testEnd));
  json.Integer("runs", static_cast<long long>(w.runs));
  json.Integer("failedRuns", static_cast<long long>(w.failedRuns));
  if (!w.ok) json.Text("error", w.error);
  JsonObject params;
  for (const auto& [name, value] : w.params) params.Text(name, value);
  json.Object("params", params);
  if (!w.inSampleCommand.empty()) {
    JsonObject inSample;
    inSample.Text("command", w.inSampleCommand);
    inSample.Object("statistics", StatisticsJson(w.inSample));
    json.Object("inSample", inSample);
  }
  if (w.ok) {
    JsonObject outOfSample;
    outOfSample.Text("command", w.outOfSampleCommand);
    outOfSample.Integer("historyLines", w.outOfSampleFigures.historyLines);
    outOfSample.Integer("tradeLines", w.outOfSampleFigures.tradeLines);
    outOfSample.Object("statistics", StatisticsJson(w.outOfSample));
    json.Object("outOfSample", outOfSample);
  }
  OptionalNumber(json, "efficiency", w.efficiency);
  return json;
}

// The axis names of the chosen parameters, in the order the first window gives them.
std::vector<std::string> ParamNames(const WalkForwardReport& report) {
  std::vector<std::string> names;
  for (const WalkForwardWindowResult& w : report.windows) {
    for (const auto& param : w.params)
      if (std::find(names.begin(), names.end(), param.first) == names.end())
        names.push_back(param.first);
  }
  return names;
}

std::string ParamValue(const WalkForwardWindowResult& w, const std::string& name) {
  for (const auto& [n, v] : w.params)
    if (n == name) return v;
  return "";
}

std::string ParamsText(const WalkForwardWindowResult& w) {
  std::string text;
  for (const auto& [name, value] : w.params)
    text += (text.empty() ? "" : ", ") + name + "=" + value;
  return text.empty() ? "-" : text;
}

HtmlCell Money(std::optional<double> value) {
  return {MoneyText(value), value ? SignClass(*value) : ""};
}
HtmlCell Plain(std::string text) {
  return {std::move(text), ""};
}

std::string EquityChart(const WalkForwardReport& report) {
  const std::vector<CurveBucket> curve = ReduceBuckets(report.stitched.curve, kCurveBuckets);
  EquityCharts charts = EquityChartsOf(curve, "Stitched out-of-sample equity and balance",
                                       "No out-of-sample trade lines");
  // Where each test period starts, on the equity the earlier ones ended with.
  ChartMarkers starts{{}, MarkerShape::kCircle, kWindowColor, "Test period starts"};
  double offset = 0;
  for (const WalkForwardWindowResult& w : report.windows) {
    if (!w.ok) continue;
    starts.points.push_back({static_cast<double>(w.window.testStart), offset});
    offset += w.outOfSample.netProfitWithOpen;
  }
  if (!curve.empty()) charts.equity.markers.push_back(std::move(starts));
  return RenderSvgChart(charts.equity) + RenderSvgChart(charts.drawdown);
}

std::string WindowsTable(const WalkForwardReport& report) {
  HtmlTable table;
  table.cssClass = "trades";
  table.header = {"#",
                  "Training",
                  "Test period",
                  "Chosen",
                  "IS " + report.rankBy,
                  "IS annual",
                  "OOS net (with open)",
                  "OOS trades",
                  "OOS annual",
                  "Efficiency"};
  table.numeric = {true, false, false, false, true, true, true, true, true, true};
  for (const WalkForwardWindowResult& w : report.windows) {
    table.rows.push_back({
        Plain(std::to_string(w.window.index)),
        Plain(LocalText(w.window.trainStart) + " to " + LocalText(w.window.trainEnd)),
        Plain(LocalText(w.window.testStart) + " to " + LocalText(w.window.testEnd)),
        Plain(w.ok ? ParamsText(w) : "error: " + w.error),
        Plain(RankedFigureText(w, report.rankBy)),
        Plain(w.inSampleCommand.empty() ? "-" : PercentText(w.inSample.annualReturn)),
        w.ok ? Money(w.outOfSample.netProfitWithOpen) : Plain("-"),
        Plain(w.ok ? std::to_string(w.outOfSample.trades) : "-"),
        Plain(w.ok ? PercentText(w.outOfSample.annualReturn) : "-"),
        Plain(DecimalText(w.efficiency)),
    });
  }
  return RenderTable(table);
}

std::string StatisticsTable(const RunStatistics& s) {
  std::vector<NamedValue> rows = {
      {"Net profit (closed)", Money(s.netProfit)},
      {"Net profit with open deals", Money(s.netProfitWithOpen)},
      {"Profit factor", Plain(DecimalText(s.profitFactor))},
      {"Trades (long / short)",
       Plain(Format("%ld (%ld / %ld)", s.trades, s.longTrades, s.shortTrades))},
      {"Win rate", Plain(PercentText(s.winRate))},
      {"Max drawdown", {MoneyText(s.maxDrawdown), s.maxDrawdown > 0 ? "loss" : ""}},
      {"Max drawdown, % of peak", Plain(PercentText(s.maxDrawdownShare))},
      {"Annual return", Plain(PercentText(s.annualReturn))},
      {"Sharpe ratio", Plain(DecimalText(s.sharpe))},
      {"Sortino ratio", Plain(DecimalText(s.sortino))},
      {"Total commission", Plain(MoneyText(s.totalCommission))},
  };
  return RenderNamedValues(rows, "named");
}

}  // namespace

std::optional<double> WalkForwardEfficiency(std::optional<double> outOfSample,
                                            std::optional<double> inSample) {
  // Over an in-sample loss the ratio reads backwards: -20 % out of sample over -10 % in sample
  // would be an efficiency of 2.
  if (!outOfSample || !inSample || !std::isfinite(*outOfSample) || !(*inSample > 0) ||
      !std::isfinite(*inSample))
    return std::nullopt;
  const double value = *outOfSample / *inSample;
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

std::string RankedFigureText(const WalkForwardWindowResult& window, const std::string& rankBy) {
  if (window.inSampleCommand.empty()) return "-";
  const std::optional<double> value = StatisticValue(window.inSample, rankBy);
  return StatisticIsCount(rankBy) ? DecimalText(value, 0) : DecimalText(value);
}

std::string WalkForwardJson(const WalkForwardReport& report) {
  JsonObject json;
  json.Text("file", report.priceFile);
  json.Text("train", report.train);
  json.Text("test", report.test);
  json.Text("step", report.step);
  json.Text("warmup", report.warmup);
  json.Text("anchored", report.anchored ? "yes" : "no");
  json.Text("rankBy", report.rankBy);
  json.Number("accountSize", report.accountSize);
  std::vector<JsonObject> windows;
  for (const WalkForwardWindowResult& w : report.windows) windows.push_back(WindowJson(w));
  json.Objects("windows", windows);
  JsonObject stitched;
  stitched.Integer("tradeLines", report.stitched.tradeLines);
  if (report.stitched.tradeLines > 0) {
    stitched.Text("tradeFrom", IsoLocalTime(report.stitched.firstTradeTime));
    stitched.Text("tradeTo", IsoLocalTime(report.stitched.lastTradeTime));
  }
  stitched.Object("statistics", StatisticsJson(report.stitchedStatistics));
  json.Object("outOfSample", stitched);
  OptionalNumber(json, "meanInSampleAnnualReturn", report.meanInSampleAnnualReturn);
  OptionalNumber(json, "efficiency", report.efficiency);
  return json.Finish() + "\n";
}

std::string WalkForwardWindowsCsv(const WalkForwardReport& report) {
  const std::vector<std::string> params = ParamNames(report);
  std::string csv = "window,trainStart,warmupEnd,testStart,testEnd,runs,failedRuns";
  for (const std::string& name : params) csv += "," + CsvText(name);
  for (std::string_view name : StatisticNames()) csv += ",is." + std::string(name);
  for (std::string_view name : StatisticNames()) csv += ",oos." + std::string(name);
  csv += ",efficiency,error,inSampleCommand,outOfSampleCommand\n";
  for (const WalkForwardWindowResult& w : report.windows) {
    csv += std::to_string(w.window.index) + "," + IsoLocalTime(w.window.trainStart) + "," +
           IsoLocalTime(w.window.warmupEnd) + "," + IsoLocalTime(w.window.testStart) + "," +
           IsoLocalTime(w.window.testEnd) + "," + std::to_string(w.runs) + "," +
           std::to_string(w.failedRuns);
    for (const std::string& name : params) csv += "," + CsvText(ParamValue(w, name));
    const bool haveIn = !w.inSampleCommand.empty();
    for (std::string_view name : StatisticNames())
      csv += "," + (haveIn ? Cell(StatisticValue(w.inSample, name)) : std::string());
    for (std::string_view name : StatisticNames())
      csv += "," + (w.ok ? Cell(StatisticValue(w.outOfSample, name)) : std::string());
    csv += "," + Cell(w.efficiency) + "," + CsvText(w.error) + "," + CsvText(w.inSampleCommand) +
           "," + CsvText(w.outOfSampleCommand) + "\n";
  }
  return csv;
}

std::string WalkForwardHtml(const WalkForwardReport& report) {
  const std::string name = std::filesystem::path(report.priceFile).filename().string();
  std::string html = "<header class=\"report\">\n<h1>Walk-forward: " + HtmlEscape(name) + "</h1>\n";
  html += "<p class=\"subtitle\">Each training period's best run by " + HtmlEscape(report.rankBy) +
          ", traded on the test period that follows it</p>\n";
  html += "<dl class=\"meta\">\n";
  auto item = [&html](const std::string& label, const std::string& value) {
    html += "<dt>" + HtmlEscape(label) + "</dt><dd>" + HtmlEscape(value) + "</dd>\n";
  };
  item("Price file", report.priceFile);
  item("Windows", Format("%zu: train %s, test %s, step %s, warm-up %s%s", report.windows.size(),
                         report.train.c_str(), report.test.c_str(), report.step.c_str(),
                         report.warmup.c_str(), report.anchored ? ", anchored" : ""));
  if (report.stitched.tradeLines > 0)
    item("Out-of-sample period", LocalText(report.stitched.firstTradeTime) + "  to  " +
                                     LocalText(report.stitched.lastTradeTime));
  item("Account size", MoneyText(report.accountSize));
  html += "</dl>\n</header>\n";

  const RunStatistics& s = report.stitchedStatistics;
  std::vector<KeyFigure> figures;
  figures.push_back({"OOS net profit", MoneyText(s.netProfitWithOpen),
                     "with deals open at each "
                     "test period's end",
                     SignClass(s.netProfitWithOpen)});
  figures.push_back({"Max drawdown", MoneyText(s.maxDrawdown),
                     PercentText(s.maxDrawdownShare) + " of the peak",
                     s.maxDrawdown > 0 ? "loss" : ""});
  figures.push_back({"OOS annual return", PercentText(s.annualReturn), "on the account",
                     s.annualReturn ? SignClass(*s.annualReturn) : ""});
  figures.push_back({"IS annual return", PercentText(report.meanInSampleAnnualReturn),
                     "mean of the training periods", ""});
  figures.push_back({"Efficiency", DecimalText(report.efficiency), "OOS / IS annual return", ""});
  figures.push_back({"OOS trades", std::to_string(s.trades),
                     Format("%ld long, %ld short", s.longTrades, s.shortTrades), ""});

  std::string body = html + RenderKeyFigures(figures);
  body += HtmlSection("Out-of-sample equity", EquityChart(report), "equity");
  body += HtmlSection("Windows", WindowsTable(report), "windows");
  body += HtmlSection("Stitched out-of-sample statistics", StatisticsTable(s), "statistics");
  return HtmlPage("Walk-forward: " + name, body);
}

std::string WriteWalkForwardReport(const std::string& stemPath, const WalkForwardReport& report) {
  const std::filesystem::path path(stemPath);
  const std::string stem = path.filename().string();
  std::string folder = path.parent_path().string();
  if (folder.empty()) folder = ".";
  return WriteWholeFiles(folder, {{stem + ".walk-forward.json", WalkForwardJson(report)},
                                  {stem + ".windows.csv", WalkForwardWindowsCsv(report)},
                                  {stem + ".oos-equity.csv", EquityCsv(report.stitched)},
                                  {stem + ".oos-trades.csv", TradesCsv(report.stitched)},
                                  {stem + ".walk-forward.html", WalkForwardHtml(report)}});
}

}  // namespace kmr
