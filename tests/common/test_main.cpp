#include <QApplication>

#include <gtest/gtest.h>
#include "runtime/application.h"

#include <cstdlib>

// Widget and window tests need a QApplication; everything runs headless
// unless the caller asked for a real display.
int main(int argc, char **argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  InstallFontSubstitutes();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
