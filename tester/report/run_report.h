// The report of one run: report.json (the file, the settings, the line counts and every
// statistic), trades.csv (one row per trade), equity.csv (one row per trade event and per day)
// and report.html (the page a trader shows someone), written together into one folder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tester/report/run_recording.h"
#include "tester/report/run_statistics.h"
#include "tester/settings/settings_store.h"

namespace kmr {

struct RunReport {
  std::string priceFile;
  std::string command;    // the kmr-replay command that reproduces the run
  SettingsRecord record;  // the settings used and the history-till time
  RunRecording recording;
  RunStatistics statistics;
  std::optional<std::int32_t> historyFrom, tradeTill;  // the window, when one was given
};

std::string RunReportJson(const RunReport& report);
std::string TradesCsv(const RunRecording& recording);
std::string EquityCsv(const RunRecording& recording);
std::string RunReportHtml(const RunReport& report);

// The four files into `folder` (created when missing), each whole or not at all. Returns the
// error naming the file, or an empty text.
std::string WriteRunReport(const std::string& folder, const RunReport& report);

// At most this many trades are listed and marked in report.html; the CSV holds all of them.
inline constexpr std::size_t kHtmlTradeLimit = 10000;

const char* CloseReasonName(CloseReason reason);  // "engine", "stop", "limit", "open at end"

}  // namespace kmr
