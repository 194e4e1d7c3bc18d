// "KMR Settings": the engine's strategy parameters, the money settings shared with the simulated
// broker and the engine's log file. It edits a copy; only OK changes the copy.
#pragma once

#include <QDialog>
#include <array>

#include "tester/settings/tester_settings.h"

class QCheckBox;
class QLineEdit;

namespace kmr {

// Takes over the fields the settings dialog edits; Spread, StopDistance, LimitDistance and
// ProcessingDelay stay as they are in `to`.
void CopySettingsDialogFields(const TesterSettings& from, TesterSettings& to);

class CDlgKMRSettings : public QDialog {
  Q_OBJECT

 public:
  explicit CDlgKMRSettings(const TesterSettings& settings, QWidget* parent = nullptr);

  // The dialog's copy; after OK it holds what the controls showed.
  const TesterSettings& Settings() const { return settings_; }

  void accept() override;

 private:
  void BuildControls();
  void FillControls();
  void TakeControls();
  void BrowseLogFile();

  TesterSettings settings_;

  QLineEdit* dealSize_ = nullptr;
  QLineEdit* maxNetPos_ = nullptr;
  QLineEdit* tickSize_ = nullptr;
  QLineEdit* tickValue_ = nullptr;
  QLineEdit* dealComm_ = nullptr;
  QLineEdit* cadProfit_ = nullptr;
  QLineEdit* stdInterval_ = nullptr;
  QLineEdit* dcaInterval_ = nullptr;
  QLineEdit* smoothing1_ = nullptr;
  QLineEdit* smoothing2_ = nullptr;
  QLineEdit* reversalDev_ = nullptr;
  std::array<QLineEdit*, 8> trend_{};
  QLineEdit* considerFirst_ = nullptr;
  std::array<QLineEdit*, 8> entry_{};
  std::array<QCheckBox*, 4> flags_{};
  QLineEdit* logFile_ = nullptr;
};

}  // namespace kmr
