#include "tester/dialogs/kmr_tester_dlg.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateEdit>
#include <QDateTime>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QStandardPaths>
#include <QTimeEdit>
#include <exception>
#include <optional>

#include "tester/dialogs/about_dlg.h"
#include "tester/dialogs/dialog_services.h"
#include "tester/dialogs/dialog_text.h"
#include "tester/dialogs/dlg_kmr_settings.h"
#include "tester/processing/display_format.h"
#include "tester/report/run_report.h"

namespace kmr {

namespace {

// The shortest period a desktop timer gives; the loop itself decides when a line is due.
constexpr int kTimerPeriodMs = 10;

std::string Text(const QLineEdit* edit) {
  return edit->text().toStdString();
}

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

CKMRTesterDlg::CKMRTesterDlg(QWidget* parent) : QDialog(parent) {
  setObjectName("102");
  setWindowTitle("KMR Tester");
  setWindowIcon(TesterIcon());
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setSizeGripEnabled(true);
  c_ = BuildTesterDlgControls(this);
  const QDateTime now = QDateTime::currentDateTime();
  c_.historyDate->setDate(now.date());
  c_.historyTime->setTime(now.time());
  timer_.setInterval(kTimerPeriodMs);
  core_ = std::make_unique<TesterCoreLink>(settings_, *this);
  Connect();
  resize(720, 640);
}

CKMRTesterDlg::~CKMRTesterDlg() {
  timer_.stop();
  if (core_) core_->Close();
}

bool CKMRTesterDlg::Initialize(const std::string& libraryPath) {
  settings_.ProcessingDelay = 0;
  ShowStoredControls(core_->LoadSettings());
  if (!core_->Bind(libraryPath)) {
    ShowMessageBox(this, BoxKind::Critical, "KMR Tester initialization failed.");
    return false;
  }
  return true;
}

void CKMRTesterDlg::ShowStoredControls(const StoredControls& stored) {
  if (!stored.note.empty()) AddLogLine(stored.note, false, 0);
  if (!stored.found) return;
  c_.profitLoss->setText(kResetProfitText);
  c_.spread->setText(FormatPrice4(settings_.Spread));
  c_.stopDistance->setText(FormatPrice4(settings_.StopDistance));
  c_.limitDistance->setText(FormatPrice4(settings_.LimitDistance));
  if (stored.historyTill != 0) {
    const QDateTime local = QDateTime::fromSecsSinceEpoch(stored.historyTill);
    c_.historyDate->setDate(local.date());
    c_.historyTime->setTime(local.time());
  }
  if (!stored.sourcePath.empty()) c_.sourceFile->setText(QString::fromStdString(stored.sourcePath));
}

void CKMRTesterDlg::Connect() {
  connect(c_.about, &QAction::triggered, this, [this] {
    CAboutDlg about(this);
    about.exec();
  });
  connect(c_.saveReport, &QAction::triggered, this, [this] { Guarded([this] { SaveReport(); }); });
  connect(c_.showReport, &QAction::triggered, this, [this] { Guarded([this] { ShowReport(); }); });
  connect(c_.reportMenu, &QMenu::aboutToShow, this, &CKMRTesterDlg::UpdateReportMenu);
  connect(c_.browse, &QPushButton::clicked, this, [this] { Guarded([this] { Browse(); }); });
  connect(c_.checkFile, &QPushButton::clicked, this, [this] { Guarded([this] { CheckFile(); }); });
  connect(c_.processHD, &QPushButton::clicked, this,
          [this] { Processing(&TesterCoreLink::ProcessHD); });
  connect(c_.processTD, &QPushButton::clicked, this,
          [this] { Processing(&TesterCoreLink::ProcessTD); });
  connect(c_.processALL, &QPushButton::clicked, this,
          [this] { Processing(&TesterCoreLink::ProcessALL); });
  connect(c_.processStep, &QPushButton::clicked, this,
          [this] { Processing(&TesterCoreLink::ProcessStep); });
  connect(c_.stop, &QPushButton::clicked, this, [this] { Processing(&TesterCoreLink::Stop); });
  connect(c_.speed, &QSlider::valueChanged, this,
          [this](int position) { settings_.ProcessingDelay = position; });
  connect(c_.settings, &QPushButton::clicked, this,
          [this] { Guarded([this] { OpenSettings(); }); });
  connect(c_.reset, &QPushButton::clicked, this, [this] { Guarded([this] { Reset(); }); });
  connect(c_.clearLog, &QPushButton::clicked, c_.log, &QListWidget::clear);
  connect(c_.close, &QPushButton::clicked, this, &CKMRTesterDlg::CloseDialog);
  connect(&timer_, &QTimer::timeout, this, &CKMRTesterDlg::OnTimer);
}

void CKMRTesterDlg::Guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    ShowMessageBox(this, BoxKind::Critical, QString::fromStdString(error.what()));
  } catch (...) {
    ShowMessageBox(this, BoxKind::Critical, "Unknown error.");
  }
}

void CKMRTesterDlg::Processing(void (TesterCoreLink::*command)()) {
  Guarded([&] { (core_.get()->*command)(); });
  SyncTimer();
  UpdateReportMenu();
}

void CKMRTesterDlg::SyncTimer() {
  if (closed_) return;
  if (core_->TimerActive() && !timer_.isActive()) timer_.start();
  if (!core_->TimerActive() && timer_.isActive()) timer_.stop();
}

