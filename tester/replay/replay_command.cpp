#include "tester/replay/replay_command.h"

#include <cstdlib>

#include "tester/report/report_format.h"
#include "tester/settings/chart_text.h"
#include "tester/settings/local_time.h"
#include "tester/settings/text_convert.h"

namespace kmr {

namespace {

bool IsSafe(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("_-+./:,=@%^").find(c) != std::string_view::npos;
}

// The charts as --trend / --entry take them: each slot up to the last one in use.
std::string ChartList(const std::uint32_t (&charts)[8], bool isTrend) {
  int used = 8;
  while (used > 0 && charts[used - 1] == 0) --used;
  std::string list;
  for (int i = 0; i < used; ++i) list += (i ? "," : "") + ChartSpecToText(charts[i], isTrend);
  return list.empty() ? ChartSpecToText(0, isTrend) : list;
}

}  // namespace

std::string LocalTimeOptionText(std::int32_t time) {
  const LocalDateTime t = LocalFieldsOf(time);
  return Format("%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
}

std::string ShellQuote(std::string_view text) {
  bool safe = !text.empty();
  for (char c : text) safe = safe && IsSafe(c);
  if (safe) return std::string(text);
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string ReplayCommandLine(const SettingsRecord& record, const std::string& priceFile,
                              double accountSize, const std::string& library,
                              const ReplayInputs& inputs) {
  const TesterSettings& s = record.settings;
  std::string command;
  if (const char* zone = std::getenv("TZ"); zone && *zone) command = "TZ=" + ShellQuote(zone) + " ";
  command += "kmr-replay --defaults";
  auto add = [&](const char* name, const std::string& value) {
    command += std::string(" ") + name + " " + ShellQuote(value);
  };
  auto real = [&](const char* name, double value) { add(name, ShortestNumber(value)); };
  auto whole = [&](const char* name, long long value) { add(name, std::to_string(value)); };
  if (inputs.historyFrom) add("--history-from", LocalTimeOptionText(*inputs.historyFrom));
  add("--history-till", LocalTimeOptionText(record.HistoryTill));
  if (inputs.tradeTill) add("--trade-till", LocalTimeOptionText(*inputs.tradeTill));
  real("--spread", s.Spread);
  real("--stop", s.StopDistance);
  real("--limit", s.LimitDistance);
  real("--deal-size", s.DealSize);
  real("--tick-size", s.TickSize);
  real("--tick-value", s.TickValue);
  real("--commission", s.DealComm);
  real("--cad-profit", s.CadProfit);
  whole("--dca-interval", s.DcaInterval);
  add("--std-interval", Format("%d/%d", s.StdInterval, s.StdMinDeals));
  real("--max-net-pos", s.MaxNetPos);
  whole("--smoothing1", s.Smoothing1);
  whole("--smoothing2", s.Smoothing2);
  real("--reversal-dev", s.ReversalDev);
  add("--trend", ChartList(s.TrendCharts, true));
  whole("--consider-first", s.ConsiderFirst);
  add("--entry", ChartList(s.EntryCharts, false));
  whole("--flags", s.Flags);
  if (!s.LogFilePath.empty()) add("--log-file", Utf16ToUtf8(s.LogFilePath));
  real("--account", accountSize);
  if (!library.empty()) add("--library", library);
  if (inputs.quotesFromFile) add("--quotes", "bid-ask");
  if (!inputs.historyBars.empty()) add("--history-bars", inputs.historyBars);
  command += " " + ShellQuote(priceFile);
  return command;
}

}  // namespace kmr
