#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include "runtime/application.h"

#include <cstdlib>

// Widget and window tests need a QApplication; everything runs headless
// unless the caller asked for a real display. The user's own settings,
// history archive and queue are never touched: every test program, and
// every program it starts, gets folders of its own.
int main(int argc, char **argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QTemporaryDir home(QDir::tempPath() + "/talvex-test-home-XXXXXX");
  if (!home.isValid()) return 1;
  for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"}) {
    const QString folder = home.filePath(QString(name).toLower());
    QDir().mkpath(folder);
    setenv(name, QFile::encodeName(folder).constData(), 1);
  }
  unsetenv("TALVEX_DB");
  QApplication app(argc, argv);
  InstallFontSubstitutes();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
