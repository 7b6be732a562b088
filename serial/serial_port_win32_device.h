#pragma once

// The serial device on Windows, shared by the files that make it:
// serial_port_win32.cpp (open and close), serial_port_win32_settings.cpp
// (the line settings record and the timeouts),
// serial_port_win32_transfers.cpp (writes, the drain into our queue, purge)
// and serial_port_win32_watch.cpp (modem lines, line errors and the event
// watch). It runs over the Win32 communications calls: the device opened
// for overlapped transfers, its line settings record read back after it is
// set, the event mask and WaitCommEvent for the event thread,
// ClearCommError for the input count and the line errors. Every Windows
// header of the serial code is included by these files and nowhere else;
// the POSIX build puts the serial_port_posix files in their place.
//
// GetLastError() is captured right at the failing call and travels in the
// exception.
//
// Reads follow the port's timeouts in our own code, over our queue, exactly
// as on POSIX: the driver's read timeouts are set to "return at once with
// what is there", and the driver is only ever asked for bytes it reports
// queued. A read left waiting inside the driver would take bytes in an order
// of its own against the event thread's, and could not be ended but by its
// timeouts. Writes run in the driver under the port's write limits.

#include "serial/serial_device_base.h"

#include "serial/win32_headers.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>

namespace serial_win32 {

using Clock = std::chrono::steady_clock;

[[noreturn]] inline void Raise(int code, DWORD err) { throw ESerialPort(code, static_cast<int>(err)); }

// What Windows answers for a device that went away under an open handle:
// ERROR_ACCESS_DENIED and ERROR_OPERATION_ABORTED for a pulled USB adapter
// (its pending transfers end with the latter), the others from drivers that
// say it their own way. Like end of file on POSIX, this is the line lost,
// not a failure of the call that met it.
inline bool IsDeviceGone(DWORD err) {
  switch (err) {
    case ERROR_ACCESS_DENIED:
    case ERROR_OPERATION_ABORTED:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_IO_DEVICE:
    case ERROR_NOT_READY:
    case ERROR_BROKEN_PIPE: return true;
    default: return false;
  }
}

// A Win32 event, closed with its owner.
class TEvent {
public:
  TEvent(bool manualReset, bool signalled) : h_(::CreateEventW(nullptr, manualReset, signalled, nullptr)) {
    if (!h_) Raise(ecWaitFailed, ::GetLastError());
  }
  ~TEvent() { ::CloseHandle(h_); }
  TEvent(const TEvent &) = delete;
  TEvent &operator=(const TEvent &) = delete;
  HANDLE Get() const { return h_; }
  void Set() const { ::SetEvent(h_); }
  void Reset() const { ::ResetEvent(h_); }
  bool IsSet() const { return ::WaitForSingleObject(h_, 0) == WAIT_OBJECT_0; }

private:
  HANDLE h_;
};

// The structure of one overlapped transfer, on the heap: a transfer the
// driver will not let go of keeps it (see EndOverlapped).
using TOverlapped = std::unique_ptr<OVERLAPPED>;

inline TOverlapped NewOverlapped(HANDLE event) {
  TOverlapped ov = std::make_unique<OVERLAPPED>();
  ov->hEvent = event;
  ::ResetEvent(event);
  return ov;
}

// Ends an overlapped transfer that is still running and waits for it: the
// structure it writes into must not go before that. false when it would not
// end even so; the structure is then left to the driver for good (a few
// bytes, against memory written after it was freed).
inline bool EndOverlapped(HANDLE device, TOverlapped &ov) {
  if (::WaitForSingleObject(ov->hEvent, 0) == WAIT_OBJECT_0) return true;
  ::CancelIoEx(device, ov.get());
  if (::WaitForSingleObject(ov->hEvent, 5000) == WAIT_OBJECT_0) return true;
  (void)ov.release();
  return false;
}

// A read of the drain or the event thread's wait for line events, with
// everything the driver writes into while it runs: the structure, the event
// it signals, the mask WaitCommEvent fills in and the bytes ReadFile fills
// in. One piece on the heap, reused from one transfer to the next. A
// transfer whose cancellation never completes keeps the whole piece for
// good (see EndPendingIo): its late completion then writes into memory
// nobody else uses and signals an event nobody else waits on, where a
// buffer on the stack or an event shared with the next transfer would take
// it into a frame long gone or a later drain.
struct TPendingIo {
  static constexpr DWORD kBytes = 4096;
  OVERLAPPED ov{};
  TEvent done{true, false};
  DWORD mask = 0;
  char bytes[kBytes];

