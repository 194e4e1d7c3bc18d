#include "tester/report/settings_json.h"

#include "tester/settings/text_convert.h"

namespace kmr {

JsonObject SettingsRecordJson(const SettingsRecord& record) {
  const TesterSettings& s = record.settings;
  JsonObject json;
  json.Number("Spread", s.Spread);
  json.Number("StopDistance", s.StopDistance);
  json.Number("LimitDistance", s.LimitDistance);
  json.Number("DealSize", s.DealSize);
  json.Number("CadProfit", s.CadProfit);
  json.Number("TickSize", s.TickSize);
  json.Number("TickValue", s.TickValue);
  json.Integer("DcaInterval", s.DcaInterval);
  json.Integer("StdInterval", s.StdInterval);
  json.Integer("StdMinDeals", s.StdMinDeals);
  json.Number("MaxNetPos", s.MaxNetPos);
  json.Number("DealComm", s.DealComm);
  json.Integer("Smoothing1", s.Smoothing1);
  json.Integer("Smoothing2", s.Smoothing2);
  json.Number("ReversalDev", s.ReversalDev);
  json.Unsigneds("TrendCharts", s.TrendCharts, 8);
  json.Integer("ConsiderFirst", s.ConsiderFirst);
  json.Unsigneds("EntryCharts", s.EntryCharts, 8);
  json.Integer("Flags", s.Flags);
  json.Text("LogFilePath", Utf16ToUtf8(s.LogFilePath));
  json.Integer("ProcessingDelay", s.ProcessingDelay);
  json.Integer("HistoryTill", record.HistoryTill);
  json.Text("SourcePath", Utf16ToUtf8(record.SourcePath));
  return json;
}

}  // namespace kmr
