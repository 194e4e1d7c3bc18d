#include "tester/dialogs/kmr_tester_app.h"

#include <QTimer>
#include <clocale>
#include <cstdio>

#include "tester/dialogs/about_dlg.h"
#include "tester/dialogs/kmr_tester_dlg.h"
#include "tester/dialogs/screenshots.h"

namespace kmr {

bool ParseTesterOptions(const QStringList& arguments, TesterOptions& options) {
  for (int i = 1; i < arguments.size(); ++i) {
    const QString& name = arguments[i];
    auto value = [&](QString& into) {
      if (i + 1 >= arguments.size()) return false;
      into = arguments[++i];
      return true;
    };
    QString text;
    bool ok = true;
    if (name == "--library") {
      ok = value(text);
      options.libraryPath = text.toStdString();
    } else if (name == "--screenshots") {
      ok = value(options.screenshotDir);
    } else if (name == "--source") {
      ok = value(options.source);
    } else if (name == "--history-till") {
      ok = value(options.historyTill);
    } else {
      std::fprintf(stderr, "KMRTester: unknown option %s\n", name.toLocal8Bit().constData());
      return false;
    }
    if (!ok) {
      std::fprintf(stderr, "KMRTester: %s needs a value\n", name.toLocal8Bit().constData());
      return false;
    }
  }
  return true;
}

CKMRTesterApp::CKMRTesterApp(int& argc, char** argv) : QApplication(argc, argv) {
  // Qt takes the user's locale for the C library; the tester's texts are read and written in
  // the C form ("1.0854"), as its files and the engine's journal are.
  std::setlocale(LC_NUMERIC, "C");
  setApplicationName("KMRTester");
  setWindowIcon(TesterIcon());
}

int CKMRTesterApp::Run(const TesterOptions& options) {
  CKMRTesterDlg dlg;
  if (!dlg.Initialize(options.libraryPath)) return 1;
  if (!options.screenshotDir.isEmpty())
    QTimer::singleShot(0, &dlg, [&] { RunScreenshots(dlg, options); });
  dlg.exec();
  return 0;
}

}  // namespace kmr
