#pragma once

// The serial ports of the machine, as the setup dialog offers them.

#include <string>
#include <vector>

// Where the listing looks. The defaults are the running system; tests point
// them at a tree of their own.
struct TPortListRoots {
  std::string SysClassTty = "/sys/class/tty";
  std::string Dev = "/dev";
};

// Replaces the contents of ports with the names of the machine's serial
// ports: real UARTs and USB/ACM adapters (full device paths such as
// /dev/ttyUSB0), then the links in the device folder that lead to a
// pseudo-terminal (virtual null-modem pairs, a simulator started with a link),
// sorted ignoring case, and last the names the application registered (the
// demo port), in the order it registered them. A folder that cannot be read
// raises ESerialPort code 23 with the system's error number; ports is then
// left as it was.
void ListPorts(std::vector<std::string> &ports);
void ListPorts(std::vector<std::string> &ports, const TPortListRoots &roots);

// Sorts port names as text ignoring case ("COM1", "COM10", "COM2"); names that
// differ only in case keep a fixed order (upper case first).
void SortPortNames(std::vector<std::string> &names);

// Compares two texts ignoring case (ASCII letters), like strcasecmp.
int ComparePortNames(const std::string &a, const std::string &b);
