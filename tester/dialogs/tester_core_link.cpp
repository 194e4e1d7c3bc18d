#include "tester/dialogs/tester_core_link.h"

#include <filesystem>

#include "tester/replay/replay_command.h"
#include "tester/settings/local_time.h"
#include "tester/settings/settings_store.h"
#include "tester/settings/text_convert.h"

namespace kmr {

TesterCoreLink::TesterCoreLink(TesterSettings& settings, ProcessingView& view)
    : settings_(settings),
      view_(view),
      // Until an engine is bound the loop calls nothing and carries nothing out.
      loop_(std::make_unique<ProcessingLoop>(settings, nullptr, nullptr, view)) {}

TesterCoreLink::~TesterCoreLink() {
  Close();
}

StoredControls TesterCoreLink::LoadSettings() {
  SettingsRecord record;
  record.settings = settings_;
  const LoadResult loaded = kmr::LoadSettings(record);
  StoredControls stored;
  stored.note = loaded.note;
  if (!loaded.loaded) return stored;
  settings_ = record.settings;
  stored.found = true;
  stored.historyTill = record.HistoryTill;
  stored.sourcePath = Utf16ToUtf8(record.SourcePath);
  return stored;
}

void TesterCoreLink::SaveSettings() {
  const SettingsRecord record{settings_, HistoryTillFromFields(view_.HistoryTillFields()),
                              Utf8ToUtf16(view_.SourceFileName())};
  const SaveResult saved = kmr::SaveSettings(record);
  if (!saved.saved) view_.ShowMessage("Settings not saved: " + saved.error);
}

bool TesterCoreLink::Bind(const std::string& libraryPath) {
  Close();
  if (!connector_.BindLibrary(libraryPath)) return false;
  broker_ = std::make_unique<CKMRBroker>(&connector_.Api(), settings_);
  loop_ = std::make_unique<ProcessingLoop>(settings_, &connector_.Api(), broker_.get(), view_);
  recorder_.Clear();
  recorder_.Attach(broker_.get());
  loop_->SetRecorder(&recorder_);
  libraryPath_ = libraryPath;
  return true;
}

void TesterCoreLink::ResetStatistics() {
  if (broker_) broker_->ResetStatistics();
  recorder_.Clear();
}

void TesterCoreLink::Run(void (ProcessingLoop::*command)()) {
  const std::uint64_t run = recorder_.Clears();
  ((*loop_).*command)();
  if (recorder_.Clears() != run) {  // history processing started: a new run
    runRecord_.settings = settings_;
    runRecord_.HistoryTill = loop_->HistoryTillTime();
    runRecord_.SourcePath = Utf8ToUtf16(view_.SourceFileName());
    runAskFromFile_ = view_.QuotesFromFile();
  }
  runRecord_.settings.Spread = settings_.Spread;  // read again when trade processing starts
}

RunReport TesterCoreLink::Report(double accountSize) const {
  std::error_code ignored;
  const std::string file =
      std::filesystem::absolute(Utf16ToUtf8(runRecord_.SourcePath), ignored).string();
  RunReport report;
  report.priceFile = file;
  report.record = runRecord_;
  report.record.settings.ProcessingDelay = 0;
  ReplayInputs inputs;
  inputs.quotesFromFile = runAskFromFile_;
  report.command = ReplayCommandLine(report.record, file, accountSize, libraryPath_, inputs);
  report.recording = recorder_.Recording();
  report.statistics = ComputeStatistics(report.recording, accountSize);
  return report;
}

void TesterCoreLink::UpdateBrokerMoney() {
  if (broker_) broker_->SetMoneySettings(settings_);
}

void TesterCoreLink::Close() {
  loop_->CloseSource();
  // The loop must not keep the broker or the engine it is about to lose.
  loop_ = std::make_unique<ProcessingLoop>(settings_, nullptr, nullptr, view_);
  recorder_.Attach(nullptr);
  broker_.reset();
  connector_.ReleaseLibrary();
}

}  // namespace kmr
