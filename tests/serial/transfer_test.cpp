// Asynchronous transfers on a real pseudo-terminal: what a start returns,
// what runs on in the background, and what ends it.

#include "serial/serial_port.h"

#include "pty_peer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

std::string Pattern(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('A' + (i * 11) % 53);
  return s;
}

// A transfer record freed at the end of the test, as the port's own blocking
// calls free theirs.
struct Transfer {
  PortTransfer *p = NewTransfer();
  ~Transfer() { FreeTransfer(p); }
  operator PortTransfer *() const { return p; }
};

void Configure(TSerialPort &port, const std::string &path) {
  port.SetPort(path);
  port.SetBaudRate(br115200);
  port.Timeouts().SetReadInterval(1);
}

// Runs call and returns the code and system number of the ESerialPort it
// raised ({0, 0} when it raised none).
std::pair<int, int> Raised(const std::function<void()> &call) {
  try {
    call();
  } catch (const ESerialPort &e) {
    return {e.Code(), e.OsCode()};
  }
  return {0, 0};
}

TEST(Transfers, ParametersAndClosedPortsRaiseTheirCodes) {
  TSerialPort port;  // never opened
  Transfer t;
  char buffer[4];
  std::string text;
  struct Case {
    const char *what;
    std::function<void()> call;
    int code, os;
  };
  const std::vector<Case> cases = {
      {"StartWrite without a record", [&] { port.StartWrite("x", 1, nullptr); }, 4, -1},
      {"StartWriteText without a record", [&] { port.StartWriteText("x", nullptr); }, 4, -1},
      {"StartRead without a record", [&] { port.StartRead(buffer, 1, nullptr); }, 4, -1},
      {"StartReadText without a record", [&] { port.StartReadText(text, 1, nullptr); }, 4, -1},
      {"WaitTransfer without a record", [&] { port.WaitTransfer(nullptr); }, 4, -1},
      {"StartWrite on a closed port", [&] { port.StartWrite("x", 1, t); }, 2, EBADF},
      {"StartRead on a closed port", [&] { port.StartRead(buffer, 1, t); }, 3, EBADF},
      {"AbortTransfers on a closed port", [&] { port.AbortTransfers(); }, 5, EBADF},
  };
  for (const Case &c : cases) EXPECT_EQ(Raised(c.call), std::make_pair(c.code, c.os)) << c.what;
  EXPECT_EQ(ESerialPort(ecBadTransfer).Message(), "Invalid Async parameter");

  // Nothing started: nothing to wait for, and the device is not asked.
  EXPECT_EQ(port.WaitTransfer(t), 0);
  EXPECT_EQ(port.StartWriteText("", t), 0);
  EXPECT_EQ(port.WaitTransfer(t), 0);
  text = "junk";
  EXPECT_EQ(port.StartReadText(text, 0, t), 0);
  EXPECT_EQ(text, "");
  EXPECT_EQ(port.WaitTransfer(t), 0);
}

TEST(Transfers, AWriteTheLineCannotTakeYetGoesOnInTheBackgroundInOrder) {
  PtyPeer peer;
  ASSERT_TRUE(peer.Ok());
  TSerialPort port;
  Configure(port, peer.Path());
  port.Open();
  const std::string big = Pattern(256 * 1024);  // far more than a pseudo-terminal holds
  Transfer first, second;
  {
    // The caller's bytes may go at once: the write must hold its own.
    const std::string copy = big;  // NOLINT(performance-unnecessary-copy-initialization)
    // Returns although the peer reads nothing yet: were it not pending, this
    // would wait for the write limit (hours for this length).
    EXPECT_EQ(port.StartWriteText(copy, first), 0);
  }
  EXPECT_EQ(Raised([&] { port.StartWriteText("again", first); }), std::make_pair(4, -1)) << "still running";
  EXPECT_EQ(port.StartWriteText("tail", second), 0);

  EXPECT_EQ(peer.Read(big.size() + 4, 30000), big + "tail");  // whole, and in the order started
  EXPECT_EQ(port.WaitTransfer(first), static_cast<int>(big.size()));
  EXPECT_EQ(port.WaitTransfer(second), 4);
  EXPECT_EQ(port.WriteText("next"), 4);  // a waited-for record starts again
  EXPECT_EQ(peer.Read(4), "next");
}

