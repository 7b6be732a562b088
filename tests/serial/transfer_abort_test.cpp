// Ending transfers at the awkward moments: an abort that lands while a write
// is still on its way into the device, a freed write, and a read that had to
// wait its turn under timeouts that say "what is there, now".

#include "serial/serial_device.h"
#include "serial/serial_port.h"
#include "serial/transfer_lane.h"

#include "pty_peer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

namespace {

std::string Pattern(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
  return s;
}

// Everything the peer receives until the line has been quiet for a while.
std::string ReadUntilQuiet(PtyPeer &peer, int quietMs = 300) {
  std::string all;
  for (;;) {
    const std::string more = peer.Read(1 << 20, quietMs);
    if (more.empty()) return all;
    all += more;
  }
}

int RaisedOsCode(TSerialPort &port, PortTransfer *t) {
  try {
    port.WaitTransfer(t);
  } catch (const ESerialPort &e) {
    return e.OsCode();
  }
  return 0;
}

bool WaitFor(const std::atomic<bool> &flag) {
  for (int i = 0; i < 3000 && !flag; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return flag;
}

// Holds the first device write at its entry for a moment, as a thread
// scheduled out there would be, and says when it got there and went on.
class WriteEntryPause {
public:
  explicit WriteEntryPause(int ms) {
    SetSerialWriteEntryHook([this, ms] {
      if (entered_.exchange(true)) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      left_ = true;
    });
  }
  ~WriteEntryPause() {
    SetSerialWriteEntryHook(nullptr);
    if (entered_) WaitFor(left_);
  }
  WriteEntryPause(const WriteEntryPause &) = delete;
  WriteEntryPause &operator=(const WriteEntryPause &) = delete;
  bool WaitEntered() const { return WaitFor(entered_); }
  bool WaitLeft() const { return WaitFor(left_); }

private:
  std::atomic<bool> entered_{false};
  std::atomic<bool> left_{false};
};

void Configure(TSerialPort &port, const std::string &path) {
  port.SetPort(path);
  port.SetBaudRate(br115200);
  port.SetEvents({});
}

}  // namespace

TEST(TransferAborts, AnAbortDuringAWritesWayIntoTheDeviceIsNotLost) {
  for (const bool byClose : {false, true}) {
    SCOPED_TRACE(byClose ? "Close" : "AbortTransfers");
    PtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    TSerialPort port;
    Configure(port, peer.Path());
    port.Open();
    // Far more than a pseudo-terminal holds, under the default limits (hours
    // for this length): only the abort can end it.
    const std::string big = Pattern(64 * 1024);
    PortTransfer *t = NewTransfer();
    {
      WriteEntryPause pause(300);
      ASSERT_EQ(port.StartWrite(big.data(), static_cast<int>(big.size()), t), 0);
      ASSERT_TRUE(pause.WaitEntered());
      if (byClose) port.Close();  // waits for the write to let go of the device
      else port.AbortTransfers();
      EXPECT_EQ(RaisedOsCode(port, t), ECANCELED);
      FreeTransfer(t);
      ASSERT_TRUE(pause.WaitLeft());  // and into the device it went
    }
    const std::string sent = ReadUntilQuiet(peer);
    EXPECT_TRUE(sent.empty()) << sent.size() << " bytes of the aborted write went out";
    if (byClose) {
      // Let go at once, lock file and all: not refused as our own.
      ASSERT_NO_THROW(port.Open());
    }
    EXPECT_EQ(port.WriteText("x"), 1);
    const std::string next = ReadUntilQuiet(peer);
    EXPECT_EQ(next.substr(0, 8), "x") << next.size() << " bytes came with the next write";
  }
}

TEST(TransferAborts, FreeingARunningWriteStopsItInTheDevice) {
  PtyPeer peer;
  ASSERT_TRUE(peer.Ok());
  TSerialPort port;
  Configure(port, peer.Path());
  port.Open();
  const std::string big = Pattern(1 << 20);
  PortTransfer *t = NewTransfer();
  ASSERT_EQ(port.StartWrite(big.data(), static_cast<int>(big.size()), t), 0);
  // Inside the device once its first byte has come out.
  std::string got = peer.Read(1);
  ASSERT_EQ(got, "a");
  FreeTransfer(t);
  // What was already in the line may come; the rest of the megabyte does not.
  got += ReadUntilQuiet(peer);
  EXPECT_LT(got.size(), big.size() / 4);
  EXPECT_TRUE(got == big.substr(0, got.size())) << "what came is not the start of the write";
  EXPECT_EQ(port.WriteText("x"), 1);
  const std::string next = ReadUntilQuiet(peer);
  EXPECT_EQ(next.substr(0, 8), "x") << next.size() << " bytes came with the next write";
}

TEST(TransferAborts, AReadThatWaitedItsTurnStillReturnsAtOnce) {
  PtyPeer peer;
  ASSERT_TRUE(peer.Ok());
  TSerialPort port;
  Configure(port, peer.Path());
  port.Timeouts().SetReadInterval(0);  // the first read waits for its whole count
  port.Open();
  PortTransfer *first = NewTransfer();
  PortTransfer *second = NewTransfer();
  std::string a, b = "junk";
  ASSERT_EQ(port.StartReadText(a, 5, first), 0);
  port.Timeouts().SetReadInterval(-1);  // what is there, now
  ASSERT_EQ(port.StartReadText(b, 5, second), 0) << "started behind the first one";
  peer.Write("hello");
  EXPECT_EQ(port.WaitTransfer(first), 5);
  EXPECT_EQ(a, "hello");
  // Nothing more came, so nothing is there for it; it must not wait for more.
  const bool ended = PumpUntil([&] { return second->job->Ended(); });
  if (!ended) port.AbortTransfers();  // or the wait below would never return
  EXPECT_TRUE(ended);
  EXPECT_EQ(port.WaitTransfer(second), 0);
  FreeTransfer(first);
  FreeTransfer(second);
}
