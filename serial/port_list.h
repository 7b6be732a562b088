#pragma once

// The serial ports of the machine, as the setup dialog offers them.

#include <string>
#include <vector>

// Replaces the contents of ports with the names of the machine's serial
// ports, sorted ignoring case, and last the names the application registered
// (the demo port), in the order it registered them. A listing that cannot be
// read raises ESerialPort code 23 with the system's error number; ports is
// then left as it was.
//
// On POSIX: real UARTs and USB/ACM adapters (full device paths such as
// /dev/ttyUSB0), and the links in the device folder that lead to a
// pseudo-terminal (virtual null-modem pairs, a simulator started with a
// link). On Windows: the device names (COM1, COM10, ...) the registry's
// serial-communication map holds.
void ListPorts(std::vector<std::string> &ports);

#ifndef _WIN32
// Where the POSIX listing looks. The defaults are the running system; tests
// point them at a tree of their own.
struct TPortListRoots {
  std::string SysClassTty = "/sys/class/tty";
  std::string Dev = "/dev";
};
void ListPorts(std::vector<std::string> &ports, const TPortListRoots &roots);
#endif

// Sorts port names as text ignoring case ("COM1", "COM10", "COM2"); names that
// differ only in case keep a fixed order (upper case first).
void SortPortNames(std::vector<std::string> &names);

// Compares two texts ignoring case (ASCII letters), like strcasecmp.
int ComparePortNames(const std::string &a, const std::string &b);

// The end of every listing: sorts the system's names found, drops
// repeats, adds the registered names and swaps the result into ports.
void FinishPortList(std::vector<std::string> &found, std::vector<std::string> &ports);
