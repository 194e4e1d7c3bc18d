#include "tester/processing/processing_loop.h"

#include <chrono>

#include "common/command.h"
#include "tester/broker/broker.h"
#include "tester/processing/history_bars.h"
#include "tester/processing/processing_view.h"
#include "tester/report/run_recorder.h"
#include "tester/settings/settings_store.h"
#include "tester/settings/text_convert.h"

namespace kmr {

namespace {

std::uint64_t SteadyMs() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

// The wait cursor of an untimed run, also taken away when a line error ends the run.
class BusyScope {
 public:
  explicit BusyScope(ProcessingView& view) : view_(view) { view_.SetBusy(true); }
  ~BusyScope() { view_.SetBusy(false); }

 private:
  ProcessingView& view_;
};

}  // namespace

ProcessingLoop::ProcessingLoop(TesterSettings& settings, const EngineApi* engine,
                               CKMRBroker* broker, ProcessingView& view)
    : settings_(settings), engine_(engine), broker_(broker), view_(view), nowMs_(&SteadyMs) {}

template <typename F>
void ProcessingLoop::Guarded(F&& action) {
  try {
    action();
  } catch (const std::exception& error) {
    view_.ReportError(error.what());
  }
}

void ProcessingLoop::ProcessHD() {
  Guarded([&] {
    view_.AddLogLine("Processing HISTORY Data...", false, LastTickTime());
    StartHistory();
  });
}

void ProcessingLoop::ProcessTD() {
  Guarded([&] {
    view_.AddLogLine("Processing TRADE Data...", false, LastTickTime());
    running_ = true;
    step_ = false;
    StartTrade();
  });
}

void ProcessingLoop::ProcessALL() {
  Guarded([&] {
    view_.AddLogLine("Processing ALL Data...", false, LastTickTime());
    StartHistory();
    if (settings_.ProcessingDelay == 0) StartTrade();
  });
}

void ProcessingLoop::ProcessStep() {
  Guarded([&] {
    running_ = false;
    step_ = true;
    StartTrade();
  });
}

void ProcessingLoop::Stop() {
  CloseSource();
}

void ProcessingLoop::CloseSource() {
  if (reader_.IsOpen()) reader_.Close();
  havePending_ = false;
  state_ = SourceState::kClosed;
}

bool ProcessingLoop::OpenSource() {
  CloseSource();
  if (!reader_.Open(view_.SourceFileName())) {
    view_.ShowMessage(kSourceCannotOpenMessage);
    return false;
  }
  state_ = SourceState::kHistory;
  return true;
}

bool ProcessingLoop::ReadSourceLine(SourceLine& line) {
  if (havePending_) {
    havePending_ = false;
    line = pending_;
    return true;
  }
  if (reader_.ReadLine(line)) return true;
  state_ = SourceState::kClosed;
  return false;
}

bool ProcessingLoop::ReadHistoryLine(SourceLine& line) {
  while (ReadSourceLine(line))
    if (line.time >= historyFrom_) return true;
  return false;
}

void ProcessingLoop::StartHistory() {
  if (state_ == SourceState::kClosed && !OpenSource()) return;
  if (state_ != SourceState::kHistory) return;
  settings_.Spread = TextToDouble(view_.SpreadText());
  settings_.StopDistance = TextToDouble(view_.StopText());
  settings_.LimitDistance = TextToDouble(view_.LimitText());
  const std::int32_t historyTill = HistoryTillFromFields(view_.HistoryTillFields());
  if (saveOnHistoryStart_) {
    const SettingsRecord record{settings_, historyTill, Utf8ToUtf16(view_.SourceFileName())};
    const SaveResult saved = SaveSettings(record);
    if (!saved.saved) view_.ShowMessage("Settings not saved: " + saved.error);
  }
  historyTill_ = historyTill;
  if (engine_ != nullptr) ConfigureEngine(*engine_, settings_);
  if (broker_ != nullptr) broker_->ResetStatistics();
  if (recorder_ != nullptr) recorder_->Clear();
  historyLines_ = 0;
  tradeLines_ = 0;
  historyBars_ = 0;
  reader_.SetReadAsk(view_.QuotesFromFile());
  if (!historyBarsFile_.empty()) {
    SourceLine first;
    if (!havePending_ && ReadHistoryLine(first)) pending_ = first, havePending_ = true;
    try {
      historyBars_ =
          FeedHistoryBars(engine_, historyBarsFile_,
                          havePending_ ? std::optional<std::int32_t>(pending_.time) : std::nullopt);
    } catch (...) {
      CloseSource();  // the next start reads the price file from its first line again
      throw;
    }
  }

  if (settings_.ProcessingDelay != 0) {
    running_ = true;
    lastStepTime_ = nowMs_();
    StartTimer();
    return;
  }
  {
    BusyScope busy(view_);
    SourceLine line;
    while (ReadHistoryLine(line)) {
      if (engine_ != nullptr) engine_->ProcessHistoryTick(line.price, line.time, 0);
      if (recorder_ != nullptr) recorder_->HistoryLine(line.time);
      ++historyLines_;
      if (line.time >= historyTill_) break;
    }
    if (reader_.IsOpen()) state_ = SourceState::kTrade;
    if (engine_ != nullptr) engine_->ProcessHistoryDataFinished();
  }
  view_.AddLogLine("Processing HISTORY Data finished", false, LastTickTime());
}

void ProcessingLoop::ProcessTradeLine(const SourceLine& line, bool& drained) {
  const double ask = LineAsk(line, reader_.ReadsAsk(), settings_.Spread);
  if (recorder_ != nullptr) recorder_->BeginTradeLine(line.time);
  if (broker_ != nullptr) broker_->OnPrice(line.price, ask);
  const int result =
      engine_ != nullptr ? engine_->ProcessNewTick(line.price, ask, line.time, 0) : 0;
  ++tradeLines_;
  if (line.time >= tradeTill_) reader_.Close();  // the next read ends the part, as at the end
  drained = result != 0;
  if (drained) DrainCommands();
  if (recorder_ != nullptr) recorder_->EndTradeLine();
}

void ProcessingLoop::StartTrade() {
  if (state_ != SourceState::kTrade) {
    view_.ShowMessage(kNoDataMessage);
    return;
  }
  settings_.Spread = TextToDouble(view_.SpreadText());
  if (settings_.ProcessingDelay != 0) {
    running_ = true;
    lastStepTime_ = nowMs_();
    StartTimer();
    return;
  }
  {
    BusyScope busy(view_);
    SourceLine line;
    bool drained = false;
    while (ReadSourceLine(line)) {
      ProcessTradeLine(line, drained);
      if (drained && step_) break;
    }
  }
  view_.ShowLastTick(LastTickTime(), LastPrice());
  if (broker_ != nullptr) view_.ShowStatistics(*broker_);
}

void ProcessingLoop::DrainCommands() {
  if (engine_ == nullptr) return;
  for (int i = 0; i < 10; ++i) {
    const std::uint64_t word = static_cast<std::uint64_t>(engine_->GetNextCommand());
    const std::uint8_t code = CommandCodeOf(word);
    const std::int32_t operand = static_cast<std::int32_t>(CommandOperandOf(word));
    if (code == kCommandOpenLong || code == kCommandOpenShort) {
      const bool isLong = code == kCommandOpenLong;
      const double price = broker_ != nullptr ? broker_->OpenDeal(isLong, operand) : 0.0;
      if (broker_ != nullptr) view_.ShowStatistics(*broker_);
      if (price != 0)
        view_.AddLogLine(
            Format("Open new %s deal ID=%i Price=%.4f", isLong ? "LONG" : "SHORT", operand, price),
            true, LastTickTime());
    } else if (code == kCommandClose) {
      const double price = broker_ != nullptr ? broker_->CloseDeal(operand) : 0.0;
      if (broker_ != nullptr) view_.ShowStatistics(*broker_);
      if (price != 0)
        view_.AddLogLine(Format("Closed deal ID=%i Price=%.4f", operand, price), true,
                         LastTickTime());
    }
  }
}

void ProcessingLoop::OnTimer(std::uint64_t nowMs) {
  if (!running_) return;
  if (static_cast<std::int64_t>(nowMs - lastStepTime_) < settings_.ProcessingDelay) return;
  view_.ShowLastTick(LastTickTime(), LastPrice());
  if (state_ != SourceState::kClosed) {
    try {
      SourceLine line;
      if (!(state_ == SourceState::kHistory ? ReadHistoryLine(line) : ReadSourceLine(line))) {
        view_.AddLogLine("Processing TRADING Data finished", false, LastTickTime());
        running_ = false;
        StopTimer();
      } else if (state_ == SourceState::kHistory) {
        if (engine_ != nullptr) engine_->ProcessHistoryTick(line.price, line.time, 0);
        if (recorder_ != nullptr) recorder_->HistoryLine(line.time);
        ++historyLines_;
        if (line.time >= historyTill_) {
          state_ = SourceState::kTrade;
          if (engine_ != nullptr) engine_->ProcessHistoryDataFinished();
          view_.AddLogLine("Processing HISTORY Data finished", false, LastTickTime());
        }
      } else {
        bool drained = false;
        ProcessTradeLine(line, drained);
        if (broker_ != nullptr) view_.ShowStatistics(*broker_);
      }
    } catch (const std::exception& error) {
      // Ends this event only; the next one goes on with the following line.
      view_.ReportError(error.what());
      return;
    }
  }
  lastStepTime_ = nowMs;
}

std::optional<std::string> ProcessingLoop::CheckFile() {
  try {
    CloseSource();
    reader_.SetReadAsk(view_.QuotesFromFile());
    bool opened = false;
    std::string summary;
    {
      BusyScope busy(view_);
      summary = kmr::CheckFile(reader_, view_.SourceFileName(), opened);
    }
    if (!opened) view_.ShowMessage(kSourceCannotOpenMessage);
    state_ = SourceState::kClosed;
    return summary;
  } catch (const std::exception& error) {
    state_ = SourceState::kClosed;
    view_.ReportError(error.what());
    return std::nullopt;
  }
}

void ProcessingLoop::StartTimer() {
  if (timerActive_) return;
  timerActive_ = true;
  view_.SetTimerActive(true);
}

void ProcessingLoop::StopTimer() {
  if (!timerActive_) return;
  timerActive_ = false;
  view_.SetTimerActive(false);
}

}  // namespace kmr
