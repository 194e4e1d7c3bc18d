// The tester program: one main window, run until it closes.
#pragma once

#include <QApplication>
#include <QString>
#include <string>

namespace kmr {

// Hidden options for automation: another engine library, and a screenshot run.
struct TesterOptions {
  std::string libraryPath;
  QString screenshotDir;
  QString source;
  QString historyTill;  // "YYYY-MM-DD HH:MM:SS"
};

// Reads the options it knows; false (with a message on stderr) for a malformed command line.
bool ParseTesterOptions(const QStringList& arguments, TesterOptions& options);

class CKMRTesterApp : public QApplication {
  Q_OBJECT

 public:
  CKMRTesterApp(int& argc, char** argv);
  // 0 when the window was closed normally; 1 when the engine could not be bound.
  int Run(const TesterOptions& options);
};

}  // namespace kmr
