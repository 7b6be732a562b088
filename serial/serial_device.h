#pragma once

// One open serial device, as the port and its event thread use it: open,
// settings, reads and writes, the wait for line events, modem lines, purge,
// line errors and the hang-up. Plain C++ only, so that it builds and is
// tested without Qt; one implementation per system, picked when the program
// is built (serial_port_posix.cpp over termios, serial_port_win32.cpp over
// the Win32 communications calls). The system's headers stay in those files.
//
// Every failure raises ESerialPort with the port's code and the system's
// error number (errno, or GetLastError() on Windows).
//
// Received bytes are moved out of the system's queue into one of our own as
// soon as anybody looks (the event thread when the system says there is
// input, the UI thread in PendingInput and reads). That is what lets nulls
// be discarded and the event character be noticed the same way everywhere,
// keeps a hang-up from losing what already reached us, and stops a system
// that keeps reporting bytes it still holds from waking the event thread
// again and again.

#include "serial/serial_port_types.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// The port is taken by another program: its lock file names a process that
// is alive, or cannot be read (HolderPid 0). Code 1 with the system's "busy"
// number, like any port in use, and a message that says which process
// holds it.
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

// Serial lock files (POSIX): the folder of the system's lock files, /run/lock
// or /var/lock; or the folder set here (empty sets the system's back). The
// lock file that stands for a device is "LCK.." and, once its symbolic links
// are resolved, the device's path below /dev with each '/' as '_', as
// terminal programs write it (/dev/ttyUSB0 gives LCK..ttyUSB0, a link to
// /dev/pts/3 gives LCK..pts_3); empty when the path does not resolve. A lock
// under the older name of the last part alone (LCK..3) is honoured too, but
// never written. Windows has no such files (its exclusive open keeps every
// other program off): the name is always empty there.
std::string SerialLockFolder();
void SetSerialLockFolder(const std::string &folder);
std::string SerialLockFileFor(const std::string &devicePath);

// System error numbers the port itself puts into ESerialPort.
enum class TSerialOsError {
  Closed,      // the handle is not (or no longer) valid: EBADF, ERROR_INVALID_HANDLE
  Cancelled,   // a transfer was aborted: ECANCELED, ERROR_OPERATION_ABORTED
  DeviceGone,  // the device went away under a transfer: EIO, ERROR_ACCESS_DENIED
  Busy         // another program holds the port: EBUSY, ERROR_ACCESS_DENIED
};
int SerialOsErrorNumber(TSerialOsError which);

// What one wait of the event thread found.
struct TSerialWatchResult {
  TSerialEvents events;  // line events seen, among those watched
  bool stop = false;     // Stop was called: nothing else is reported
  bool input = false;    // received bytes (or the hang-up) reached our queue
  bool full = false;     // the system holds input our queue has no room for
  bool lost = false;     // the device went away, or the wait itself failed
};

// The event thread's wait on one device: it sleeps in the system until a
// watched line event, a stop or a finished write; there is no periodic
// wake-up beyond what the system needs (modem-line sampling on a POSIX
// device that has the lines, a look at a Windows device that may have gone
// without a word).
class TSerialWatch {
public:
  virtual ~TSerialWatch() = default;
  // Any thread; the current and every later wait return at once.
  virtual void Stop() = 0;
  // Any thread: a write went out whole (reported as evTxEmpty when watched).
  virtual void TxFinished() = 0;
  // Blocks until something of the above; moves received bytes into the
  // device's queue on the way.
  virtual TSerialWatchResult Wait() = 0;
};

class TSerialDevice {
public:
  virtual ~TSerialDevice() = default;

  // The system's handle as a number (the descriptor, or the HANDLE), -1 once
  // shut down. For diagnostics and tests.
  virtual std::intptr_t Handle() const = 0;
  // Lets the device go now, while the object itself may live on a little
  // (the port was closed from inside a delivery the event thread waits
  // for). Every later operation sees an invalid handle.
  virtual void Shutdown() = 0;
  // False on a device without modem-control lines (a pseudo-terminal): its
  // signals read as off and no line event is ever reported.
  virtual bool HasModemLines() const = 0;
  // The lock file this device holds; empty when none (a lock folder we may
  // not write, or a system without lock files).
  virtual std::string LockFile() const = 0;

