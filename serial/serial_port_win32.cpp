// The serial device on Windows, its opening and closing: the device opened
// for overlapped transfers with no sharing, the control lines set before
// anything else, and what is still queued let go at the close. Its other
// parts are listed in serial_port_win32_device.h; the POSIX build puts
// serial_port_posix.cpp in this file's place.

#include "serial/serial_port_win32_device.h"

using namespace serial_win32;

TWin32SerialDevice::TWin32SerialDevice(const std::string &path, int dtr, int rts) {
  if (path.empty()) Raise(ecOpenFailed, ERROR_FILE_NOT_FOUND);
  // No sharing: a second opener, in this program or another, is refused
  // with ERROR_ACCESS_DENIED.
  const HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) Raise(ecOpenFailed, ::GetLastError());
  // Control lines, before anything else: the driver raises DTR and RTS as
  // the port opens. A device without modem lines refuses both, which is not
  // an error here.
  if (dtr >= 0) (void)::EscapeCommFunction(h, dtr == 1 ? SETDTR : CLRDTR);
  if (rts >= 0) (void)::EscapeCommFunction(h, rts == 1 ? SETRTS : CLRRTS);
  // Anything that is no communications device (a file, a pipe) has no line
  // settings: refused as POSIX refuses what is no terminal.
  DCB probe{};
  probe.DCBlength = sizeof probe;
  if (!::GetCommState(h, &probe)) {
    const DWORD err = ::GetLastError();
    ::CloseHandle(h);
    Raise(ecOpenFailed, err);
  }
  DWORD modem = 0;
  hasModemLines_ = ::GetCommModemStatus(h, &modem) != 0;
  handle_ = h;
}

void TWin32SerialDevice::Shutdown() {
  if (handle_.load() == INVALID_HANDLE_VALUE) return;
  // The wait for the output runs before the lock is taken for the close: a
  // delivery the close lets run meanwhile (its PendingInput, its read) and
  // the event thread's last drain need the lock and would otherwise stand
  // still behind it for as long as the line takes.
  const DWORD purge = LetOutputLeave();
  std::lock_guard<std::mutex> lock(mutex_);
  const HANDLE h = handle_.exchange(INVALID_HANDLE_VALUE);
  if (h == INVALID_HANDLE_VALUE) return;
  // Whatever is still queued after that dies with the port, whether or not
  // an event thread was left to discard it. Closing the handle ends every
  // transfer still pending on it.
  (void)::PurgeComm(h, purge);
  ::CloseHandle(h);
  queue_.clear();
}

DWORD TWin32SerialDevice::LetOutputLeave() {
  // Bytes WriteText reported as written may still wait in the driver; the
  // last command before a close must still reach the logger. Bounded, so a
  // stalled line never holds the close for long. The handle is looked at
  // again under the lock each time: a close on another thread may have let
  // it go meanwhile.
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(500);
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const HANDLE h = handle_.load();
      if (h == INVALID_HANDLE_VALUE) return PURGE_RXCLEAR;
      COMSTAT stat{};
      DWORD err = 0;
      if (!StatusLocked(h, stat, err) || stat.cbOutQue == 0) return PURGE_RXCLEAR;
    }
    if (Clock::now() >= deadline) return PURGE_RXCLEAR | PURGE_TXCLEAR;
    ::Sleep(10);
  }
}

bool TWin32SerialDevice::StatusLocked(HANDLE h, COMSTAT &stat, DWORD &err) {
  DWORD errors = 0;
  if (!::ClearCommError(h, &errors, &stat)) {
    err = ::GetLastError();
    return false;
  }
  // ClearCommError clears what it returns: whoever looked, the flags are
  // kept for TakeErrors and for the event thread to tell.
  pendingErrors_ |= errors;
  untoldErrors_ |= errors;
  return true;
}

void TWin32SerialDevice::DiscardQueues() {
  const DWORD purge = LetOutputLeave();
  std::lock_guard<std::mutex> lock(mutex_);
  const HANDLE h = handle_.load();
  if (h != INVALID_HANDLE_VALUE) (void)::PurgeComm(h, purge);
  queue_.clear();
}

std::shared_ptr<TSerialDevice> OpenSystemSerialDevice(const std::string &path, int dtr, int rts) {
  return std::make_shared<TWin32SerialDevice>(path, dtr, rts);
}

int SerialOsErrorNumber(TSerialOsError which) {
  switch (which) {
    case TSerialOsError::Closed: return ERROR_INVALID_HANDLE;
    case TSerialOsError::Cancelled: return ERROR_OPERATION_ABORTED;
    // Windows says both the same way: a pulled adapter and a port another
    // program holds are refused alike.
    case TSerialOsError::DeviceGone:
    case TSerialOsError::Busy: return ERROR_ACCESS_DENIED;
  }
  return ERROR_GEN_FAILURE;
}

// Windows keeps no serial lock files: the exclusive open is the lock.
std::string SerialLockFolder() { return ChosenSerialLockFolder(); }

std::string SerialLockFileFor(const std::string &) { return {}; }

void ApplyThreadPriority(TThreadPriority priority) {
  static const int kPriority[] = {
      THREAD_PRIORITY_IDLE,         THREAD_PRIORITY_LOWEST,  THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
      THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST, THREAD_PRIORITY_TIME_CRITICAL};
  const int p = static_cast<int>(priority);
  if (p < 0 || p > 6 || p == tpNormal) return;
  (void)::SetThreadPriority(::GetCurrentThread(), kPriority[p]);
}
