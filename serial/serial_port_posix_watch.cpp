// What the POSIX device's event thread looks at and how it waits: the
// modem lines and the kernel's error counters, poll() kept to its deadline,
// the waiter with its two signals, and the event watch on top of them; and
// the priority of the thread.

#include "serial/serial_device_posix.h"
#include "serial/serial_port_posix_device.h"

#include <initializer_list>
#include <memory>

#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <linux/serial.h>

using namespace serial_posix;

namespace serial_posix {

// poll() that ends at the deadline its timeout sets, however often a signal
// interrupts it. Re-issuing poll() with the same timeout after EINTR would
// start the count again each time: a signal every 10 ms, from a timer of the
// program or a debugger, kept a 300 ms read waiting as long as the signals
// went on. timeoutMs < 0: no limit. Returns what poll() returns; 0 when the
// time is up.
int PollFor(pollfd *fds, nfds_t count, int timeoutMs) {
  if (timeoutMs < 0) return Retry([&] { return ::poll(fds, count, -1); });
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  int wait = timeoutMs;
  for (;;) {
    const int r = ::poll(fds, count, wait);
    if (r >= 0 || errno != EINTR) return r;
    wait = MsLeft(deadline);
    if (wait == 0) {
      for (nfds_t i = 0; i < count; ++i) fds[i].revents = 0;
      return 0;
    }
  }
}

}  // namespace serial_posix

TLineSignals TPosixSerialDevice::Signals() {
  CheckOpen(ecModemStatusFailed);
  TLineSignals s;
  if (!hasModemLines_) return s;  // a pseudo-terminal: every line reads off
  int bits = 0;
  if (::ioctl(fd_, TIOCMGET, &bits) != 0) Raise(ecModemStatusFailed, errno);
  if (bits & TIOCM_CTS) s.Include(lsCTS);
  if (bits & TIOCM_DSR) s.Include(lsDSR);
  if (bits & TIOCM_RI) s.Include(lsRing);
  if (bits & TIOCM_CD) s.Include(lsRLSD);
  return s;
}

TSerialErrors TPosixSerialDevice::TakeErrors(bool parityCheck) {
  CheckOpen(ecClearErrorFailed);
  TSerialErrors errors;
  std::lock_guard<std::mutex> lock(mutex_);
  serial_icounter_struct c{};
  if (hasCounters_ && !hungUp_ && ::ioctl(fd_, TIOCGICOUNT, &c) == 0) {
    if (c.frame != seenFrame_) errors.Include(erFraming);
    if (c.parity != seenParity_ && parityCheck) errors.Include(erParity);
    if (c.overrun != seenOverrun_) errors.Include(erOverrun);
    if (c.buf_overrun != seenBufOverrun_) errors.Include(erRxOverflow);
    if (c.brk != seenBreak_) errors.Include(erBreak);
    seenFrame_ = c.frame;
    seenParity_ = c.parity;
    seenOverrun_ = c.overrun;
    seenBufOverrun_ = c.buf_overrun;
    seenBreak_ = c.brk;
  }
  TakeOwnErrorsLocked(errors);
  return errors;
}

bool TPosixSerialDevice::Sample(TLineSample &out) const {
  bool any = false;
  if (hasModemLines_ && ::ioctl(fd_, TIOCMGET, &out.modemBits) == 0) any = true;
  serial_icounter_struct c{};
  if (hasCounters_ && ::ioctl(fd_, TIOCGICOUNT, &c) == 0) {
    out.rings = c.rng;
    out.breaks = c.brk;
    out.errors = c.frame + c.parity + c.overrun + c.buf_overrun;
    any = true;
  }
  return any;
}

TSerialWaiter::TSerialWaiter() {
  stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stopFd_ < 0) Raise(ecWaitFailed, errno);
  txFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (txFd_ < 0) {
    const int err = errno;
    ::close(stopFd_);
    Raise(ecWaitFailed, err);
  }
}

TSerialWaiter::~TSerialWaiter() {
  ::close(stopFd_);
  ::close(txFd_);
}

void TSerialWaiter::Stop() {
  const std::uint64_t one = 1;
  // The counter cannot overflow with our few writes; EAGAIN would still
  // leave it readable, which is all the wait needs.
  (void)Retry([&] { return ::write(stopFd_, &one, sizeof one); });
}