  virtual void SetQueueSizes(std::int32_t input, std::int32_t output) = 0;  // code 9
  // Applies the record and reads the device's settings back: a rate, size,
  // parity, stop bits or handshake the driver silently did not take raises
  // code 7 as a refusal would.
  virtual void SetState(const TDeviceState &state) = 0;           // code 7
  virtual void SetTimeouts(const TDeviceTimeouts &timeouts) = 0;  // code 8

  // Sends the bytes and returns once they have left, or the write limit for
  // this length ran out (then the count says what left). Code 2.
  //
  // Aborts are counted, and a write carries a ticket: the count when its
  // transfer started. Any abort counted after that ends it, even one that
  // came while the transfer was still on its way into this call (a flag
  // cleared on entry would erase it, and the write would go on whole).
  virtual int Write(const char *bytes, int count, std::uint64_t ticket) = 0;
  // The same with a ticket taken now: only aborts from here on end it.
  int Write(const char *bytes, int count) { return Write(bytes, count, WriteTicket()); }
  // Any thread. The ticket for a write that starts now.
  virtual std::uint64_t WriteTicket() const = 0;
  // Any thread: counts an abort. A Write whose ticket is older stops at once
  // and returns what has left so far (the rest of its bytes are thrown away,
  // as at its write limit); one that has not begun sends nothing. A Write
  // whose ticket is taken afterwards is not affected.
  virtual void AbortWrite() = 0;
  // Takes at most count received bytes, following the read timeouts. Code 3.
  virtual int Read(char *buffer, int count) = 0;
  virtual void Purge(bool input, bool output) = 0;  // code 5
  // Raises code with the system's number if the handle is no longer usable.
  virtual void CheckOpen(int code) const = 0;
  // Bytes received and not yet read, after asking the system for more.
  virtual int PendingInput() = 0;  // code 10
  // The same without asking the system: what is in our queue.
  virtual int QueuedInput() const = 0;
  // The receive step took its count: every byte queued so far has been
  // announced. Bytes drained later (by a read inside the handler, say) are
  // not, and must raise another receive event even if the line then falls
  // silent.
  virtual void MarkAnnounced() = 0;
  virtual bool HasUnannounced() const = 0;
  virtual TLineSignals Signals() = 0;                      // code 11
  virtual TSerialErrors TakeErrors(bool parityCheck) = 0;  // code 10
  // Marks that the device vanished (the event thread saw the hang-up).
  virtual void NoteHangUp() = 0;
  virtual bool HungUp() const = 0;
  // The event thread's exit step: both queues dropped; never raises.
  virtual void DiscardQueues() = 0;

  // The wait for the given events, for the event thread; raises code 21
  // when it cannot be set up.
  virtual std::unique_ptr<TSerialWatch> Watch(TSerialEvents events) = 0;
};

// Opens the device exclusively (a second opener, in this or another
// program, is refused). Raises code 1 with the system's number on failure;
// a port whose lock file names a live process raises ESerialPortInUse. DTR
// goes low right after the open, RTS is left to SetState.
std::shared_ptr<TSerialDevice> OpenSerialDevice(const std::string &path);
// The same, with DTR and RTS set as `lines` asks (its DtrControl and
// RtsControl) right after the device opens, before any other setting.
std::shared_ptr<TSerialDevice> OpenSerialDevice(const std::string &path, const TDeviceState &lines);

// For tests: runs on the writing thread as every device Write begins, before
// it looks at its ticket, so that a test can hold a write right there. Unset
// (the default, and what the program leaves it) it costs one atomic load.
void SetSerialWriteEntryHook(std::function<void()> hook);

// Gives the calling thread the scheduling priority matching a priority. A
// raise that needs privileges the program lacks leaves it at normal.
void ApplyThreadPriority(TThreadPriority priority);
