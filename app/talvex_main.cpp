#include "app/main_window.h"
#include "app/program.h"
#include "runtime/application.h"
#include "serial/serial_setup.h"

int main(int argc, char **argv) {
  TApplication app(argc, argv);
  app.SetTitle(kApplicationTitle);
  RegisterSerialSetupDialog();
  TProgram program;
  program.Form1().show();
  // Without a window manager (a bare X server) nothing would give the window
  // the focus, and its activation is what sets the program going.
  program.Form1().activateWindow();
  return app.exec();
}
