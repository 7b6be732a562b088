#pragma once

// One open terminal device, as the port and its event thread use it. The
// operating system's headers stay in serial_port_posix.cpp; this class only
// speaks in the port's own terms and raises ESerialPort with the port's codes.
//
// Received bytes are moved out of the kernel into a queue of our own as soon
// as anybody looks (the event thread when poll() says there is input, the UI
// thread in PendingInput and reads). That is what lets nulls be discarded,
// the event character be noticed, and a hang-up lose nothing that already
// reached us.

#include "serial/serial_port.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

// The port is taken by another program: its lock file names a process that
// is alive. Code 1 with EBUSY, like any port in use, and a message that says
// which process holds it.
class ESerialPortInUse : public ESerialPort {
public:
  ESerialPortInUse(int holderPid, const std::string &lockFile);
  const char *what() const noexcept override { return message_.c_str(); }
  int HolderPid() const { return holderPid_; }
  const std::string &LockFile() const { return lockFile_; }

private:
  int holderPid_;
  std::string lockFile_;
  std::string message_;
};

// The folder of the system's serial lock files: /run/lock, or /var/lock on a
// system without it; or the folder set here (empty sets the system's back).
std::string SerialLockFolder();
void SetSerialLockFolder(const std::string &folder);
// The lock file that stands for a device: "LCK.." and the device's name once
// its symbolic links are resolved (/dev/ttyUSB0 gives LCK..ttyUSB0, a link to
// /dev/pts/3 gives LCK..3). Empty when the path does not resolve.
std::string SerialLockFileFor(const std::string &devicePath);

class TSerialDevice {
public:
  // Opens the device exclusively (a second opener, in this or another
  // program, is refused). Raises code 1 with errno on failure; a port whose
  // lock file names a live process raises ESerialPortInUse.
  explicit TSerialDevice(const std::string &path);
  // The same, with DTR and RTS set as `lines` asks (its DtrControl and
  // RtsControl) right after the device opens, before any other setting. The
  // form above drops DTR there and leaves RTS to SetState.
  TSerialDevice(const std::string &path, const TDeviceState &lines);
  ~TSerialDevice();
  TSerialDevice(const TSerialDevice &) = delete;
  TSerialDevice &operator=(const TSerialDevice &) = delete;

  int Handle() const { return fd_.load(); }
  // Closes the descriptor now, while the object itself may live on a little
  // (the port was closed from inside a delivery the event thread waits
  // for). Every later operation sees an invalid handle.
  void Shutdown();
  bool HasModemLines() const { return hasModemLines_; }
  // The lock file this device holds; empty when none could be taken (a lock
  // folder we may not write).
  std::string LockFile() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lockFile_;
  }
  bool HasErrorCounters() const { return hasCounters_; }

  void SetQueueSizes(std::int32_t input, std::int32_t output);  // code 9
  void SetState(const TDeviceState &state);                     // code 7
  void SetTimeouts(const TDeviceTimeouts &timeouts);            // code 8

  int Write(const char *bytes, int count);  // code 2
  // Any thread: a Write in progress stops at once and returns what has left
  // so far (the rest of its bytes are thrown away, as at its write limit).
  // A Write that starts afterwards is not affected.
  void AbortWrite();
  int Read(char *buffer, int count);        // code 3
  void Purge(bool input, bool output);      // code 5
  void CheckOpen(int code) const;           // raises code with errno if the handle is no longer usable
  int PendingInput();                       // code 10
  TLineSignals Signals();                   // code 11
  TSerialErrors TakeErrors(bool parityCheck);  // code 10

  // What one drain of the kernel's input found.
  struct TDrain {
    int bytes = 0;           // moved into our queue (after discarding nulls)
    bool eventChar = false;  // the event character was among them
    bool hungUp = false;     // end of file or I/O error: the device is gone
    bool full = false;       // our queue has no room: the rest stays in the kernel
  };
  // Moves everything the kernel holds into our queue, as far as the queue has
  // room. Never blocks, never raises: failures are reported as hungUp (with
  // the errno kept for TakeErrors) so the event thread can end cleanly.
  TDrain Drain();
  int QueuedInput() const;
  // The receive step took its count: every byte queued so far has been
  // announced. Bytes drained later (by a read inside the handler, say) are
  // not, and must raise another receive event even if the line then falls
  // silent.
  void MarkAnnounced();
  bool HasUnannounced() const;
  bool QueueNearlyFull() const;  // at 80 % of the input size or more

  // Modem lines and error counters for the event thread's sampling.
  struct TLineSample {
    int modemBits = 0;  // TIOCM_* bits
    int rings = 0, breaks = 0, errors = 0;
  };
  bool Sample(TLineSample &out) const;  // false when the device cannot say

  // Marks that the device vanished (the event thread saw the hang-up).
  void NoteHangUp();
  bool HungUp() const;

  // Lowest level: tcflush, for the thread's exit steps; never raises.
  void DiscardQueues();

private:
  // dtr, rts: 1 high, 0 low, -1 as the kernel left it.
  void Open(const std::string &path, int dtr, int rts);
  int TakeQueued(char *buffer, int count);
  void DrainOrRaise(int code);
  void ApplyRts(bool high);

  std::atomic<int> fd_{-1};
  // Wakes a Write waiting for room in the line when it is aborted; it lives
  // as long as the object, as a Write may still be polling it at Shutdown.
  int abortFd_ = -1;
  std::atomic<bool> abortWrite_{false};
  std::string lockFile_;
  int lockSlot_ = -1;  // where the exit step finds lockFile_, when it has room
  bool hasModemLines_ = false;
  bool hasCounters_ = false;
  TDeviceState state_{};
  TDeviceTimeouts timeouts_{};
  std::int32_t inputSize_ = 1024;

  mutable std::mutex mutex_;  // the queue and the flags below
  std::deque<char> queue_;
  std::uint64_t totalIn_ = 0;    // bytes ever queued
  std::uint64_t announced_ = 0;  // totalIn_ when the receive step last counted
  bool hungUp_ = false;
  int hangUpErrno_ = 0;
  bool hangUpReported_ = false;
  bool overflow_ = false;
  // Error counters already reported by TakeErrors.
  int seenFrame_ = 0, seenParity_ = 0, seenOverrun_ = 0, seenBufOverrun_ = 0, seenBreak_ = 0;
};

// The event thread's wait: the device and two signals of our own (stop, and
// "a write has finished" for the output-empty event). It sleeps in the kernel
// until one of them has something; there is no periodic wake-up unless the
// caller asks for one (modem-line sampling on a device that has the lines).
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

// Gives the calling thread the niceness matching a priority. Raising it
// above normal needs privileges a desktop program rarely has; then the
// thread simply stays at normal priority.
void ApplyThreadPriority(TThreadPriority priority);

// The modem-status bits the event thread compares.
int SerialModemBitCTS();
int SerialModemBitDSR();
int SerialModemBitCD();
int SerialModemBitRI();
