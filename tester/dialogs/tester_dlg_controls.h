// The controls of the "KMR Tester" window, built in their order top to bottom.
#pragma once

class QDateEdit;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenuBar;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class QTimeEdit;
class QWidget;
class QAction;
class QCheckBox;
class QMenu;

namespace kmr {

struct TesterDlgControls {
  QMenuBar* menuBar;
  QMenu* reportMenu;
  QAction* saveReport;  // the run's report into a folder
  QAction* showReport;  // the run's report in the desktop's browser
  QAction* about;
  QLineEdit* sourceFile;     // 1000
  QPushButton* browse;       // 1002
  QPushButton* checkFile;    // 1003
  QPlainTextEdit* fileInfo;  // 1004
  QDateEdit* historyDate;    // 1005
  QTimeEdit* historyTime;    // 1006
  QLabel* speedLabel;        // label of 1016
  QSlider* speed;            // 1016
  QPushButton* processHD;    // 1007
  QPushButton* processTD;    // 1008
  QPushButton* processALL;   // 1009
  QPushButton* processStep;  // 1015
  QPushButton* stop;         // 1017
  QPushButton* settings;     // 1019
  QLineEdit* spread;         // 1018
  QCheckBox* askFromFile;    // 1100 "Bid/ask from file", beside Spread
  QLineEdit* stopDistance;   // 1024
  QLineEdit* limitDistance;  // 1025
  QLineEdit* lastTick;       // 1023
  QLineEdit* profitLoss;     // 1013
  QLineEdit* maxDrawdown;    // 1020
  QLineEdit* maxPosition;    // 1021
  QLineEdit* deals;          // 1022
  QPushButton* reset;        // 1014
  QListWidget* log;          // 1010
  QPushButton* clearLog;     // 1011
  QPushButton* close;        // 1
};

// Builds every control into `window` with its layouts.
TesterDlgControls BuildTesterDlgControls(QWidget* window);

}  // namespace kmr
