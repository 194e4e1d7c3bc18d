#include "tester/dialogs/dlg_kmr_settings.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "tester/dialogs/dialog_services.h"
#include "tester/dialogs/dialog_text.h"
#include "tester/settings/chart_text.h"

namespace kmr {

namespace {

constexpr int kTrendIds[8] = {1026, 1027, 1028, 1029, 1030, 1039, 1040, 1041};
constexpr int kEntryIds[8] = {1031, 1032, 1033, 1035, 1036, 1042, 1043, 1044};
constexpr int kFlagIds[4] = {1046, 1047, 1048, 1049};
constexpr const char* kFlagTexts[4] = {
    "Close positive deals on new trend", "Ignore trend on new deal signal",
    "Close positive group of deals on new trend",
    "Signal for new deal accepted only if all defined first trend charts synchronized"};
constexpr int kMaxLogPathUnits = 255;

QLineEdit* NewEdit(int id, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::number(id));
  return edit;
}

QLabel* NewLabel(const char* text, QWidget* parent, QWidget* buddy = nullptr) {
  auto* label = new QLabel(QString::fromLatin1(text), parent);
  if (buddy) label->setBuddy(buddy);
  return label;
}

QFrame* NewLine(QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

std::string EditText(const QLineEdit* edit) {
  return edit->text().toStdString();
}

// Labels stand above their edits, in one row of columns.
void AddColumn(QGridLayout* grid, int column, const char* label, QLineEdit* edit) {
  grid->addWidget(NewLabel(label, edit->parentWidget(), edit), 0, column);
  grid->addWidget(edit, 1, column);
}

// Labels stand beside their edits.
void AddPair(QHBoxLayout* row, const char* label, QLineEdit* edit) {
  row->addWidget(NewLabel(label, edit->parentWidget(), edit));
  row->addWidget(edit);
  row->addSpacing(12);
}

void AddLegend(QVBoxLayout* box, std::initializer_list<const char*> lines, QWidget* parent) {
  for (const char* line : lines) box->addWidget(NewLabel(line, parent));
}

}  // namespace

void CopySettingsDialogFields(const TesterSettings& from, TesterSettings& to) {
  to.DealSize = from.DealSize;
  to.CadProfit = from.CadProfit;
  to.TickSize = from.TickSize;
  to.TickValue = from.TickValue;
  to.DcaInterval = from.DcaInterval;
  to.StdInterval = from.StdInterval;
  to.StdMinDeals = from.StdMinDeals;
  to.MaxNetPos = from.MaxNetPos;
  to.DealComm = from.DealComm;
  to.Smoothing1 = from.Smoothing1;
  to.Smoothing2 = from.Smoothing2;
  to.ReversalDev = from.ReversalDev;
  for (int i = 0; i < 8; ++i) {
    to.TrendCharts[i] = from.TrendCharts[i];
    to.EntryCharts[i] = from.EntryCharts[i];
  }
  to.ConsiderFirst = from.ConsiderFirst;
  to.Flags = from.Flags;
  to.LogFilePath = from.LogFilePath;
}

CDlgKMRSettings::CDlgKMRSettings(const TesterSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
  setObjectName("130");
  setWindowTitle("KMR Settings");
  BuildControls();
  FillControls();
}

void CDlgKMRSettings::BuildControls() {
  auto* top = new QVBoxLayout(this);

  auto* money = new QGridLayout;
  dealSize_ = NewEdit(1017, this);
  maxNetPos_ = NewEdit(1034, this);
  tickSize_ = NewEdit(1019, this);
  tickValue_ = NewEdit(1020, this);
  dealComm_ = NewEdit(1021, this);
  cadProfit_ = NewEdit(1018, this);
  AddColumn(money, 0, "Deal Size:", dealSize_);
  AddColumn(money, 1, "MAX Net Pos:", maxNetPos_);
  AddColumn(money, 2, "Tick Size:", tickSize_);
  AddColumn(money, 3, "Tick Value:", tickValue_);
  AddColumn(money, 4, "Deal Comm [$]:", dealComm_);
  AddColumn(money, 5, "CAD Profit [$]:", cadProfit_);
  for (QLineEdit* edit : {dealSize_, maxNetPos_, tickSize_, tickValue_, dealComm_, cadProfit_})
    edit->setMaximumWidth(110);
  money->setColumnStretch(6, 1);
  top->addLayout(money);
  top->addWidget(NewLine(this));

  auto* intervals = new QHBoxLayout;
  stdInterval_ = NewEdit(1045, this);
  dcaInterval_ = NewEdit(1022, this);
  AddPair(intervals, "Std Interval [ticks/min.deals]:", stdInterval_);
  AddPair(intervals, "DCA Interval [in ticks]:", dcaInterval_);
  intervals->addStretch(1);
  top->addLayout(intervals);

  auto* smoothing = new QHBoxLayout;
  smoothing1_ = NewEdit(1023, this);
  smoothing2_ = NewEdit(1024, this);
  reversalDev_ = NewEdit(1025, this);
  AddPair(smoothing, "Smoothing1 [bars]:", smoothing1_);
  AddPair(smoothing, "Smoothing2 [bars]:", smoothing2_);
  AddPair(smoothing, "Reversal dev <0.5-2.0>:", reversalDev_);
  smoothing->addStretch(1);
  top->addLayout(smoothing);
  for (QLineEdit* edit : {stdInterval_, dcaInterval_, smoothing1_, smoothing2_, reversalDev_})
    edit->setMaximumWidth(90);

  auto* trendGroup = new QGroupBox("Trend Chart [in ticks] ", this);
  auto* trendBox = new QVBoxLayout(trendGroup);
  auto* trendRow = new QGridLayout;
  for (int i = 0; i < 8; ++i) {
    trend_[i] = NewEdit(kTrendIds[i], trendGroup);
    trend_[i]->setMaximumWidth(90);
    const QByteArray label = QString("Trend %1:").arg(i + 1).toLatin1();
    AddColumn(trendRow, i, label.constData(), trend_[i]);
  }
  trendRow->setColumnStretch(8, 1);
  trendBox->addLayout(trendRow);
  auto* consider = new QHBoxLayout;
  considerFirst_ = NewEdit(1050, trendGroup);
  considerFirst_->setMaximumWidth(50);
  consider->addWidget(NewLabel("Consider first", trendGroup, considerFirst_));
  consider->addWidget(considerFirst_);
  consider->addWidget(
      NewLabel("trend charts to determine trend (0 = ALL; majority = trend)", trendGroup));
  consider->addStretch(1);
  trendBox->addLayout(consider);
  AddLegend(trendBox,
            {"Trend Chart prefix legend: (no prefix = trend designation only)",
             "H - Close a positive Trade, otherwise Hedge", "X - Close a positive Trade only",
             "T - Open a new Trade", "C - Show Color history"},
            trendGroup);
  top->addWidget(trendGroup);

  auto* entryGroup = new QGroupBox("Entry Chart [in ticks]", this);
  auto* entryBox = new QVBoxLayout(entryGroup);
  auto* entryRow = new QGridLayout;
  for (int i = 0; i < 8; ++i) {
    entry_[i] = NewEdit(kEntryIds[i], entryGroup);
    entry_[i]->setMaximumWidth(90);
    const QByteArray label = QString("TE %1:").arg(i + 1).toLatin1();
    AddColumn(entryRow, i, label.constData(), entry_[i]);
  }
  entryRow->setColumnStretch(8, 1);
  entryBox->addLayout(entryRow);
  AddLegend(entryBox,
            {"Entry Chart prefix legend: (one action per chart)",
             "No prefix = open a new trade OR close any one positive trade",
             "O - Open a new Trade, OR close Trade from OWN Entry Chart",
             "X - Close a positive Trade only", "T - Open a new Trade only",
             "D - Display chart only (no action)"},
            entryGroup);
  top->addWidget(entryGroup);

  auto* flagGroup = new QGroupBox(" Flags ", this);
  auto* flagBox = new QVBoxLayout(flagGroup);
  for (int i = 0; i < 4; ++i) {
    flags_[i] = new QCheckBox(kFlagTexts[i], flagGroup);
    flags_[i]->setObjectName(QString::number(kFlagIds[i]));
    flagBox->addWidget(flags_[i]);
  }
  top->addWidget(flagGroup);

  auto* logRow = new QHBoxLayout;
  logFile_ = NewEdit(1037, this);
  auto* browse = new QPushButton("Browse...", this);
  browse->setObjectName("1038");
  browse->setAutoDefault(false);
  logRow->addWidget(NewLabel("KMR Library Log File:", this, logFile_));
  logRow->addWidget(logFile_, 1);
  logRow->addWidget(browse);
  top->addLayout(logRow);
  connect(browse, &QPushButton::clicked, this, &CDlgKMRSettings::BrowseLogFile);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
  QPushButton* cancel = buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
  ok->setObjectName("1");
  cancel->setObjectName("2");
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  top->addStretch(1);
  top->addWidget(buttons);
}

void CDlgKMRSettings::FillControls() {
  const TesterSettings& s = settings_;
  dealSize_->setText(FormatPrice4(s.DealSize));
  maxNetPos_->setText(FormatPrice4(s.MaxNetPos));
  tickSize_->setText(FormatPrice4(s.TickSize));
  tickValue_->setText(FormatPrice4(s.TickValue));
  dealComm_->setText(FormatPrice4(s.DealComm));
  cadProfit_->setText(FormatPrice4(s.CadProfit));
  stdInterval_->setText(QString::fromStdString(FormatStdInterval(s.StdInterval, s.StdMinDeals)));
  dcaInterval_->setText(QString::number(s.DcaInterval));
  smoothing1_->setText(QString::number(s.Smoothing1));
  smoothing2_->setText(QString::number(s.Smoothing2));
  reversalDev_->setText(FormatPrice4(s.ReversalDev));
  for (int i = 0; i < 8; ++i) {
    trend_[i]->setText(QString::fromStdString(ChartSpecToText(s.TrendCharts[i], true)));
    entry_[i]->setText(QString::fromStdString(ChartSpecToText(s.EntryCharts[i], false)));
  }
  considerFirst_->setText(QString::number(s.ConsiderFirst));
  for (int i = 0; i < 4; ++i) flags_[i]->setChecked((s.Flags >> i) & 1u);
  logFile_->setText(QString::fromStdU16String(s.LogFilePath));
}

void CDlgKMRSettings::TakeControls() {
  TesterSettings& s = settings_;
  s.DealSize = TextToDouble(dealSize_->text());
  s.MaxNetPos = TextToDouble(maxNetPos_->text());
  s.TickSize = TextToDouble(tickSize_->text());
  s.TickValue = TextToDouble(tickValue_->text());
  s.DealComm = TextToDouble(dealComm_->text());
  s.CadProfit = TextToDouble(cadProfit_->text());
  s.ReversalDev = TextToDouble(reversalDev_->text());
  s.DcaInterval = ParseDialogInteger(EditText(dcaInterval_));
  s.Smoothing1 = ParseDialogInteger(EditText(smoothing1_));
  s.Smoothing2 = ParseDialogInteger(EditText(smoothing2_));
  s.ConsiderFirst = ParseDialogInteger(EditText(considerFirst_));
  const StdIntervalValue interval = ParseStdInterval(EditText(stdInterval_));
  s.StdInterval = interval.ticks;
  s.StdMinDeals = interval.minDeals;
  for (int i = 0; i < 8; ++i) {
    s.TrendCharts[i] = TextToChartSpec(EditText(trend_[i]), true);
    s.EntryCharts[i] = TextToChartSpec(EditText(entry_[i]), false);
  }
  s.Flags = 0;
  for (int i = 0; i < 4; ++i)
    if (flags_[i]->isChecked()) s.Flags |= 1u << i;
  std::u16string path = logFile_->text().toStdU16String();
  if (path.size() > kMaxLogPathUnits) {
    path.resize(kMaxLogPathUnits);
    // Never keep half of a surrogate pair at the cut.
    if (QChar::isHighSurrogate(path.back())) path.pop_back();
  }
  s.LogFilePath = std::move(path);
}

void CDlgKMRSettings::accept() {
  TakeControls();
  QDialog::accept();
}

void CDlgKMRSettings::BrowseLogFile() {
  const QString chosen = AskSaveFileName(this, logFile_->text());
  if (!chosen.isEmpty()) logFile_->setText(chosen);
}

}  // namespace kmr
