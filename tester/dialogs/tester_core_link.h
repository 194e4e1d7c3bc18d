// The main window's hold on the tester core: the engine connector, the simulated broker and the
// processing loop that kmr-replay runs too, with the window as the loop's view.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "tester/broker/broker.h"
#include "tester/connector/library_connector.h"
#include "tester/processing/processing_loop.h"
#include "tester/processing/processing_view.h"
#include "tester/report/run_recorder.h"
#include "tester/report/run_report.h"
#include "tester/settings/tester_settings.h"

namespace kmr {

// The stored values that live in the window's controls.
struct StoredControls {
  bool found = false;            // a record was read
  std::int32_t historyTill = 0;  // 0: none stored
  std::string sourcePath;
  std::string note;  // why a stored record was not used
};

class TesterCoreLink {
 public:
  TesterCoreLink(TesterSettings& settings, ProcessingView& view);
  ~TesterCoreLink();

  // Reads the newest stored record into the settings.
  StoredControls LoadSettings();
  // Stores layout 6 with the view's history-till and source file; throws SettingsError when the
  // pickers hold an impossible date, and shows why when the store fails.
  void SaveSettings();
  // Loads the engine library (the default search when the path is empty) and creates the broker.
  bool Bind(const std::string& libraryPath);

  ProcessingLoop& Loop() { return *loop_; }
  void ProcessHD() { Run(&ProcessingLoop::ProcessHD); }
  void ProcessTD() { Run(&ProcessingLoop::ProcessTD); }
  void ProcessALL() { Run(&ProcessingLoop::ProcessALL); }
  void ProcessStep() { Run(&ProcessingLoop::ProcessStep); }
  void Stop() { loop_->Stop(); }
  void TimerEvent() { loop_->OnTimer(); }
  bool TimerActive() const { return loop_->TimerActive(); }
  // The summary of "Check File", nullopt when an error abandoned it (already reported).
  std::optional<std::string> CheckFile() { return loop_->CheckFile(); }

  bool HasBroker() const { return broker_ != nullptr; }
  const CKMRBroker* Broker() const { return broker_.get(); }
  void ResetStatistics();
  void UpdateBrokerMoney();

  // Whether trade lines were run since history processing last started: a report to make.
  bool HasReport() const { return recorder_.TradeLines() > 0; }
  // The report of the run so far, with the settings its history part started with.
  RunReport Report(double accountSize = kDefaultAccountSize) const;

  std::int32_t LastTickTime() const { return loop_->LastTickTime(); }
  double LastPrice() const { return loop_->LastPrice(); }

  // Source closed, broker destroyed, engine released; safe to call twice.
  void Close();

 private:
  // Runs a button's command and keeps the settings the run goes with.
  void Run(void (ProcessingLoop::*command)());

  TesterSettings& settings_;
  ProcessingView& view_;
  CKMRLibraryConnector connector_;
  std::unique_ptr<CKMRBroker> broker_;
  std::unique_ptr<ProcessingLoop> loop_;
  RunRecorder recorder_;
  std::string libraryPath_;
  SettingsRecord runRecord_;     // the settings and history-till time of the run recorded
  bool runAskFromFile_ = false;  // whether that run filled at the ask of the price file
};

}  // namespace kmr
