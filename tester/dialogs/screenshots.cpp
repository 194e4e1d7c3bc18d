#include "tester/dialogs/screenshots.h"

#include <QApplication>
#include <QDateEdit>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimeEdit>
#include <cstdio>

#include "tester/dialogs/dlg_kmr_settings.h"
#include "tester/dialogs/kmr_tester_app.h"
#include "tester/dialogs/kmr_tester_dlg.h"

namespace kmr {

namespace {

void Settle(int milliseconds) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < milliseconds) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(20);
  }
}

void Save(const QPixmap& picture, const QString& path) {
  if (picture.isNull() || !picture.save(path, "PNG"))
    std::fprintf(stderr, "KMRTester: could not save %s\n", path.toLocal8Bit().constData());
  else
    std::fprintf(stderr, "KMRTester: saved %s\n", path.toLocal8Bit().constData());
}

// The X window id of the engine's window, or 0.
WId FindEngineWindow() {
  QProcess search;
  search.start("xdotool", {"search", "--name", "^KMRWindow$"});
  if (!search.waitForFinished(5000)) return 0;
  const QList<QByteArray> ids = search.readAllStandardOutput().split('\n');
  return ids.isEmpty() ? 0 : static_cast<WId>(ids.first().trimmed().toULongLong());
}

}  // namespace

void RunScreenshots(CKMRTesterDlg& dlg, const TesterOptions& options) {
  QDir().mkpath(options.screenshotDir);
  const QDir dir(options.screenshotDir);
  // The engine opens its window near the top left corner; the tester goes to the right so that
  // the picture of the whole screen shows both.
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    dlg.move(screen->availableGeometry().right() - dlg.frameGeometry().width() - 10, 10);
  else
    dlg.move(10, 10);
  const TesterDlgControls& c = dlg.Controls();
  if (!options.source.isEmpty()) c.sourceFile->setText(options.source);
  if (!options.historyTill.isEmpty()) {
    const QDateTime till = QDateTime::fromString(options.historyTill, "yyyy-MM-dd HH:mm:ss");
    if (till.isValid()) {
      c.historyDate->setDate(till.date());
      c.historyTime->setTime(till.time());
    }
  }
  Settle(300);
  c.checkFile->click();
  c.processALL->click();
  // The engine's window paints on its own thread; give it time to show the run.
  Settle(2500);
  Save(dlg.grab(), dir.filePath("main_window.png"));

  CDlgKMRSettings settings(dlg.Settings(), &dlg);
  settings.show();
  Settle(500);
  Save(settings.grab(), dir.filePath("settings_dialog.png"));
  settings.reject();
  Settle(500);

  QScreen* screen = QGuiApplication::primaryScreen();
  if (const WId engine = FindEngineWindow(); engine != 0 && screen)
    Save(screen->grabWindow(engine), dir.filePath("engine_window.png"));
  else
    std::fprintf(stderr, "KMRTester: no engine window found\n");
  if (screen) Save(screen->grabWindow(0), dir.filePath("screen.png"));
  dlg.CloseDialog();
}

}  // namespace kmr
