#pragma once

// The POSIX side's own wait, for its event watch and its tests: the device's
// descriptor and two signals of our own (stop, and "a write has finished"
// for the output-empty event). It sleeps in the kernel until one of them has
// something; there is no periodic wake-up unless the caller asks for one
// (modem-line sampling on a device that has the lines).

#include "serial/serial_device.h"

class TSerialWaiter {
public:
  TSerialWaiter();  // raises code 21 when the signals cannot be made
  ~TSerialWaiter();
  TSerialWaiter(const TSerialWaiter &) = delete;
  TSerialWaiter &operator=(const TSerialWaiter &) = delete;

  void Stop();        // any thread; the current and every later wait return at once
  void TxFinished();  // any thread

  struct TResult {
    bool stop = false;
    bool txFinished = false;
    bool input = false;   // the device has bytes to read
    bool hangUp = false;  // the device reported hang-up or error
    bool failed = false;  // the wait itself failed (errno in err)
    int err = 0;
  };
  // timeoutMs < 0: no limit.
  TResult Wait(int deviceFd, bool wantInput, int timeoutMs);

private:
  int stopFd_ = -1;
  int txFd_ = -1;
};

// How often modem lines and error counters are sampled, on a device that
// has them and only when such events are watched.
constexpr int kSerialSampleMs = 20;