TEST(Transfers, AbortAndCloseEndPendingWritesAndReads) {
  for (const bool byClose : {false, true}) {
    SCOPED_TRACE(byClose ? "Close" : "AbortTransfers");
    PtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    TSerialPort port;
    Configure(port, peer.Path());
    // No limits at all: neither transfer would ever end by itself.
    port.Timeouts().SetReadInterval(0);
    port.Timeouts().SetWriteTotalMultiplier(0);
    port.Timeouts().SetWriteTotalConstant(0);
    port.Open();
    const std::string big = Pattern(1 << 20);
    char buffer[8];
    std::memset(buffer, '-', sizeof buffer);
    Transfer write, read;
    EXPECT_EQ(port.StartWrite(big.data(), static_cast<int>(big.size()), write), 0);
    EXPECT_EQ(port.StartRead(buffer, sizeof buffer, read), 0);

    // The write is inside the device once its first bytes have come out.
    EXPECT_EQ(peer.Read(1), big.substr(0, 1));
    if (byClose) port.Close();
    else port.AbortTransfers();
    EXPECT_EQ(Raised([&] { port.WaitTransfer(write); }), std::make_pair(2, ECANCELED));
    EXPECT_EQ(Raised([&] { port.WaitTransfer(read); }), std::make_pair(3, ECANCELED));
    if (byClose) {
      EXPECT_FALSE(port.Connected());
      // The write that was inside the device let go of it: the port opens
      // again at once.
      EXPECT_NO_THROW(port.Open());
      continue;
    }
    // The aborted read took nothing and wrote nothing: the bytes are there
    // for the next one.
    peer.Write("abc");
    std::string text;
    EXPECT_EQ(port.ReadText(text, 3), 3);
    EXPECT_EQ(text, "abc");
    EXPECT_EQ(std::string(buffer, sizeof buffer), "--------");
  }
}

TEST(Transfers, PendingReadsTakeTheirBytesAsTheyComeAndInOrder) {
  // With the event thread telling the reads of new input, and without one,
  // where they look for it themselves.
  for (const bool events : {true, false}) {
    SCOPED_TRACE(events ? "event thread" : "no event thread");
    PtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    TSerialPort port;
    Configure(port, peer.Path());
    port.Timeouts().SetReadInterval(0);  // a read waits for its whole count
    if (!events) port.SetEvents({});
    port.Open();

    // Bytes already queued: done inside the start.
    peer.Write("xyz");
    ASSERT_TRUE(PumpUntil([&] { return port.PendingInput() == 3; }));
    Transfer now;
    std::string t0;
    EXPECT_EQ(port.StartReadText(t0, 3, now), 3);
    EXPECT_EQ(t0, "xyz");
    EXPECT_EQ(port.WaitTransfer(now), 3);

    Transfer a, b;
    std::string ta, tb;
    EXPECT_EQ(port.StartReadText(ta, 5, a), 0);
    EXPECT_EQ(port.StartReadText(tb, 3, b), 0);
    peer.Write("hel");
    peer.Write("lo");
    peer.Write("abc");
    EXPECT_EQ(port.WaitTransfer(a), 5);
    EXPECT_EQ(port.WaitTransfer(b), 3);
    EXPECT_EQ(ta, "hello");
    EXPECT_EQ(tb, "abc");
  }
}

TEST(Transfers, FreeingARunningReadGivesItsBufferBackAndLeavesTheBytes) {
  PtyPeer peer;
  ASSERT_TRUE(peer.Ok());
  TSerialPort port;
  Configure(port, peer.Path());
  port.Timeouts().SetReadInterval(0);
  port.Open();
  std::vector<char> buffer(8, '-');
  PortTransfer *t = NewTransfer();
  EXPECT_EQ(port.StartRead(buffer.data(), 8, t), 0);
  FreeTransfer(t);
  peer.Write("12345678");
  std::string text;
  EXPECT_EQ(port.ReadText(text, 8), 8);
  EXPECT_EQ(text, "12345678");
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()), "--------");
}

TEST(Transfers, AHangUpEndsAPendingReadWithReadFailed) {
  PtyPeer peer;
  ASSERT_TRUE(peer.Ok());
  TSerialPort port;
  Configure(port, peer.Path());
  port.Timeouts().SetReadInterval(0);
  port.SetEvents({});
  port.Open();
  Transfer t;
  std::string text;
  EXPECT_EQ(port.StartReadText(text, 4, t), 0);
  peer.Close();
  EXPECT_EQ(Raised([&] { port.WaitTransfer(t); }), std::make_pair(3, EIO));
}

}  // namespace
