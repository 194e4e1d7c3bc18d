// "KMR Tester": the tester's main window. It owns the settings and, through the core link, the
// engine connector, the simulated broker and the processing loop.
#pragma once

#include <QDialog>
#include <QTimer>
#include <functional>
#include <memory>

#include "tester/dialogs/tester_core_link.h"
#include "tester/dialogs/tester_dlg_controls.h"
#include "tester/settings/tester_settings.h"

namespace kmr {

class CKMRTesterDlg : public QDialog, public ProcessingView {
  Q_OBJECT

 public:
  explicit CKMRTesterDlg(QWidget* parent = nullptr);
  ~CKMRTesterDlg() override;

  // Loads the stored settings, binds the engine and creates the broker. False when the engine
  // cannot be bound (after the box has been shown).
  bool Initialize(const std::string& libraryPath = {});

  // ProcessingView.
  void AddLogLine(std::string_view text, bool withTickTime, std::int32_t tickTime) override;
  void ShowStatistics(const CKMRBroker& broker) override;
  void ShowLastTick(std::int32_t tickTime, double price) override;
  void ShowMessage(std::string_view text) override;
  void ReportError(std::string_view text) override;
  void SetBusy(bool busy) override;
  std::string SourceFileName() const override;
  std::string SpreadText() const override;
  std::string StopText() const override;
  std::string LimitText() const override;
  LocalDateTime HistoryTillFields() const override;
  bool QuotesFromFile() const override;

  const TesterSettings& Settings() const { return settings_; }
  const TesterDlgControls& Controls() const { return c_; }
  TesterCoreLink& Core() { return *core_; }

  // Source closed, broker destroyed, engine released, window ended.
  void CloseDialog();
  // Esc takes the same road as "Close".
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Connect();
  // Runs one handler; an error it raises ends only that handler, with an error box.
  void Guarded(const std::function<void()>& handler);
  void Processing(void (TesterCoreLink::*command)());
  void SyncTimer();
  void OnTimer();
  void Browse();
  void CheckFile();
  void Reset();
  void OpenSettings();
  void SaveReport();
  void ShowReport();
  void UpdateReportMenu();
  void ShowStoredControls(const StoredControls& stored);

  TesterSettings settings_;
  TesterDlgControls c_;
  std::unique_ptr<TesterCoreLink> core_;
  QTimer timer_;
  bool closed_ = false;
  QString reportFolder_;  // where "Save Report..." wrote last
};

}  // namespace kmr
