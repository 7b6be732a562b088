// talvex-cli: the logger from the command line, for scripts and machines
// without a display. See "talvex-cli --help".

#include "app/cli_commands.h"
#include "app/cli_link.h"

#include <QCoreApplication>

#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

int main(int argc, char **argv) {
  // The port hands its events to the thread that owns the application
  // object; no windows are needed for that.
  QCoreApplication app(argc, argv);
  InstallCliInterruptHandlers();
  const std::vector<std::string> args(argv + 1, argv + argc);
  return RunCli(args, TCliStreams{std::cout, std::cerr, isatty(STDERR_FILENO) == 1});
}