void CKMRTesterDlg::OnTimer() {
  Guarded([this] { core_->TimerEvent(); });
  SyncTimer();
  UpdateReportMenu();
}

void CKMRTesterDlg::UpdateReportMenu() {
  const bool ready = !closed_ && core_->HasReport();
  c_.saveReport->setEnabled(ready);
  c_.showReport->setEnabled(ready);
}

void CKMRTesterDlg::SaveReport() {
  if (!core_->HasReport()) return;
  QString start = reportFolder_;
  if (start.isEmpty()) start = QDir::homePath();
  const QString folder = AskFolderName(this, start);
  if (folder.isEmpty()) return;
  const std::string error = WriteRunReport(folder.toStdString(), core_->Report());
  if (!error.empty()) {
    ShowMessageBox(this, BoxKind::Critical, "Report not saved: " + QString::fromStdString(error));
    return;
  }
  reportFolder_ = folder;
  AddLogLine("Report saved in " + folder.toStdString(), false, 0);
}

void CKMRTesterDlg::ShowReport() {
  if (!core_->HasReport()) return;
  // A page of its own for the browser, apart from any folder the person saved to.
  const QString folder =
      QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + "/last-report";
  const std::string error = WriteRunReport(folder.toStdString(), core_->Report());
  if (!error.empty()) {
    ShowMessageBox(this, BoxKind::Critical, "Report not written: " + QString::fromStdString(error));
    return;
  }
  const QString page = folder + "/report.html";
  if (!OpenWithDesktop(page))
    ShowMessageBox(this, BoxKind::Critical, "No browser could open " + page);
}

void CKMRTesterDlg::AddLogLine(std::string_view text, bool withTickTime, std::int32_t tickTime) {
  c_.log->insertItem(0, QString::fromStdString(FormatLogLine(text, withTickTime, tickTime)));
}

void CKMRTesterDlg::ShowStatistics(const CKMRBroker& broker) {
  const StatisticsTexts texts = FormatStatistics(broker);
  c_.profitLoss->setText(QString::fromStdString(texts.profitLoss));
  c_.maxPosition->setText(QString::fromStdString(texts.maxPosition));
  c_.maxDrawdown->setText(QString::fromStdString(texts.maxDrawdown));
  c_.deals->setText(QString::fromStdString(texts.deals));
}

void CKMRTesterDlg::ShowLastTick(std::int32_t tickTime, double price) {
  c_.lastTick->setText(QString::fromStdString(FormatLastTick(tickTime, price)));
}

void CKMRTesterDlg::ShowMessage(std::string_view text) {
  ShowMessageBox(this, BoxKind::Information, ToQString(text));
}

void CKMRTesterDlg::ReportError(std::string_view text) {
  ShowMessageBox(this, BoxKind::Critical, ToQString(text));
}

void CKMRTesterDlg::SetBusy(bool busy) {
  if (busy)
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  else
    QGuiApplication::restoreOverrideCursor();
}

std::string CKMRTesterDlg::SourceFileName() const {
  return c_.sourceFile->text().toStdString();
}
std::string CKMRTesterDlg::SpreadText() const {
  return Text(c_.spread);
}
std::string CKMRTesterDlg::StopText() const {
  return Text(c_.stopDistance);
}
std::string CKMRTesterDlg::LimitText() const {
  return Text(c_.limitDistance);
}

LocalDateTime CKMRTesterDlg::HistoryTillFields() const {
  const QDate date = c_.historyDate->date();
  const QTime time = c_.historyTime->time();
  return {date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second()};
}

bool CKMRTesterDlg::QuotesFromFile() const {
  return c_.askFromFile->isChecked();
}

void CKMRTesterDlg::Browse() {
  const QString chosen = AskOpenFileName(this, c_.sourceFile->text());
  if (!chosen.isEmpty()) c_.sourceFile->setText(chosen);
}

void CKMRTesterDlg::CheckFile() {
  const std::optional<std::string> summary = core_->CheckFile();
  if (summary) c_.fileInfo->setPlainText(QString::fromStdString(*summary).replace("\r\n", "\n"));
  SyncTimer();
}

void CKMRTesterDlg::Reset() {
  core_->ResetStatistics();
  UpdateReportMenu();
  c_.profitLoss->setText(kResetProfitText);
  c_.maxPosition->setText(kResetProfitText);
  c_.maxDrawdown->setText(kResetProfitText);
  c_.deals->setText(kResetDealsText);
}

void CKMRTesterDlg::OpenSettings() {
  CDlgKMRSettings dlg(settings_, this);
  if (dlg.exec() != QDialog::Accepted) return;
  CopySettingsDialogFields(dlg.Settings(), settings_);
  settings_.Spread = TextToDouble(c_.spread->text());
  settings_.StopDistance = TextToDouble(c_.stopDistance->text());
  settings_.LimitDistance = TextToDouble(c_.limitDistance->text());
  core_->SaveSettings();
  core_->UpdateBrokerMoney();
}

void CKMRTesterDlg::CloseDialog() {
  if (!closed_) {
    closed_ = true;
    timer_.stop();
    core_->Close();
  }
  done(QDialog::Accepted);
}

void CKMRTesterDlg::reject() {
  CloseDialog();
}

void CKMRTesterDlg::closeEvent(QCloseEvent* event) {
  CloseDialog();
  event->accept();
}

}  // namespace kmr
