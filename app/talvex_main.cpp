#include "app/ending_signals.h"
#include "app/main_window.h"
#include "app/program.h"
#include "runtime/application.h"
#include "runtime/runtime_folder.h"
#include "serial/serial_setup.h"
#include "talvex_version.h"

#include <QIcon>

#include <cstdio>
#include <cstring>

int main(int argc, char **argv) {
  // Answered before the application object exists: it needs a display, and
  // these must work without one.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("talvex %s\n", kTalvexVersion);
      return 0;
    }
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::printf(
          "Uso: talvex [--help] [--version] [opciones de Qt]\n"
          "Programa del registrador de temperatura de 16 canales. Las órdenes sin ventanas\n"
          "están en talvex-cli; el registrador simulado, en talvex-sim (man talvex).\n");
      return 0;
    }
  }
  // Run as root, Qt would otherwise warn on every start that it had to
  // choose a runtime folder itself.
  EnsureRuntimeFolder();
  TApplication app(argc, argv);
  app.SetTitle(kApplicationTitle);
  // The desktop entry and the icon the package installs under this name.
  QGuiApplication::setDesktopFileName("talvex");
  QApplication::setWindowIcon(QIcon::fromTheme("talvex"));
  RegisterSerialSetupDialog();
  TProgram program;
  TEndingSignals endingSignals([&program](int) { program.EndBySignal(); });
  program.Form1().show();
  // Without a window manager (a bare X server) nothing would give the window
  // the focus, and its activation is what sets the program going.
  program.Form1().activateWindow();
  return app.exec();
}
