#pragma once

#include <functional>
#include <string>

// A pseudo-terminal pair for tests: the program under test opens SlavePath()
// like any serial device; the test plays the logger on the master side.
class PtyPair {
public:
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair &) = delete;
  PtyPair &operator=(const PtyPair &) = delete;

  const std::string &SlavePath() const { return slavePath_; }
  int MasterFd() const { return master_; }

  void Write(const std::string &bytes);
  // Reads what has arrived within `timeoutMs`, keeping the Qt event loop
  // running meanwhile (the port delivers its events on the UI thread).
  std::string ReadFor(int timeoutMs);
  // Reads until `count` bytes have arrived or `timeoutMs` passed.
  std::string ReadCount(std::size_t count, int timeoutMs);
  void CloseMaster();

private:
  int master_ = -1;
  int keepSlave_ = -1;  // keeps the master readable while the port is closed
  std::string slavePath_;
};

// Runs the Qt event loop until `done` returns true or `timeoutMs` passes.
bool PumpUntil(const std::function<bool()> &done, int timeoutMs);