  // A fresh structure on the piece's own event, for the next transfer.
  OVERLAPPED *Start() {
    done.Reset();
    ov = OVERLAPPED{};
    ov.hEvent = done.Get();
    mask = 0;
    return &ov;
  }
  bool Done(DWORD ms) const { return ::WaitForSingleObject(done.Get(), ms) == WAIT_OBJECT_0; }
};

// A piece for the next transfer: the one kept, or a new one after the last
// was left to the driver. nullptr when the system cannot make its event.
inline TPendingIo *PendingIoFor(std::unique_ptr<TPendingIo> &io) {
  if (!io) {
    try {
      io = std::make_unique<TPendingIo>();
    } catch (const ESerialPort &) {
      return nullptr;
    }
  }
  return io.get();
}

// EndOverlapped for a TPendingIo: cancels this one transfer (not the
// others on the handle) and waits for it to end; false, with the piece
// given up whole, when it would not.
inline bool EndPendingIo(HANDLE device, std::unique_ptr<TPendingIo> &io) {
  if (io->Done(0)) return true;
  ::CancelIoEx(device, &io->ov);
  if (io->Done(5000)) return true;
  (void)io.release();
  return false;
}

// How a read of bytes the driver says it holds ended.
struct TQueuedRead {
  enum TEnd {
    Done,     // the driver answered
    CutOff,   // it held the read and we cancelled it: not the device's doing
    Aborted,  // the driver aborted it by itself (error in `error`)
    Failed,   // any other failure (error in `error`)
    Stuck     // not even the cancel ended it; the piece was given up whole
  };
  TEnd end = Done;
  DWORD bytes = 0;  // taken into the piece's buffer, whatever the end
  DWORD error = 0;
};

// Reads want bytes (at most TPendingIo::kBytes) into io's buffer. They were
// reported queued, so the driver answers at once; one that still holds the
// read after holdMs is cut off with CancelIoEx. The ERROR_OPERATION_ABORTED
// that follows is then our cancel and ends the read as CutOff, keeping what
// it took; the same number without our cancel is the driver's (Aborted).
TQueuedRead ReadQueued(HANDLE device, std::unique_ptr<TPendingIo> &io, DWORD want, DWORD holdMs);

// --- the device ------------------------------------------------------------------

class TWin32SerialDevice final : public TSerialDeviceBase {
public:
  // dtr, rts: 1 high, 0 low, -1 as the driver left it.
  TWin32SerialDevice(const std::string &path, int dtr, int rts);
  ~TWin32SerialDevice() override { Shutdown(); }

  std::intptr_t Handle() const override {
    const HANDLE h = handle_.load();
    return h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(h);
  }
  void Shutdown() override;
  bool HasModemLines() const override { return hasModemLines_; }
  std::string LockFile() const override { return {}; }

  void SetQueueSizes(std::int32_t input, std::int32_t output) override;
  void SetState(const TDeviceState &state) override;
  void SetTimeouts(const TDeviceTimeouts &timeouts) override;
  using TSerialDevice::Write;
  int Write(const char *bytes, int count, std::uint64_t ticket) override;
  void AbortWrite() override;
  void Purge(bool input, bool output) override;
  void CheckOpen(int code) const override { (void)Live(code); }
  TLineSignals Signals() override;
  TSerialErrors TakeErrors(bool parityCheck) override;
  void DiscardQueues() override;
  std::unique_ptr<TSerialWatch> Watch(TSerialEvents events) override;

  HANDLE RawHandle() const { return handle_.load(); }
  // WaitCommEvent calls the event thread made on this device, for
  // diagnostics and tests; counted by the watch.
  std::uint64_t EventWaitsStarted() const { return eventWaitsStarted_.load(); }
  void CountEventWait() { ++eventWaitsStarted_; }

  // Moves what the driver holds into our queue, as far as the queue has
  // room; its line errors are also kept for TakeErrors. Never raises:
  // failures are reported as hungUp, with the error kept. For the event
  // thread (forWatch), errorFlags holds every line error any drain found
  // since the event thread last told of them, so that errors a read or
  // PendingInput met first are still told as an event.
  TDrain Drain(bool forWatch = false);

  // The event thread sleeps in a wait that wakes for received bytes (true)
  // or has left it (false): see WaitForInput.
  void SetInputWatched(bool watched) {
    if (watched) inputUnwatched_.Reset();
    else inputUnwatched_.Set();
  }

protected:
  void DrainOrRaise(int code) override;
  void WaitForInput(int ms) override;

private:
  // The handle, or code raised with the invalid-handle error once shut down.
  HANDLE Live(int code) const {
    const HANDLE h = handle_.load();
    if (h == INVALID_HANDLE_VALUE) Raise(code, ERROR_INVALID_HANDLE);
    return h;
  }
  // With mutex_ held: ClearCommError, its error flags kept for TakeErrors.
  // false with the error when it failed.
  bool StatusLocked(HANDLE h, COMSTAT &stat, DWORD &err);
  // Waits, a little, for the output queue to empty; then the purge flags to
  // use (output too only when it is stuck). Takes mutex_ only for each look.
  DWORD LetOutputLeave();

  std::atomic<HANDLE> handle_{INVALID_HANDLE_VALUE};
  bool hasModemLines_ = false;
  // Set by Drain when bytes reached our queue: a read waiting for them looks.
  TEvent inputArrived_{false, false};
  // Set while no event thread sleeps in a wait for received bytes: a read
  // cannot count on inputArrived_ then and looks for itself.
  TEvent inputUnwatched_{true, true};
  // Ends a Write waiting in the driver.
  TEvent abortWrite_{true, false};
  std::unique_ptr<TPendingIo> drainIo_;  // the drain's own reads, under mutex_
  DWORD pendingErrors_ = 0;              // CE_* flags seen by drains and not yet taken
  DWORD untoldErrors_ = 0;               // of those, the ones no event has told of yet
  std::atomic<std::uint64_t> eventWaitsStarted_{0};
};

}  // namespace serial_win32
