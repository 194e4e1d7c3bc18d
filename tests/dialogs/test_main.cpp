// The window tests run on Qt's off-screen platform, with the settings store in a folder of their
// own, local times in one fixed zone and the engine's window switched off.
#include <gtest/gtest.h>

#include <QApplication>
#include <clocale>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("KMR_NO_WINDOW", "1", 1);
  setenv("TZ", "Europe/Zurich", 1);
  std::string home =
      std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/kmr_dialogs_XXXXXX";
  if (!mkdtemp(home.data())) return 1;
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
  QApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
