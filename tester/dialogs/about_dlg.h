// "About KMRTester".
#pragma once

#include <QDialog>
#include <QIcon>

namespace kmr {

// The program's icon, drawn rather than loaded so that the program needs no resource files.
QIcon TesterIcon();

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace kmr
