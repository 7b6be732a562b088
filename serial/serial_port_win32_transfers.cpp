// The Windows device's writes (overlapped, under the driver's write limits,
// ended at once by an abort), the drain of what the driver holds into our
// queue that reads and the event thread share, and the purge.

#include "serial/serial_port_win32_device.h"

#include <algorithm>

using namespace serial_win32;

int TWin32SerialDevice::Write(const char *bytes, int count, std::uint64_t ticket) {
  RunSerialWriteEntryHook();
  if (count <= 0) return 0;
  const HANDLE h = Live(ecWriteFailed);
  // Aborted on its way here: not one byte goes out.
  if (WriteAborted(ticket)) return 0;
  const TEvent done(true, false);
  TOverlapped ov = NewOverlapped(done.Get());
  if (!::WriteFile(h, bytes, static_cast<DWORD>(count), nullptr, ov.get())) {
    const DWORD err = ::GetLastError();
    if (err != ERROR_IO_PENDING) Raise(ecWriteFailed, err);
  }
  // The write limit is the driver's; we only wait for it, or for an abort.
  const HANDLE both[2] = {done.Get(), abortWrite_.Get()};
  bool aborted = false;
  DWORD woke;
  for (;;) {
    woke = ::WaitForMultipleObjects(2, both, FALSE, INFINITE);
    if (woke != WAIT_OBJECT_0 + 1) break;
    if (WriteAborted(ticket)) {
      aborted = true;
      break;
    }
    // The event of an abort meant for an earlier write: reset, then the
    // count is looked at again, so one that came meanwhile (counted before
    // it set the event) still ends this write.
    abortWrite_.Reset();
    if (WriteAborted(ticket)) {
      aborted = true;
      break;
    }
  }
  if (woke != WAIT_OBJECT_0 && !EndOverlapped(h, ov)) Raise(ecWriteFailed, ERROR_OPERATION_ABORTED);
  DWORD written = 0;
  if (!::GetOverlappedResult(h, ov.get(), &written, FALSE)) {
    const DWORD err = ::GetLastError();
    written = static_cast<DWORD>(ov->InternalHigh);
    // Cut off by our own abort, or ended by the write limit: what left
    // is the result.
    if (!(err == ERROR_OPERATION_ABORTED && aborted) && err != ERROR_SEM_TIMEOUT && err != ERROR_TIMEOUT &&
        err != WAIT_TIMEOUT)
      Raise(ecWriteFailed, err);
  }
  return static_cast<int>(std::min<DWORD>(written, static_cast<DWORD>(count)));
}

void TWin32SerialDevice::AbortWrite() {
  // Counted first: a writer woken by the event must find it counted.
  CountWriteAbort();
  abortWrite_.Set();
}

TWin32SerialDevice::TDrain TWin32SerialDevice::Drain() {
  TDrain result;
  std::lock_guard<std::mutex> lock(mutex_);
  const HANDLE h = handle_.load();
  if (hungUp_ || h == INVALID_HANDLE_VALUE) {
    result.hungUp = true;
    return result;
  }
  char chunk[4096];
  for (;;) {
    COMSTAT stat{};
    DWORD err = 0;
    const DWORD errorsBefore = pendingErrors_;
    pendingErrors_ = 0;
    const bool answered = StatusLocked(h, stat, err);
    result.errorFlags |= pendingErrors_;
    pendingErrors_ |= errorsBefore;
    if (!answered) {
      HangUpLocked(err);
      result.hungUp = true;
      break;
    }
    if (stat.cbInQue == 0) break;
    // What does not fit stays in the driver rather than being read only to
    // be thrown away.
    const std::size_t room = RoomLocked();
    if (room == 0) {
      result.full = true;
      break;
    }
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>({stat.cbInQue, room, sizeof chunk}));
    TOverlapped ov = NewOverlapped(drainDone_.Get());
    DWORD got = 0;
    bool ok = ::ReadFile(h, chunk, want, nullptr, ov.get()) != 0;
    if (!ok && ::GetLastError() == ERROR_IO_PENDING) {
      // The bytes are there and the driver returns what it has at once; a
      // driver that still holds the read is given a moment, then cut off.
      if (::WaitForSingleObject(ov->hEvent, 1000) != WAIT_OBJECT_0 && !EndOverlapped(h, ov)) {
        HangUpLocked(ERROR_OPERATION_ABORTED);
        result.hungUp = true;
        break;
      }
      ok = true;
    }
    if (ok) ok = ::GetOverlappedResult(h, ov.get(), &got, FALSE) != 0;
    if (!ok) {
      HangUpLocked(::GetLastError());
      result.hungUp = true;
      break;
    }
    if (got == 0) break;  // nothing after all: never loop on it
    TAdded added;
    AddLocked(chunk, got, added);
    result.bytes += added.bytes;
    result.eventChar = result.eventChar || added.eventChar;
  }
  if (result.bytes > 0) inputArrived_.Set();
  return result;
}

void TWin32SerialDevice::DrainOrRaise(int code) {
  (void)Live(code);
  (void)Drain();
  std::lock_guard<std::mutex> lock(mutex_);
  // A vanished device is not a failure of this call: what was received is
  // still ours, and the loss is reported once by the event thread.
  if (hungUp_ && !IsDeviceGone(static_cast<DWORD>(hangUpError_))) Raise(code, static_cast<DWORD>(hangUpError_));
}

void TWin32SerialDevice::WaitForInput(int ms) {
  // The event thread's drain wakes us at once; without one (no events
  // watched, or it is blocked in a delivery) we look again after a moment.
  const DWORD r = ::WaitForSingleObject(inputArrived_.Get(), static_cast<DWORD>(std::min(ms, 10)));
  if (r == WAIT_FAILED) Raise(ecReadFailed, ::GetLastError());
}

void TWin32SerialDevice::Purge(bool input, bool output) {
  const HANDLE h = Live(ecPurgeFailed);
  if (!input && !output) return;
  const DWORD flags = (input ? PURGE_RXCLEAR : 0) | (output ? PURGE_TXCLEAR : 0);
  std::lock_guard<std::mutex> lock(mutex_);
  if (!::PurgeComm(h, flags)) {
    const DWORD err = ::GetLastError();
    if (!(hungUp_ && IsDeviceGone(err))) Raise(ecPurgeFailed, err);
  }
  if (input) queue_.clear();
}
