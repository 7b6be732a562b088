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

  // Moves what the driver holds into our queue, as far as the queue has
  // room; its line errors are also kept for TakeErrors. Never raises:
  // failures are reported as hungUp, with the error kept.
  TDrain Drain();

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
  // With mutex_ held: waits, a little, for the output queue to empty; then
  // the purge flags to use (output too only when it is stuck).
  DWORD LetOutputLeaveLocked(HANDLE h);

  std::atomic<HANDLE> handle_{INVALID_HANDLE_VALUE};
  bool hasModemLines_ = false;
  // Set by Drain when bytes reached our queue: a read waiting for them looks.
  TEvent inputArrived_{false, false};
  // Ends a Write waiting in the driver.
  TEvent abortWrite_{true, false};
  TEvent drainDone_{true, false};  // the drain's own reads, under mutex_
  DWORD pendingErrors_ = 0;        // CE_* flags seen by drains and not yet taken
};

}  // namespace serial_win32
