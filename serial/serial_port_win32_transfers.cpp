// The Windows device's writes (overlapped, under the driver's write limits,
// ended at once by an abort), the drain of what the driver holds into our
// queue that reads and the event thread share, the read's wait for more,
// and the purge.

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

TQueuedRead serial_win32::ReadQueued(HANDLE device, std::unique_ptr<TPendingIo> &io, DWORD want, DWORD holdMs) {
  TQueuedRead read;
  TPendingIo &piece = *io;
  bool cancelled = false;
  bool ok = ::ReadFile(device, piece.bytes, std::min(want, TPendingIo::kBytes), nullptr, piece.Start()) != 0;
  if (!ok && ::GetLastError() == ERROR_IO_PENDING) {
    if (!piece.Done(holdMs)) {
      cancelled = true;
      if (!EndPendingIo(device, io)) {
        read.end = TQueuedRead::Stuck;
        return read;
      }
    }
    ok = true;
  } else if (!ok) {
    read.error = ::GetLastError();
  }
  if (ok && !::GetOverlappedResult(device, &piece.ov, &read.bytes, FALSE)) {
    ok = false;
    read.error = ::GetLastError();
  }
  if (ok) return read;
  // A read ended early reports in InternalHigh what it took before.
  read.bytes = static_cast<DWORD>(std::min<ULONG_PTR>(piece.ov.InternalHigh, want));
  if (read.error != ERROR_OPERATION_ABORTED) read.end = TQueuedRead::Failed;
  else read.end = cancelled ? TQueuedRead::CutOff : TQueuedRead::Aborted;
  return read;
}

TWin32SerialDevice::TDrain TWin32SerialDevice::Drain(bool forWatch) {
  TDrain result;
  std::lock_guard<std::mutex> lock(mutex_);
  const HANDLE h = handle_.load();
  if (hungUp_ || h == INVALID_HANDLE_VALUE) {
    result.hungUp = true;
    return result;
  }
  for (;;) {
    COMSTAT stat{};
    DWORD err = 0;
    if (!StatusLocked(h, stat, err)) {
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
    // Without an event for the read the bytes stay in the driver until a
    // later drain; the system is short of handles, the line is not lost.
    TPendingIo *io = PendingIoFor(drainIo_);
    if (!io) break;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>({stat.cbInQue, room, TPendingIo::kBytes}));
    const TQueuedRead read = ReadQueued(h, drainIo_, want, 1000);
    TAdded added;
    if (read.end != TQueuedRead::Stuck) AddLocked(io->bytes, read.bytes, added);
    result.bytes += added.bytes;
    result.eventChar = result.eventChar || added.eventChar;
    if (read.end == TQueuedRead::Done) {
      if (read.bytes == 0) break;  // nothing after all: never loop on it
      continue;
    }
    // Cut off by us: what it took is ours, the rest waits in the driver for
    // a later drain; the line is not lost for that. Aborted without us: a
    // pulled adapter, or a driver set to abort on a line error until the
    // error is cleared; ClearCommError tells which (a device that is gone
    // fails it, the other one is cleared by it). Either way this drain
    // ends here, never looping on a driver that keeps cutting its reads.
    if (read.end == TQueuedRead::Aborted && !StatusLocked(h, stat, err)) {
      HangUpLocked(err);
      result.hungUp = true;
    } else if (read.end == TQueuedRead::Failed) {
      HangUpLocked(read.error);
      result.hungUp = true;
    } else if (read.end == TQueuedRead::Stuck) {
      // Not even the cancel ends it: the read keeps its buffer and event
      // for good, and would take the next bytes into them. No byte can
      // reach us through this handle any more.
      HangUpLocked(ERROR_IO_DEVICE);
      result.hungUp = true;
    }
    break;
  }
  if (forWatch) {
    result.errorFlags = untoldErrors_;
    untoldErrors_ = 0;
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
  // While the event thread sleeps in a wait that wakes for received bytes,
  // it drains them the moment they come and signals inputArrived_: the read
  // sleeps until then, or until the thread leaves that wait (to deliver, to
  // look at the device, or to stop) and can no longer be counted on. The
  // drain after this call then finds whatever came. With no such thread
  // (no events watched, one blocked in a delivery, one whose device cannot
  // wait for line events) nobody else looks: the read looks again itself
  // after a moment.
  DWORD r = 0;
  if (inputUnwatched_.IsSet()) {
    r = ::WaitForSingleObject(inputArrived_.Get(), static_cast<DWORD>(std::min(ms, 10)));
  } else {
    const HANDLE either[2] = {inputArrived_.Get(), inputUnwatched_.Get()};
    r = ::WaitForMultipleObjects(2, either, FALSE, static_cast<DWORD>(ms));
  }
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
