#pragma once

// Port names the application adds to the machine's own. The program
// registers its demo port here (the logger simulator on a pseudo-terminal):
// the port listing offers registered names after the machine's ports, and a
// port opened under such a name opens the terminal its provider hands over.
// The serial code itself knows of no such port.

#include <functional>
#include <memory>
#include <string>
#include <vector>

struct TProvidedDevice {
  std::string Path;                // the terminal device to open
  std::shared_ptr<void> ServedBy;  // what serves it; held while the port is open
};

// Called by Open; raises ESerialPort code 1 when it cannot provide.
using TPortProvider = std::function<TProvidedDevice()>;

// Adds a name, or gives a registered one a new provider (it keeps its place).
void RegisterPortName(const std::string &name, TPortProvider provider);
void UnregisterPortName(const std::string &name);
// The registered names, in the order they were first registered.
std::vector<std::string> RegisteredPortNames();
// The provider of a port name: the name as registered, or failing that the
// name in another letter case ("demo" opens "DEMO"). Empty when none.
TPortProvider RegisteredPortProvider(const std::string &name);
