// What the Windows device's event thread looks at and how it waits: the
// modem status and the line errors, and the event watch over WaitCommEvent,
// with its looks at a device that may have gone without a word and its
// fall-back, while a wait fails, to looking every few milliseconds.

#include "serial/serial_port_win32_device.h"

#include <algorithm>

using namespace serial_win32;

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
  untoldErrors_ = 0;  // taken is told
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

namespace {

using std::chrono::milliseconds;

// How often a watch with nothing to report asks the device whether it is
// still there. Drivers of USB adapters are known to leave a pending
// WaitCommEvent alone when the adapter is pulled; this look is what tells
// the loss then. Between looks the thread sleeps in the system.
constexpr DWORD kLookMs = 250;
// How often the device is looked at while its wait for line events has
// failed (see FallBack): received bytes are then noticed this late at most.
constexpr DWORD kPollMs = 20;
// How long the watch looks before it asks the device to wait for its
// events again after a failed wait: at first soon, as a failure is mostly
// passing (a driver that aborts on a line error until the error is
// cleared, an adapter's driver cancelling pending I/O around a change of
// power state); then, while every new wait fails at once again (a device
// that cannot wait for its events at all), ever more seldom.
constexpr milliseconds kFirstBackOff{50};
constexpr milliseconds kLongestBackOff{5000};

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
      if (polling_ && Clock::now() >= retryAt_) polling_ = false;  // try the wait again
      DWORD seen = 0;
      bool woke = false;
      if (!polling_ && mask_ != 0 && !pending_) {
        switch (StartWait(h)) {
          case TStart::Woke:
            seen = io_->mask;
            woke = true;
            WaitWorked();
            break;
          case TStart::Pending: pending_ = true; break;
          case TStart::Failed:
            if (!FallBack(out) || News(out)) return out;
            break;
        }
      }
      // Bytes that came while no wait was armed are not told by the system
      // (it reports arrivals, not what is queued): look before sleeping.
      if (!woke && wantInput_ && CollectInput(out)) return out;
      if (!woke) {
        const HANDLE handles[3] = {stop_.Get(), tx_.Get(), pending_ ? io_->done.Get() : nullptr};
        // A read waiting for bytes can count on this thread only while its
        // wait for them is in the system.
        const bool watched = pending_ && wantInput_;
        if (watched) device_.SetInputWatched(true);
        const DWORD r = ::WaitForMultipleObjects(pending_ ? 3 : 2, handles, FALSE, polling_ ? kPollMs : kLookMs);
        if (watched) device_.SetInputWatched(false);
        if (r == WAIT_OBJECT_0) return Stopped(out);
        if (r == WAIT_OBJECT_0 + 1) {
          out.events.Include(evTxEmpty);
        } else if (r == WAIT_OBJECT_0 + 2) {
          pending_ = false;
          DWORD n = 0;
          if (::GetOverlappedResult(h, &io_->ov, &n, FALSE)) {
            seen = io_->mask;
            WaitWorked();
          } else if (!FallBack(out) || News(out)) {
            return out;
          }
        } else if (r == WAIT_TIMEOUT) {
          if (polling_) seen = ModemChanges(h);
          else if (pending_) WaitWorked();  // a quarter of a second in the system: the wait holds
        } else {
          out.lost = true;  // the wait itself failed
          return out;
        }
      }
      if (stop_.IsSet()) return Stopped(out);
      CollectInput(out);
      if (seen & kModemEvents) NoteModemStatus(h);
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
  enum class TStart { Woke, Pending, Failed };

  // Asks the device to wait for the line events of the mask.
  TStart StartWait(HANDLE h) {
    TPendingIo *io = PendingIoFor(io_);
    if (!io) return TStart::Failed;  // no event to wait on: looked at instead, as for a failed wait
    device_.CountEventWait();
    if (::WaitCommEvent(h, &io->mask, io->Start())) return TStart::Woke;
    return ::GetLastError() == ERROR_IO_PENDING ? TStart::Pending : TStart::Failed;
  }

  TSerialWatchResult &Stopped(TSerialWatchResult &out) {
    EndWait();
    out = TSerialWatchResult{};
    out.stop = true;
    return out;
  }

  // The wait for line events failed, at once or when it ended. A device
  // that went away fails it so (a pulled adapter ends it with
  // ERROR_OPERATION_ABORTED); but one that is still there and answers
  // ClearCommError is not lost: its wait failed for a passing reason, or
  // it cannot wait for its events at all. It is looked at every few
  // milliseconds instead, as POSIX samples modem lines, and asked to wait
  // again after a back-off that grows while every new wait fails; never
  // taken for lost, never asked again at once for ever, never left polling
  // for the rest of the session because of one failure. false, with the
  // loss in out, when it is gone.
  bool FallBack(TSerialWatchResult &out) {
    pending_ = false;
    CollectInput(out);
    if (out.lost) return false;
    // modem_ holds the lines as the last event told them: a change the
    // failed wait did not tell is told by the first look.
    polling_ = true;
    retryAt_ = Clock::now() + backOff_;
    backOff_ = std::min(backOff_ * 2, kLongestBackOff);
    return true;
  }

  // The device waited for its events as asked: a later failure is again
  // retried soon.
  void WaitWorked() { backOff_ = kFirstBackOff; }

  static bool News(const TSerialWatchResult &out) { return !out.events.Empty() || out.lost || out.full || out.input; }

  void NoteModemStatus(HANDLE h) {
    DWORD now = 0;
    if (::GetCommModemStatus(h, &now)) modem_ = now;
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
  // something to report. Line errors count whoever drained them first: a
  // read or PendingInput on the UI thread clears them in the driver, and
  // while the device cannot wait for its events (no EV_ERR then) this is
  // the only way they are ever told.
  bool CollectInput(TSerialWatchResult &out) {
    const TWin32SerialDevice::TDrain d = device_.Drain(true);
    TSerialWatchResult found;
    device_.ReportDrain(d, found);
    if (wantInput_) out.events |= found.events;  // otherwise bytes for a later read, not news
    out.input = out.input || found.input;
    out.lost = out.lost || found.lost;
    out.full = found.full;
    bool told = false;
    if (d.errorFlags & CE_BREAK && mask_ & EV_BREAK) {
      out.events.Include(evBreak);
      told = true;
    }
    if (d.errorFlags & ~static_cast<DWORD>(CE_BREAK) && mask_ & EV_ERR) {
      out.events.Include(evError);
      told = true;
    }
    return d.bytes > 0 || d.hungUp || told;
  }

  // Clears the mask, which ends a wait still pending, and waits for it to
  // end: its structure is ours to free only then.
  void EndWait() {
    const HANDLE h = device_.RawHandle();
    if (h != INVALID_HANDLE_VALUE) (void)::SetCommMask(h, 0);
    if (!pending_) return;
    pending_ = false;
    (void)EndPendingIo(h, io_);
  }

  TWin32SerialDevice &device_;
  bool wantInput_ = false;
  DWORD mask_ = 0;
  bool polling_ = false;  // the last wait failed: looking instead until retryAt_
  Clock::time_point retryAt_{};
  milliseconds backOff_ = kFirstBackOff;
  DWORD modem_ = 0;  // the modem status at the last look or event
  TEvent stop_{true, false};
  TEvent tx_{false, false};
  std::unique_ptr<TPendingIo> io_;  // the wait's structure, mask and event
  bool pending_ = false;
};

}  // namespace

std::unique_ptr<TSerialWatch> TWin32SerialDevice::Watch(TSerialEvents events) {
  (void)Live(ecWaitFailed);
  return std::make_unique<TWin32SerialWatch>(*this, events);
}
