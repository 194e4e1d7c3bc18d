#include "tester/dialogs/tester_dlg_controls.h"

#include <QAction>
#include <QCheckBox>
#include <QDateEdit>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace kmr {

namespace {

template <typename T>
T* Named(T* widget, int id) {
  widget->setObjectName(QString::number(id));
  return widget;
}

QPushButton* NewButton(const char* text, int id, QWidget* parent) {
  auto* button = Named(new QPushButton(text, parent), id);
  button->setAutoDefault(false);
  return button;
}

QLineEdit* NewReadOnly(int id, QWidget* parent) {
  auto* edit = Named(new QLineEdit(parent), id);
  edit->setReadOnly(true);
  edit->setFocusPolicy(Qt::ClickFocus);
  return edit;
}

QLabel* NewLabel(const char* text, QWidget* parent, QWidget* buddy) {
  auto* label = new QLabel(text, parent);
  label->setBuddy(buddy);
  return label;
}

QFrame* NewLine(QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

}  // namespace

TesterDlgControls BuildTesterDlgControls(QWidget* w) {
  TesterDlgControls c{};
  auto* top = new QVBoxLayout(w);

  c.menuBar = new QMenuBar(w);
  c.reportMenu = c.menuBar->addMenu("&Report");
  c.saveReport = c.reportMenu->addAction("&Save Report...");
  c.showReport = c.reportMenu->addAction("S&how Report");
  c.saveReport->setEnabled(false);
  c.showReport->setEnabled(false);
  QMenu* help = c.menuBar->addMenu("&Help");
  c.about = help->addAction("&About KMRTester...");
  top->setMenuBar(c.menuBar);

  // Source file.
  auto* source = new QHBoxLayout;
  c.sourceFile = Named(new QLineEdit(w), 1000);
  c.browse = NewButton("Browse...", 1002, w);
  c.checkFile = NewButton("Check File", 1003, w);
  source->addWidget(NewLabel("Source Filename:", w, c.sourceFile));
  source->addWidget(c.sourceFile, 1);
  source->addWidget(c.browse);
  source->addWidget(c.checkFile);
  top->addLayout(source);
  c.fileInfo = Named(new QPlainTextEdit(w), 1004);
  c.fileInfo->setReadOnly(true);
  c.fileInfo->setLineWrapMode(QPlainTextEdit::NoWrap);
  c.fileInfo->setFixedHeight(c.fileInfo->fontMetrics().lineSpacing() * 3 + 14);
  top->addWidget(c.fileInfo);
  top->addWidget(NewLine(w));

  // History end and speed.
  auto* history = new QHBoxLayout;
  c.historyDate = Named(new QDateEdit(w), 1005);
  c.historyDate->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
  c.historyDate->setCalendarPopup(true);
  c.historyTime = Named(new QTimeEdit(w), 1006);
  c.historyTime->setDisplayFormat("HH:mm:ss");
  c.speed = Named(new QSlider(Qt::Horizontal, w), 1016);
  c.speed->setRange(0, 100);
  c.speed->setValue(0);
  c.speed->setEnabled(false);
  c.speedLabel = NewLabel("Processing speed:", w, c.speed);
  c.speedLabel->setEnabled(false);
  history->addWidget(NewLabel("History Data till:", w, c.historyDate));
  history->addWidget(c.historyDate);
  history->addWidget(c.historyTime);
  history->addSpacing(24);
  history->addWidget(c.speedLabel);
  history->addWidget(c.speed, 1);
  top->addLayout(history);

  // Processing.
  auto* processing = new QHBoxLayout;
  c.processHD = NewButton("Process HD", 1007, w);
  c.processTD = NewButton("Process TD", 1008, w);
  c.processALL = NewButton("Process ALL", 1009, w);
  c.processStep = NewButton("Process Step", 1015, w);
  c.processStep->setEnabled(false);
  c.stop = NewButton("Stop", 1017, w);
  c.stop->setEnabled(false);
  c.settings = NewButton("KMR Settings", 1019, w);
  for (QPushButton* b : {c.processHD, c.processTD, c.processALL, c.processStep, c.stop})
    processing->addWidget(b);
  processing->addStretch(1);
  processing->addWidget(c.settings);
  top->addLayout(processing);

  // Spread, stop, limit and the last tick.
  auto* money = new QHBoxLayout;
  c.spread = Named(new QLineEdit(w), 1018);
  c.stopDistance = Named(new QLineEdit(w), 1024);
  c.limitDistance = Named(new QLineEdit(w), 1025);
  for (QLineEdit* e : {c.spread, c.stopDistance, c.limitDistance}) e->setMaximumWidth(90);
  c.lastTick = NewReadOnly(1023, w);
  c.lastTick->setMinimumWidth(
      c.lastTick->fontMetrics().horizontalAdvance("00000000 00:00:00   0.00000") + 16);
  c.askFromFile = Named(new QCheckBox("Bid/ask from file", w), 1100);
  c.askFromFile->setToolTip(
      "Fill at the ask in each line's third field (YYYYMMDD HHMMSS;bid;ask) instead of the "
      "price plus Spread; taken when history processing starts");
  money->addWidget(NewLabel("Spread:", w, c.spread));
  money->addWidget(c.spread);
  money->addWidget(c.askFromFile);
  money->addSpacing(12);
  money->addWidget(NewLabel("Stop[$]:", w, c.stopDistance));
  money->addWidget(c.stopDistance);
  money->addSpacing(12);
  money->addWidget(NewLabel("Limit[$]:", w, c.limitDistance));
  money->addWidget(c.limitDistance);
  money->addSpacing(24);
  money->addWidget(NewLabel("Last TICK time:", w, c.lastTick));
  money->addWidget(c.lastTick, 1);
  top->addLayout(money);
  top->addWidget(NewLine(w));

  // Statistics of the simulated broker.
  auto* stats = new QGridLayout;
  c.profitLoss = NewReadOnly(1013, w);
  c.maxDrawdown = NewReadOnly(1020, w);
  c.maxPosition = NewReadOnly(1021, w);
  c.deals = NewReadOnly(1022, w);
  c.reset = NewButton("Reset", 1014, w);
  stats->addWidget(NewLabel("Profit/Loss[$]:", w, c.profitLoss), 0, 0);
  stats->addWidget(c.profitLoss, 0, 1);
  stats->addWidget(NewLabel("Max Drawdown[$]:", w, c.maxDrawdown), 0, 2);
  stats->addWidget(c.maxDrawdown, 0, 3);
  stats->addWidget(NewLabel("Max Position:", w, c.maxPosition), 1, 0);
  stats->addWidget(c.maxPosition, 1, 1);
  stats->addWidget(NewLabel("Deals Long/Short:", w, c.deals), 1, 2);
  stats->addWidget(c.deals, 1, 3);
  stats->addWidget(c.reset, 1, 4);
  stats->setColumnStretch(1, 1);
  stats->setColumnStretch(3, 1);
  top->addLayout(stats);

  // Log, newest line first.
  c.log = Named(new QListWidget(w), 1010);
  c.log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  c.log->setUniformItemSizes(true);
  top->addWidget(c.log, 1);

  auto* bottom = new QHBoxLayout;
  c.clearLog = NewButton("Clear log", 1011, w);
  c.close = NewButton("Close", 1, w);
  c.close->setDefault(true);
  bottom->addWidget(c.clearLog);
  bottom->addStretch(1);
  bottom->addWidget(c.close);
  top->addLayout(bottom);
  return c;
}

}  // namespace kmr
