#include "app/main_window.h"
#include "app/program.h"
#include "runtime/application.h"

int main(int argc, char **argv) {
  TApplication app(argc, argv);
  app.SetTitle(kApplicationTitle);
  TProgram program;
  program.Form1().show();
  return app.exec();
}
