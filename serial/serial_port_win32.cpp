// The serial device on Windows, over the Win32 communications calls: the
// device opened for overlapped transfers, its line settings record read back
// after it is set, the event mask and WaitCommEvent for the event thread,
// ClearCommError for the input count and the line errors. Every Windows
// header of the serial code is included here and nowhere else; the POSIX
// build puts serial_port_posix.cpp in this file's place.
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

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Raise(int code, DWORD err) { throw ESerialPort(code, static_cast<int>(err)); }

// What Windows answers for a device that went away under an open handle:
// ERROR_ACCESS_DENIED and ERROR_OPERATION_ABORTED for a pulled USB adapter
// (its pending transfers end with the latter), the others from drivers that
// say it their own way. Like end of file on POSIX, this is the line lost,
// not a failure of the call that met it.
bool IsDeviceGone(DWORD err) {
  switch (err) {
    case ERROR_ACCESS_DENIED:
    case ERROR_OPERATION_ABORTED:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_IO_DEVICE:
    case ERROR_NOT_READY:
    case ERROR_BROKEN_PIPE:
      return true;
    default:
      return false;
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

TOverlapped NewOverlapped(HANDLE event) {
  TOverlapped ov = std::make_unique<OVERLAPPED>();
  ov->hEvent = event;
  ::ResetEvent(event);
  return ov;
}

// Ends an overlapped transfer that is still running and waits for it: the
// structure it writes into must not go before that. false when it would not
// end even so; the structure is then left to the driver for good (a few
// bytes, against memory written after it was freed).
bool EndOverlapped(HANDLE device, TOverlapped &ov) {
  if (::WaitForSingleObject(ov->hEvent, 0) == WAIT_OBJECT_0) return true;
  ::CancelIoEx(device, ov.get());
  if (::WaitForSingleObject(ov->hEvent, 5000) == WAIT_OBJECT_0) return true;
  (void)ov.release();
  return false;
}

// The DCB of the line settings record; every field not named stays zero.
DCB ToDcb(const TDeviceState &s) {
  DCB d{};
  d.DCBlength = sizeof d;
  d.BaudRate = s.BaudRate;
  d.fBinary = (s.Flags & TDeviceState::fBinary) != 0;
  d.fParity = (s.Flags & TDeviceState::fParity) != 0;
  d.fOutxCtsFlow = (s.Flags & TDeviceState::fOutxCtsFlow) != 0;
  d.fOutxDsrFlow = (s.Flags & TDeviceState::fOutxDsrFlow) != 0;
  d.fDtrControl = static_cast<DWORD>(s.DtrControl());
  d.fDsrSensitivity = (s.Flags & TDeviceState::fDsrSensitivity) != 0;
  d.fTXContinueOnXoff = (s.Flags & TDeviceState::fTXContinueOnXoff) != 0;
  d.fOutX = (s.Flags & TDeviceState::fOutX) != 0;
  d.fInX = (s.Flags & TDeviceState::fInX) != 0;
  d.fErrorChar = (s.Flags & TDeviceState::fErrorChar) != 0;
  d.fNull = (s.Flags & TDeviceState::fNull) != 0;
  d.fRtsControl = static_cast<DWORD>(s.RtsControl());
  d.fAbortOnError = (s.Flags & TDeviceState::fAbortOnError) != 0;
  d.XonLim = s.XonLim;
  d.XoffLim = s.XoffLim;
  d.ByteSize = s.ByteSize;
  d.Parity = s.Parity;
  d.StopBits = s.StopBits;
  d.XonChar = s.XonChar;
  d.XoffChar = s.XoffChar;
  d.ErrorChar = s.ErrorChar;
  d.EofChar = s.EofChar;
  d.EvtChar = s.EvtChar;
  return d;
}

// True when the driver kept what decides whether the line works at all:
// the rate (drivers round odd rates to what their divisor can do; within
// 3 % the line still works, further off it does not), the character format
// and the handshakes. A driver that cannot do a size, a parity or 1.5 stop
// bits may take the record and keep its own.
bool LineTaken(const DCB &wanted, const DCB &back) {
  const double ratio = static_cast<double>(back.BaudRate) / wanted.BaudRate;
  return ratio >= 0.97 && ratio <= 1.03 && back.ByteSize == wanted.ByteSize && back.Parity == wanted.Parity &&
         back.StopBits == wanted.StopBits && back.fOutxCtsFlow == wanted.fOutxCtsFlow &&
         back.fOutxDsrFlow == wanted.fOutxDsrFlow && back.fOutX == wanted.fOutX && back.fInX == wanted.fInX;
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
  int Write(const char *bytes, int count) override;
  void AbortWrite() override;
  void Purge(bool input, bool output) override;
  void CheckOpen(int code) const override { (void)Live(code); }
  int PendingInput() override;
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
  std::lock_guard<std::mutex> lock(mutex_);
  const HANDLE h = handle_.exchange(INVALID_HANDLE_VALUE);
  if (h == INVALID_HANDLE_VALUE) return;
  // Whatever is still queued after that dies with the port, whether or not
  // an event thread was left to discard it. Closing the handle ends every
  // transfer still pending on it.
  (void)::PurgeComm(h, LetOutputLeaveLocked(h));
  ::CloseHandle(h);
  queue_.clear();
}

DWORD TWin32SerialDevice::LetOutputLeaveLocked(HANDLE h) {
  // Bytes WriteText reported as written may still wait in the driver; the
  // last command before a close must still reach the logger. Bounded, so a
  // stalled line never holds the close for long.
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(500);
  for (;;) {
    COMSTAT stat{};
    DWORD err = 0;
    if (!StatusLocked(h, stat, err) || stat.cbOutQue == 0) return PURGE_RXCLEAR;
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
  pendingErrors_ |= errors;
  return true;
}

void TWin32SerialDevice::SetQueueSizes(std::int32_t input, std::int32_t output) {
  if (input < 0 || output < 0) Raise(ecSetupFailed, ERROR_INVALID_PARAMETER);
  const HANDLE h = Live(ecSetupFailed);
  if (!::SetupComm(h, static_cast<DWORD>(input), static_cast<DWORD>(output))) Raise(ecSetupFailed, ::GetLastError());
  std::lock_guard<std::mutex> lock(mutex_);
  inputSize_ = input;
}

void TWin32SerialDevice::SetState(const TDeviceState &s) {
  const HANDLE h = Live(ecSetStateFailed);
  if (s.BaudRate == 0) Raise(ecSetStateFailed, ERROR_INVALID_PARAMETER);
  // A record the device does not take leaves the line as it was.
  DCB before{};
  before.DCBlength = sizeof before;
  const bool restorable = ::GetCommState(h, &before) != 0;
  auto refuse = [&](DWORD err) {
    if (restorable) (void)::SetCommState(h, &before);
    Raise(ecSetStateFailed, err);
  };
  DCB wanted = ToDcb(s);
  if (!::SetCommState(h, &wanted)) refuse(::GetLastError());
  // SetCommState succeeds with drivers that quietly keep part of their own
  // settings; read back to see that the line is the one asked for.
  DCB back{};
  back.DCBlength = sizeof back;
  if (!::GetCommState(h, &back)) refuse(::GetLastError());
  if (!LineTaken(wanted, back)) refuse(ERROR_INVALID_PARAMETER);
  std::lock_guard<std::mutex> lock(mutex_);
  state_ = s;
}

void TWin32SerialDevice::SetTimeouts(const TDeviceTimeouts &t) {
  const HANDLE h = Live(ecSetTimeoutsFailed);
  COMMTIMEOUTS c{};
  c.ReadIntervalTimeout = MAXDWORD;  // see the top of this file
  c.ReadTotalTimeoutMultiplier = 0;
  c.ReadTotalTimeoutConstant = 0;
  c.WriteTotalTimeoutMultiplier = t.WriteTotalTimeoutMultiplier;
  c.WriteTotalTimeoutConstant = t.WriteTotalTimeoutConstant;
  if (!::SetCommTimeouts(h, &c)) Raise(ecSetTimeoutsFailed, ::GetLastError());
  std::lock_guard<std::mutex> lock(mutex_);
  timeouts_ = t;
}

int TWin32SerialDevice::Write(const char *bytes, int count) {
  if (count <= 0) return 0;
  const HANDLE h = Live(ecWriteFailed);
  // An abort meant for an earlier write is not this one's.
  abortWrite_.Reset();
  const TEvent done(true, false);
  TOverlapped ov = NewOverlapped(done.Get());
  if (!::WriteFile(h, bytes, static_cast<DWORD>(count), nullptr, ov.get())) {
    const DWORD err = ::GetLastError();
    if (err != ERROR_IO_PENDING) Raise(ecWriteFailed, err);
  }
  // The write limit is the driver's; we only wait for it, or for an abort.
  const HANDLE both[2] = {done.Get(), abortWrite_.Get()};
  const DWORD woke = ::WaitForMultipleObjects(2, both, FALSE, INFINITE);
  const bool aborted = woke == WAIT_OBJECT_0 + 1;
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

void TWin32SerialDevice::AbortWrite() { abortWrite_.Set(); }

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

void TWin32SerialDevice::DiscardQueues() {
  std::lock_guard<std::mutex> lock(mutex_);
  const HANDLE h = handle_.load();
  if (h != INVALID_HANDLE_VALUE) (void)::PurgeComm(h, LetOutputLeaveLocked(h));
  queue_.clear();
}

int TWin32SerialDevice::PendingInput() {
  DrainOrRaise(ecClearErrorFailed);
  return QueuedInput();
}

TLineSignals TWin32SerialDevice::Signals() {
  const HANDLE h = Live(ecModemStatusFailed);
  TLineSignals s;
  if (!hasModemLines_) return s;  // a device without the lines: every one reads off
  DWORD bits = 0;
  if (!::GetCommModemStatus(h, &bits)) Raise(ecModemStatusFailed, ::GetLastError());
  if (bits & MS_CTS_ON) s.Include(lsCTS);
  if (bits & MS_DSR_ON) s.Include(lsDSR);
  if (bits & MS_RING_ON) s.Include(lsRing);
  if (bits & MS_RLSD_ON) s.Include(lsRLSD);
  return s;
}

TSerialErrors TWin32SerialDevice::TakeErrors(bool parityCheck) {
  const HANDLE h = Live(ecClearErrorFailed);
  std::lock_guard<std::mutex> lock(mutex_);
  if (!hungUp_) {
    COMSTAT stat{};
    DWORD err = 0;
    if (!StatusLocked(h, stat, err)) {
      if (!IsDeviceGone(err)) Raise(ecClearErrorFailed, err);
      HangUpLocked(err);
    }
  }
  const DWORD flags = pendingErrors_;
  pendingErrors_ = 0;
  TSerialErrors errors;
  if (flags & CE_FRAME) errors.Include(erFraming);
  if ((flags & CE_RXPARITY) && parityCheck) errors.Include(erParity);
  if (flags & CE_OVERRUN) errors.Include(erOverrun);
  if (flags & CE_RXOVER) errors.Include(erRxOverflow);
  if (flags & CE_TXFULL) errors.Include(erTxFull);
  if (flags & CE_BREAK) errors.Include(erBreak);
  if (flags & CE_IOE) errors.Include(erDeviceIO);
  if (flags & CE_MODE) errors.Include(erMode);
  TakeOwnErrorsLocked(errors);
  return errors;
}

// --- the event watch ----------------------------------------------------------------

// How often a watch with nothing to report asks the device whether it is
// still there. Drivers of USB adapters are known to leave a pending
// WaitCommEvent alone when the adapter is pulled; this look is what tells
// the loss then. Between looks the thread sleeps in the system.
constexpr DWORD kLookMs = 250;
// How often the device is looked at when it cannot wait for line events at
// all (see FallBack): received bytes are then noticed this late at most.
constexpr DWORD kPollMs = 20;

constexpr DWORD kModemEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;

class TWin32SerialWatch final : public TSerialWatch {
public:
  TWin32SerialWatch(TWin32SerialDevice &device, TSerialEvents events) : device_(device) {
    wantInput_ = events.Contains(evRxChar) || events.Contains(evRxFlag) || events.Contains(evRx80Full);
    if (wantInput_) mask_ |= EV_RXCHAR;
    if (events.Contains(evError)) mask_ |= EV_ERR;
    if (events.Contains(evBreak)) mask_ |= EV_BREAK;
    // A device without modem lines has no line events; asking for them
    // makes some drivers refuse the whole wait.
    if (device_.HasModemLines()) {
      if (events.Contains(evCTS)) mask_ |= EV_CTS;
      if (events.Contains(evDSR)) mask_ |= EV_DSR;
      if (events.Contains(evRLSD)) mask_ |= EV_RLSD;
      if (events.Contains(evRing)) mask_ |= EV_RING;
    }
    // The event character, the output running empty and the queue filling
    // up are told by our own queue and writes, the same way on every
    // system: EV_RXFLAG, EV_TXEMPTY and EV_RX80FULL are not asked for.
    if (!::SetCommMask(device_.RawHandle(), mask_)) Raise(ecWaitFailed, ::GetLastError());
    if (mask_ & kModemEvents) ::GetCommModemStatus(device_.RawHandle(), &modem_);
  }

  ~TWin32SerialWatch() override { EndWait(); }

  void Stop() override { stop_.Set(); }
  void TxFinished() override { tx_.Set(); }

  TSerialWatchResult Wait() override {
    TSerialWatchResult out;
    for (;;) {
      const HANDLE h = device_.RawHandle();
      if (stop_.IsSet()) return Stopped(out);
      if (h == INVALID_HANDLE_VALUE) {
        out.lost = true;
        return out;
      }
      DWORD seen = 0;
      bool woke = false;
      if (!polling_ && mask_ != 0 && !pending_) {
        ov_ = NewOverlapped(commDone_.Get());
        got_ = 0;
        if (::WaitCommEvent(h, &got_, ov_.get())) {
          seen = got_;
          woke = true;
        } else if (::GetLastError() == ERROR_IO_PENDING) {
          pending_ = true;
        } else if (!FallBack(out) || News(out)) {
          return out;
        }
      }
      // Bytes that came while no wait was armed are not told by the system
      // (it reports arrivals, not what is queued): look before sleeping.
      if (!woke && wantInput_ && CollectInput(out)) return out;
      if (!woke) {
        const HANDLE handles[3] = {stop_.Get(), tx_.Get(), commDone_.Get()};
        const DWORD r = ::WaitForMultipleObjects(pending_ ? 3 : 2, handles, FALSE, polling_ ? kPollMs : kLookMs);
        if (r == WAIT_OBJECT_0) return Stopped(out);
        if (r == WAIT_OBJECT_0 + 1) {
          out.events.Include(evTxEmpty);
        } else if (r == WAIT_OBJECT_0 + 2) {
          pending_ = false;
          DWORD n = 0;
          if (::GetOverlappedResult(h, ov_.get(), &n, FALSE))
            seen = got_;
          else if (!FallBack(out) || News(out))
            return out;
        } else if (r == WAIT_TIMEOUT) {
          if (polling_) seen = ModemChanges(h);
        } else {
          out.lost = true;  // the wait itself failed
          return out;
        }
      }
      if (stop_.IsSet()) return Stopped(out);
      CollectInput(out);
      if (seen & EV_ERR) out.events.Include(evError);
      if (seen & EV_BREAK) out.events.Include(evBreak);
      if (seen & EV_CTS) out.events.Include(evCTS);
      if (seen & EV_DSR) out.events.Include(evDSR);
      if (seen & EV_RLSD) out.events.Include(evRLSD);
      if (seen & EV_RING) out.events.Include(evRing);
      // A wake-up that found nothing (bytes a read took first, a look at a
      // device still there) is no news: sleep again.
      if (News(out)) return out;
    }
  }

private:
  TSerialWatchResult &Stopped(TSerialWatchResult &out) {
    EndWait();
    out = TSerialWatchResult{};
    out.stop = true;
    return out;
  }

  // The wait for line events failed, at once or when it ended. A device
  // that went away fails it so (a pulled adapter ends it with
  // ERROR_OPERATION_ABORTED); but one that is still there and answers
  // ClearCommError simply cannot wait for its events: it is then looked at
  // every few milliseconds instead, as POSIX samples modem lines, rather
  // than taken for lost or asked again at once for ever. false, with the
  // loss in out, when it is gone.
  bool FallBack(TSerialWatchResult &out) {
    pending_ = false;
    CollectInput(out);
    if (out.lost) return false;
    polling_ = true;
    return true;
  }

  static bool News(const TSerialWatchResult &out) {
    return !out.events.Empty() || out.lost || out.full || out.input;
  }

  // Modem-line changes since the last look, as event-mask bits.
  DWORD ModemChanges(HANDLE h) {
    if (!(mask_ & kModemEvents)) return 0;
    DWORD now = 0;
    if (!::GetCommModemStatus(h, &now)) return 0;  // a loss shows in the drain
    const DWORD changed = now ^ modem_;
    DWORD seen = 0;
    if (changed & MS_CTS_ON) seen |= EV_CTS;
    if (changed & MS_DSR_ON) seen |= EV_DSR;
    if (changed & MS_RLSD_ON) seen |= EV_RLSD;
    if (changed & now & MS_RING_ON) seen |= EV_RING;
    modem_ = now;
    return seen & mask_;
  }

  // Drains the driver into our queue (or, when input is not watched, only
  // looks whether the device is still there); true when that found
  // something to report.
  bool CollectInput(TSerialWatchResult &out) {
    const TWin32SerialDevice::TDrain d = device_.Drain();
    TSerialWatchResult found;
    device_.ReportDrain(d, found);
    if (wantInput_) out.events |= found.events;  // otherwise bytes for a later read, not news
    out.input = out.input || found.input;
    out.lost = out.lost || found.lost;
    out.full = found.full;
    if (d.errorFlags & CE_BREAK && mask_ & EV_BREAK) out.events.Include(evBreak);
    if (d.errorFlags & ~static_cast<DWORD>(CE_BREAK) && mask_ & EV_ERR) out.events.Include(evError);
    return d.bytes > 0 || d.hungUp || d.errorFlags != 0;
  }

  // Clears the mask, which ends a wait still pending, and waits for it to
  // end: its structure is ours to free only then.
  void EndWait() {
    const HANDLE h = device_.RawHandle();
    if (h != INVALID_HANDLE_VALUE) (void)::SetCommMask(h, 0);
    if (!pending_) return;
    pending_ = false;
    (void)EndOverlapped(h, ov_);
  }

  TWin32SerialDevice &device_;
  bool wantInput_ = false;
  DWORD mask_ = 0;
  bool polling_ = false;  // the device cannot wait for its events
  DWORD modem_ = 0;       // the modem status at the last look (polling only)
  TEvent stop_{true, false};
  TEvent tx_{false, false};
  TEvent commDone_{true, false};
  TOverlapped ov_;
  DWORD got_ = 0;
  bool pending_ = false;
};

std::unique_ptr<TSerialWatch> TWin32SerialDevice::Watch(TSerialEvents events) {
  (void)Live(ecWaitFailed);
  return std::make_unique<TWin32SerialWatch>(*this, events);
}

std::string &LockFolderOverride() {
  static std::string folder;
  return folder;
}
std::mutex g_lockFolderMutex;

}  // namespace

std::shared_ptr<TSerialDevice> OpenSerialDevice(const std::string &path) {
  return std::make_shared<TWin32SerialDevice>(path, 0, -1);
}

std::shared_ptr<TSerialDevice> OpenSerialDevice(const std::string &path, const TDeviceState &lines) {
  const int rts = lines.RtsControl();
  return std::make_shared<TWin32SerialDevice>(path, lines.DtrControl() != 0 ? 1 : 0, rts == 1 || rts == 2 ? 1 : 0);
}

int SerialOsErrorNumber(TSerialOsError which) {
  switch (which) {
    case TSerialOsError::Closed: return ERROR_INVALID_HANDLE;
    case TSerialOsError::Cancelled: return ERROR_OPERATION_ABORTED;
    case TSerialOsError::DeviceGone: return ERROR_ACCESS_DENIED;
    case TSerialOsError::Busy: return ERROR_ACCESS_DENIED;
  }
  return ERROR_GEN_FAILURE;
}

// Windows keeps no serial lock files: the exclusive open is the lock.
std::string SerialLockFolder() {
  std::lock_guard<std::mutex> lock(g_lockFolderMutex);
  return LockFolderOverride();
}

void SetSerialLockFolder(const std::string &folder) {
  std::lock_guard<std::mutex> lock(g_lockFolderMutex);
  LockFolderOverride() = folder;
}

std::string SerialLockFileFor(const std::string &) { return {}; }

void ApplyThreadPriority(TThreadPriority priority) {
  static const int kPriority[] = {THREAD_PRIORITY_IDLE,   THREAD_PRIORITY_LOWEST,  THREAD_PRIORITY_BELOW_NORMAL,
                                  THREAD_PRIORITY_NORMAL, THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                                  THREAD_PRIORITY_TIME_CRITICAL};
  const int p = static_cast<int>(priority);
  if (p < 0 || p > 6 || p == tpNormal) return;
  (void)::SetThreadPriority(::GetCurrentThread(), kPriority[p]);
}
