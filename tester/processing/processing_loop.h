// The processing loop: replays the source file through the engine, first as history ticks and
// then as trade ticks whose commands the simulated broker carries out. Untimed runs finish inside
// one call; timed runs handle one line per OnTimer call, which the front (a QTimer, a test)
// drives while the loop wants its timer (SetTimerActive of the view, or TimerActive()).
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "tester/connector/engine_api.h"
#include "tester/settings/tester_settings.h"
#include "tester/source/source_reader.h"

namespace kmr {

class CKMRBroker;
class ProcessingView;
class RunRecorder;

enum class SourceState { kClosed, kHistory, kTrade };

inline constexpr const char* kNoDataMessage =
    "No data to process.\nWas History Data processed before?";
inline constexpr const char* kSourceCannotOpenMessage = "Source file cannot be open.";

class ProcessingLoop {
 public:
  // `settings` is the front's TesterSettings, read at every start and changed by the edits read
  // there. `engine` and `broker` may be null (nothing is then called or carried out).
  ProcessingLoop(TesterSettings& settings, const EngineApi* engine, CKMRBroker* broker,
                 ProcessingView& view);

  // --- The buttons: each catches its errors and reports them through the view ---
  void ProcessHD();    // "Process HD"
  void ProcessTD();    // "Process TD"
  void ProcessALL();   // "Process ALL"
  void ProcessStep();  // "Process Step"
  void Stop();         // "Stop": closes the source; running flag and timer stay
  // The timer event; `nowMs` is a steady clock in milliseconds.
  void OnTimer(std::uint64_t nowMs);
  // The timer event on the loop's own clock (SetClock).
  void OnTimer() { OnTimer(nowMs_()); }
  // "Check File": the text for edit 1004, or nullopt when an error abandoned it (reported).
  std::optional<std::string> CheckFile();
  // Closing the main window: the source is closed.
  void CloseSource();

  // --- The steps themselves; they throw SourceError / SettingsError ---
  void StartHistory();
  void StartTrade();
  void DrainCommands();
  bool OpenSource();  // shows "Source file cannot be open." on failure

  // Storing the settings when history starts (the GUI's behaviour). kmr-replay turns it off
  // unless asked to save. A failed save is shown as a message and the run goes on.
  void SetSaveOnHistoryStart(bool save) { saveOnHistoryStart_ = save; }
  // A bar file fed through ProcessHistoryM1 at every start of history processing, after the
  // engine is initialised and before the price file's first line (which the bars must
  // precede). Empty: none.
  void SetHistoryBars(std::string path) { historyBarsFile_ = std::move(path); }
  // The recorder of the run's report (null: none), told of every line; cleared when history
  // processing starts, as the broker's statistics are.
  void SetRecorder(RunRecorder* recorder) { recorder_ = recorder; }
  // A time window on the price file (seconds since 1970 UTC): lines before `historyFrom` are
  // skipped, not given to the engine; the trade part ends with the first line at or after
  // `tradeTill`, as if the file ended there. The defaults leave the whole file.
  void SetHistoryFrom(std::int64_t historyFrom) { historyFrom_ = historyFrom; }
  void SetTradeTill(std::int64_t tradeTill) { tradeTill_ = tradeTill; }
  // Parsed price files to take the lines from instead of reading the file (null: none).
  void SetPriceCaches(const PriceCaches* caches) { reader_.SetCaches(caches); }
  // The clock of timed processing (milliseconds); defaults to std::chrono::steady_clock.
  void SetClock(std::uint64_t (*nowMs)()) { nowMs_ = nowMs; }

  SourceState State() const { return state_; }
  std::int32_t HistoryTillTime() const { return historyTill_; }
  bool Running() const { return running_; }
  bool StepFlag() const { return step_; }
  bool TimerActive() const { return timerActive_; }
  double LastPrice() const { return reader_.LastPrice(); }
  std::int32_t LastTickTime() const { return reader_.LastTickTime(); }
  // Lines given to the engine since the last start of history processing.
  long HistoryLines() const { return historyLines_; }
  long TradeLines() const { return tradeLines_; }
  long HistoryBars() const { return historyBars_; }

 private:
  bool ReadSourceLine(SourceLine& line);
  bool ReadHistoryLine(SourceLine& line);  // skips the lines before historyFrom_
  void ProcessTradeLine(const SourceLine& line, bool& drained);
  void StartTimer();
  void StopTimer();
  template <typename F>
  void Guarded(F&& action);

  TesterSettings& settings_;
  const EngineApi* engine_;
  CKMRBroker* broker_;
  ProcessingView& view_;
  RunRecorder* recorder_ = nullptr;
  SourceReader reader_;
  SourceState state_ = SourceState::kClosed;
  std::int32_t historyTill_ = std::numeric_limits<std::int32_t>::max();
  // 64 bits, so that no 32-bit line time lies outside the defaults.
  std::int64_t historyFrom_ = std::numeric_limits<std::int64_t>::min();
  std::int64_t tradeTill_ = std::numeric_limits<std::int64_t>::max();
  bool running_ = false;
  bool step_ = false;
  bool timerActive_ = false;
  std::uint64_t lastStepTime_ = 0;
  bool saveOnHistoryStart_ = true;
  std::uint64_t (*nowMs_)() = nullptr;
  long historyLines_ = 0;
  long tradeLines_ = 0;
  std::string historyBarsFile_;
  long historyBars_ = 0;
  // The price file's first line, read ahead to check the history bars against it.
  SourceLine pending_;
  bool havePending_ = false;
};

}  // namespace kmr
