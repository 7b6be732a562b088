// talvex-cli: the logger from the command line, for scripts and machines
// without a display. See "talvex-cli --help".

#include "cli/cli_commands.h"
#include "cli/cli_link.h"

#include "cli/cli_plot.h"
#include "runtime/runtime_folder.h"

#include <QApplication>
#include <QCoreApplication>

#include <unistd.h>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

int main(int argc, char **argv) {
  // The port hands its events to the thread that owns the application
  // object; no windows are needed for that. Drawing a chart needs the
  // widgets' application, on no display unless the caller names one.
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::unique_ptr<QCoreApplication> app;
  if (CliNeedsWidgets(args)) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    EnsureRuntimeFolder();
    app = std::make_unique<QApplication>(argc, argv);
  } else {
    app = std::make_unique<QCoreApplication>(argc, argv);
  }
  InstallCliInterruptHandlers();
  return RunCli(args, TCliStreams{std::cout, std::cerr, isatty(STDERR_FILENO) == 1});
}
