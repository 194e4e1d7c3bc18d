#include "tester/report/run_report.h"

#include "tester/report/json_writer.h"
#include "tester/report/report_format.h"
#include "tester/report/settings_json.h"
#include "tester/report/whole_files.h"

namespace kmr {

namespace {

// An empty cell for an empty value.
std::string Cell(double value) {
  return ShortestNumber(value);
}

void AddTime(JsonObject& json, const char* key, long lines, std::int32_t time) {
  if (lines > 0)
    json.Text(key, IsoLocalTime(time));
  else
    json.Null(key);
}

const char* EventName(EquityEvent event) {
  switch (event) {
    case EquityEvent::kOpen:
      return "open";
    case EquityEvent::kClose:
      return "close";
    case EquityEvent::kDayEnd:
      return "day end";
  }
  return "";
}

}  // namespace

const char* CloseReasonName(CloseReason reason) {
  switch (reason) {
    case CloseReason::kEngine:
      return "engine";
    case CloseReason::kStop:
      return "stop";
    case CloseReason::kLimit:
      return "limit";
    case CloseReason::kOpenAtEnd:
      return "open at end";
  }
  return "";
}

std::string RunReportJson(const RunReport& report) {
  const RunRecording& r = report.recording;
  JsonObject json;
  json.Text("file", report.priceFile);
  json.Text("command", report.command);
  json.Number("accountSize", report.statistics.accountSize);
  json.Integer("lines", r.historyLines + r.tradeLines);
  json.Integer("historyLines", r.historyLines);
  json.Integer("tradeLines", r.tradeLines);
  AddTime(json, "historyFrom", r.historyLines, r.firstHistoryTime);
  AddTime(json, "historyTo", r.historyLines, r.lastHistoryTime);
  AddTime(json, "tradeFrom", r.tradeLines, r.firstTradeTime);
  AddTime(json, "tradeTo", r.tradeLines, r.lastTradeTime);
  JsonObject settings = SettingsRecordJson(report.record);
  if (report.historyFrom) settings.Integer("HistoryFrom", *report.historyFrom);
  if (report.tradeTill) settings.Integer("TradeTill", *report.tradeTill);
  json.Object("settings", settings);
  JsonObject statistics;
  AddStatisticsJson(statistics, report.statistics);
  json.Object("statistics", statistics);
  return json.Finish() + "\n";
}

std::string TradesCsv(const RunRecording& r) {
  std::string csv =
      "trade,dealId,ticket,side,openTime,openPrice,closeTime,closePrice,volume,profit,"
      "commission,closeReason,holdingSeconds\n";
  long number = 0;
  for (const TradeRecord& t : r.trades) {
    csv += std::to_string(++number) + "," + std::to_string(t.dealId) + "," +
           std::to_string(t.ticket) + "," + (t.isLong ? "long" : "short") + "," +
           IsoLocalTime(t.openTime) + "," + Cell(t.openPrice) + "," + IsoLocalTime(t.closeTime) +
           "," + Cell(t.closePrice) + "," + Cell(t.volume) + "," + Cell(t.profit) + "," +
           Cell(t.commission) + "," + CloseReasonName(t.closeReason) + "," +
           std::to_string(static_cast<long long>(t.closeTime) - t.openTime) + "\n";
  }
  return csv;
}

std::string EquityCsv(const RunRecording& r) {
  std::string csv = "time,balance,equity,drawdown,netPosition,event,dealId\n";
  for (const EquityPoint& p : r.equity) {
    csv += IsoLocalTime(p.time) + "," + Cell(p.balance) + "," + Cell(p.equity) + "," +
           Cell(p.drawdown) + "," + Cell(p.netPosition) + "," + EventName(p.event) + "," +
           (p.event == EquityEvent::kDayEnd ? std::string() : std::to_string(p.dealId)) + "\n";
  }
  return csv;
}

std::string WriteRunReport(const std::string& folder, const RunReport& report) {
  return WriteWholeFiles(folder, {{"report.json", RunReportJson(report)},
                                  {"trades.csv", TradesCsv(report.recording)},
                                  {"equity.csv", EquityCsv(report.recording)},
                                  {"report.html", RunReportHtml(report)}});
}

}  // namespace kmr