void TSerialWaiter::TxFinished() {
  const std::uint64_t one = 1;
  (void)Retry([&] { return ::write(txFd_, &one, sizeof one); });
}

TSerialWaiter::TResult TSerialWaiter::Wait(int deviceFd, bool wantInput, int timeoutMs) {
  TResult result;
  pollfd p[3] = {{stopFd_, POLLIN, 0}, {txFd_, POLLIN, 0}, {deviceFd, static_cast<short>(wantInput ? POLLIN : 0), 0}};
  const int r = PollFor(p, 3, timeoutMs);
  if (r < 0) {
    result.failed = true;
    result.err = errno;
    return result;
  }
  // The stop signal stays set: a stopped thread never waits again.
  if (p[0].revents & POLLIN) result.stop = true;
  if (p[1].revents & POLLIN) {
    std::uint64_t count = 0;
    (void)Retry([&] { return ::read(txFd_, &count, sizeof count); });
    result.txFinished = true;
  }
  if (p[2].revents & POLLIN) result.input = true;
  if (p[2].revents & (POLLHUP | POLLERR | POLLNVAL)) result.hangUp = true;
  return result;
}

// --- the event watch ------------------------------------------------------------

namespace {

bool AnyOf(TSerialEvents set, std::initializer_list<TSerialEvent> events) {
  for (TSerialEvent e : events)
    if (set.Contains(e)) return true;
  return false;
}

class TPosixSerialWatch final : public TSerialWatch {
public:
  TPosixSerialWatch(TPosixSerialDevice &device, TSerialEvents events)
      : device_(device), wantInput_(AnyOf(events, {evRxChar, evRxFlag, evRx80Full})) {
    // Modem lines and error counters have no descriptor to wait on; they are
    // sampled, but only when somebody asked for such events and the device
    // has them. A pseudo-terminal has neither, so there the thread only ever
    // sleeps in poll().
    sampling_ = AnyOf(events, {evCTS, evDSR, evRLSD, evRing, evError, evBreak}) &&
                (device_.HasModemLines() || device_.HasErrorCounters());
    if (sampling_) sampling_ = device_.Sample(previous_);
  }

  void Stop() override { waiter_.Stop(); }
  void TxFinished() override { waiter_.TxFinished(); }

  TSerialWatchResult Wait() override {
    TSerialWatchResult out;
    const TSerialWaiter::TResult r = waiter_.Wait(device_.Fd(), wantInput_, sampling_ ? kSerialSampleMs : -1);
    if (r.stop) {
      out.stop = true;
      return out;
    }
    out.lost = r.failed || r.hangUp;
    if (r.txFinished) out.events.Include(evTxEmpty);
    if (wantInput_ && (r.input || r.hangUp)) {
      // Take everything now: whatever we hold survives a hang-up.
      device_.ReportDrain(device_.Drain(), out);
    }
    if (sampling_ && !out.lost) {
      TPosixSerialDevice::TLineSample now;
      if (device_.Sample(now)) {
        const int changed = now.modemBits ^ previous_.modemBits;
        if (changed & TIOCM_CTS) out.events.Include(evCTS);
        if (changed & TIOCM_DSR) out.events.Include(evDSR);
        if (changed & TIOCM_CD) out.events.Include(evRLSD);
        if (now.rings != previous_.rings || (now.modemBits & ~previous_.modemBits & TIOCM_RI))
          out.events.Include(evRing);
        if (now.breaks != previous_.breaks) out.events.Include(evBreak);
        if (now.errors != previous_.errors || now.breaks != previous_.breaks) out.events.Include(evError);
        previous_ = now;
      }
    }
    return out;
  }

private:
  TPosixSerialDevice &device_;
  const bool wantInput_;
  bool sampling_ = false;
  TPosixSerialDevice::TLineSample previous_;
  TSerialWaiter waiter_;
};

}  // namespace

std::unique_ptr<TSerialWatch> TPosixSerialDevice::Watch(TSerialEvents events) {
  return std::make_unique<TPosixSerialWatch>(*this, events);
}

void ApplyThreadPriority(TThreadPriority priority) {
  static const int kNice[] = {19, 10, 5, 0, -5, -10, -20};
  const int p = static_cast<int>(priority);
  if (p < 0 || p > 6 || kNice[p] == 0) return;
  // On Linux a thread's niceness is set through its own thread id.
  (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kNice[p]);
}
