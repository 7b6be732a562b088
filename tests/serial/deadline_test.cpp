// Every wait of the line ends at its deadline however often a signal breaks
// into it: a read's total timeout, a write's limit against a peer that reads
// nothing, and the event thread's timed wait. The signals come every 10 ms,
// aimed at the waiting thread itself.

#include "pty_peer.h"
#include "serial/serial_device_posix.h"
#include "signal_storm.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <pthread.h>

namespace {

using Clock = std::chrono::steady_clock;

TDeviceState RawLine() {
  TDeviceState s;
  s.BaudRate = 115200;
  s.ByteSize = 8;
  s.Flags = TDeviceState::fBinary;
  return s;
}

struct DeadlineCase {
  const char *what;
  int limitMs;
  // Runs the wait on the calling thread; true when it ended as a timeout
  // ends (nothing read, not everything written, no event).
  std::function<bool(TSerialDevice &)> wait;
};

const std::vector<DeadlineCase> &Cases() {
  static const std::vector<DeadlineCase> cases = {
      {"read with a total timeout", 300,
       [](TSerialDevice &d) {
         TDeviceTimeouts t;
         t.ReadTotalTimeoutConstant = 300;
         d.SetTimeouts(t);
         char buffer[16];
         return d.Read(buffer, sizeof buffer) == 0;
       }},
      {"write to a peer that reads nothing", 300,
       [](TSerialDevice &d) {
         TDeviceTimeouts t;
         t.WriteTotalTimeoutConstant = 300;
         d.SetTimeouts(t);
         const std::string lot(1 << 20, 'x');  // far more than a pseudo-terminal holds
         return d.Write(lot.data(), static_cast<int>(lot.size())) < static_cast<int>(lot.size());
       }},
      {"event wait with a timeout", 300,
       [](TSerialDevice &d) {
         TSerialWaiter waiter;
         const TSerialWaiter::TResult r = waiter.Wait(static_cast<int>(d.Handle()), true, 300);
         return !r.stop && !r.txFinished && !r.input && !r.hangUp && !r.failed;
       }},
  };
  return cases;
}

}  // namespace

TEST(SerialDeadlines, SignalsEvery10MsStretchNoWait) {
  for (const DeadlineCase &c : Cases()) {
    SCOPED_TRACE(c.what);
    PtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    const std::shared_ptr<TSerialDevice> device = OpenSerialDevice(peer.Path());
    device->SetState(RawLine());

    bool timedOut = false;
    long long ms = 0;
    int hits = 0;
    {
      SignalStorm storm(::pthread_self(), 10);
      const Clock::time_point start = Clock::now();
      timedOut = c.wait(*device);
      ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
      hits = SignalStorm::Count();
    }
    RecordProperty(std::string(c.what) + " (ms)", static_cast<int>(ms));
    EXPECT_TRUE(timedOut);
    EXPECT_GT(hits, 0) << "the storm never reached the waiting thread";
    // Not cut short by the first signal either.
    EXPECT_GE(ms, c.limitMs - 5);
    EXPECT_LT(ms, 1000) << ms << " ms for a " << c.limitMs << " ms limit under " << hits << " hits";
  }
}
