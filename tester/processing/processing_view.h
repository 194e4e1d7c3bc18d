// The one interface between the processing loop and its front (the main window, or kmr-replay).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tester/settings/local_time.h"

namespace kmr {

class CKMRBroker;

class ProcessingView {
 public:
  virtual ~ProcessingView() = default;

  // --- What the loop shows ---
  // A log line; format it with FormatLogLine(text, withTickTime, tickTime). Newest first in the
  // window's list.
  virtual void AddLogLine(std::string_view text, bool withTickTime, std::int32_t tickTime) = 0;
  // The statistics displays; FormatStatistics(broker) gives the texts.
  virtual void ShowStatistics(const CKMRBroker& broker) = 0;
  // The last-tick display; FormatLastTick(tickTime, price) gives the text.
  virtual void ShowLastTick(std::int32_t tickTime, double price) = 0;
  // A message box, e.g. "No data to process.\nWas History Data processed before?".
  virtual void ShowMessage(std::string_view text) = 0;
  // An error that abandoned the running command (an invalid line: "FILE:LINE: message").
  virtual void ReportError(std::string_view text) = 0;

  // --- Optional ---
  virtual void SetBusy(bool /*busy*/) {}       // the wait cursor of untimed runs
  virtual void SetTimerActive(bool /*on*/) {}  // start (shortest period) or stop the step timer
  // Fill at the ask of the file's third field instead of the price plus Spread; read when
  // history processing starts and by "Check File".
  virtual bool QuotesFromFile() const { return false; }

  // --- What the loop reads from the front ---
  virtual std::string SourceFileName() const = 0;       // edit 1000, UTF-8
  virtual std::string SpreadText() const = 0;           // edit 1018 "Spread:"
  virtual std::string StopText() const = 0;             // edit 1024 "Stop[$]:"
  virtual std::string LimitText() const = 0;            // edit 1025 "Limit[$]:"
  virtual LocalDateTime HistoryTillFields() const = 0;  // pickers 1005 (date) and 1006 (time)
};

}  // namespace kmr
