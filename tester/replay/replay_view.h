// The front of kmr-replay: keeps the log lines (oldest first) and the messages, and hands the
// loop the command line's values as the main window's edits would.
#pragma once

#include <string>
#include <vector>

#include "tester/processing/processing_view.h"
#include "tester/settings/tester_settings.h"

namespace kmr {

class ReplayView : public ProcessingView {
 public:
  ReplayView(std::string sourceFile, const TesterSettings& settings, LocalDateTime historyTill,
             bool quotesFromFile = false);

  void AddLogLine(std::string_view text, bool withTickTime, std::int32_t tickTime) override;
  void ShowStatistics(const CKMRBroker&) override {}
  void ShowLastTick(std::int32_t, double) override {}
  void ShowMessage(std::string_view text) override { messages.emplace_back(text); }
  void ReportError(std::string_view text) override { errors.emplace_back(text); }

  std::string SourceFileName() const override { return sourceFile_; }
  std::string SpreadText() const override { return spread_; }
  std::string StopText() const override { return stop_; }
  std::string LimitText() const override { return limit_; }
  LocalDateTime HistoryTillFields() const override { return historyTill_; }
  bool QuotesFromFile() const override { return quotesFromFile_; }

  std::vector<std::string> log;
  std::vector<std::string> messages;
  std::vector<std::string> errors;

 private:
  std::string sourceFile_;
  std::string spread_, stop_, limit_;
  LocalDateTime historyTill_;
  bool quotesFromFile_;
};

}  // namespace kmr
