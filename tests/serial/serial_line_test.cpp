// The port on a real pseudo-terminal: this test is the far end, on the
// master side.

#include "serial/serial_port.h"

#include "pty_peer.h"
#include "runtime/application.h"

#include <gtest/gtest.h>

#include <QThread>

#include <atomic>
#include <cerrno>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/resource.h>
#include <termios.h>

namespace {

std::string Pattern(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('0' + (i * 7) % 75);
  return s;
}

double CpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

class SerialLine : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(peer.Ok());
    // The logger's configuration.
    port.SetPort(peer.Path());
    port.SetBaudRate(br115200);
    port.SetDiscardNull(true);
    port.Timeouts().SetReadInterval(1);
  }

  // A receive handler that reads exactly what it is told, as the main window's does.
  void ReadEverything() {
    port.OnRxChar = [this](TCustomSerialPort *sender, int count) {
      EXPECT_EQ(sender, &port);
      EXPECT_GT(count, 0);
      counts.push_back(count);
      std::string text;
      EXPECT_EQ(sender->ReadText(text, count), count);
      received += text;
    };
  }

  PtyPeer peer;
  TSerialPort port;
  std::vector<int> counts;
  std::string received;
  std::vector<std::string> log;
};

TEST_F(SerialLine, OpenAppliesTheSettingsAndTheyReadBack) {
  port.SetStopBits(sbTwoStopBits);
  port.FlowControl().SetXonXoffIn(true);
  port.Open();
  ASSERT_TRUE(port.Connected());
  termios t{};
  ASSERT_EQ(::tcgetattr(port.Handle(), &t), 0);
  EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B115200));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_FALSE(t.c_cflag & PARENB);
  EXPECT_TRUE(t.c_cflag & CSTOPB);
  EXPECT_TRUE(t.c_iflag & IXOFF);
  EXPECT_FALSE(t.c_iflag & IXON);
  EXPECT_FALSE(t.c_lflag & ICANON);
  // Changing a setting while open reaches the device at once.
  port.SetBaudRate(br57600);
  port.SetStopBits(sbOneStopBit);
  ASSERT_EQ(::tcgetattr(port.Handle(), &t), 0);
  EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B57600));
  EXPECT_FALSE(t.c_cflag & CSTOPB);
  // A pseudo-terminal always carries 8 bits without parity; a setting the
  // device does not take is a failure, not a silent no.
  try {
    port.Parity().SetBits(prEven);
    FAIL() << "parity on a pseudo-terminal";
  } catch (const ESerialPort &e) {
    EXPECT_EQ(e.Code(), ecSetStateFailed);
  }
  EXPECT_EQ(port.Parity().Bits(), prEven);  // the setter keeps its value
  port.Parity().SetBits(prNone);
  // Rates without a standard constant go through the kernel's other-rate path.
  port.SetBaudRate(br14400);
  EXPECT_EQ(port.BaudRate(), br14400);
  // A pseudo-terminal has no modem lines: RTS changes are not failures, and
  // every signal reads off.
  EXPECT_FALSE(port.HasModemLines());
  port.FlowControl().SetControlRTS(rtsEnable);
  EXPECT_TRUE(port.LineSignals().Empty());
}

TEST_F(SerialLine, OpenAndCloseFireTheirEventsInOrderAndOnlyOnce) {
  port.OnBeforeOpen = [&](TCustomSerialPort *) { log.push_back("before open"); };
  port.OnAfterOpen = [&](TCustomSerialPort *p) { log.push_back(p->Connected() ? "after open" : "after open?"); };
  port.OnCTSChange = [&](TCustomSerialPort *, bool on) { log.push_back(on ? "cts on" : "cts off"); };
  port.OnDSRChange = [&](TCustomSerialPort *, bool on) { log.push_back(on ? "dsr on" : "dsr off"); };
  port.OnRLSDChange = [&](TCustomSerialPort *, bool on) { log.push_back(on ? "rlsd on" : "rlsd off"); };
  port.OnBeforeClose = [&](TCustomSerialPort *p) { log.push_back(p->Connected() ? "before close" : "?"); };
  port.OnAfterClose = [&](TCustomSerialPort *p) { log.push_back(p->Connected() ? "?" : "after close"); };
  port.SetEvents({evRxChar});  // the line report comes whatever is watched
  port.Open();
  port.Open();
  port.Close();
  port.Close();
  const std::vector<std::string> expected = {"before open", "after open", "cts off",  "dsr off",      "rlsd off",
                                             "cts off",     "dsr off",    "rlsd off", "before close", "after close"};
  EXPECT_EQ(log, expected);
  EXPECT_EQ(port.Handle(), -1);
}

TEST_F(SerialLine, CloseAndOpenFromTheirOwnEvents) {
  int reopened = 0;
  port.OnBeforeClose = [&](TCustomSerialPort *p) { p->Close(); };  // already on its way: ignored
  port.OnAfterClose = [&](TCustomSerialPort *p) {
    if (reopened++ == 0) p->Open();
  };
  port.Open();
  port.Close();
  EXPECT_TRUE(port.Connected());
  EXPECT_EQ(reopened, 1);
  port.Close();
  EXPECT_FALSE(port.Connected());
}

TEST_F(SerialLine, FailedOpensLeaveThePortClosed) {
  bool after = false, before = false;
  port.OnBeforeOpen = [&](TCustomSerialPort *) { before = true; };
  port.OnAfterOpen = [&](TCustomSerialPort *) { after = true; };
  port.SetPort("/dev/talvex-no-such-device");
  try {
    port.Open();
    FAIL() << "opened a missing device";
  } catch (const ESerialPort &e) {
    EXPECT_EQ(e.Code(), ecOpenFailed);
    EXPECT_EQ(e.OsCode(), ENOENT);
    EXPECT_EQ(e.Message(), "Unable to open com port (win error code: " + std::to_string(ENOENT) + ")");
  }
  EXPECT_TRUE(before);
  EXPECT_FALSE(after);
  EXPECT_FALSE(port.Connected());

  port.SetPort("");
  EXPECT_THROW(port.Open(), ESerialPort);

  // Not a terminal at all.
  port.SetPort("/dev/null");
  try {
    port.Open();
    FAIL();
  } catch (const ESerialPort &e) {
    EXPECT_EQ(e.Code(), ecOpenFailed);
  }
  EXPECT_FALSE(port.Connected());

  // Settings the device refuses: the device is closed again.
  port.SetPort(peer.Path());
  port.Buffer().SetInputSize(-8);
  try {
    port.Open();
    FAIL();
  } catch (const ESerialPort &e) {
    EXPECT_EQ(e.Code(), ecSetupFailed);
  }
  EXPECT_FALSE(port.Connected());
  port.Buffer().SetInputSize(1024);
  port.Open();  // nothing was left holding the device
  EXPECT_TRUE(port.Connected());
}

TEST_F(SerialLine, ASecondOpenerIsRefusedClearly) {
  port.Open();
  TSerialPort other;
  other.SetPort(peer.Path());
  try {
    other.Open();
    FAIL() << "two owners of one line";
  } catch (const ESerialPort &e) {
    EXPECT_EQ(e.Code(), ecOpenFailed);
    EXPECT_EQ(e.OsCode(), EBUSY);
  }
  EXPECT_FALSE(other.Connected());
  port.Close();
  other.Open();  // free again once closed
  EXPECT_TRUE(other.Connected());
}

TEST_F(SerialLine, WritesAndReadsRoundTrip) {
  port.SetEvents({});
  port.Open();
  EXPECT_EQ(port.WriteText("3123456789012"), 13);
  EXPECT_EQ(peer.Read(13), "3123456789012");
  EXPECT_EQ(port.WriteText(""), 0);

  peer.Write(
      std::string("12\0"
                  "34",
                  5));  // nulls are discarded, as configured
  ASSERT_TRUE(PumpUntil([&] { return port.PendingInput() == 4; }));
  std::string text = "junk";
  EXPECT_EQ(port.ReadText(text, 0), 0);
  EXPECT_EQ(text, "");
  EXPECT_EQ(port.ReadText(text, 3), 3);
  EXPECT_EQ(text, "123");
  EXPECT_EQ(port.ReadText(text, 10), 1);  // what is there, at once
  EXPECT_EQ(text, "4");
  EXPECT_EQ(port.PendingInput(), 0);
}

TEST_F(SerialLine, ReadsFollowTheTimeoutRules) {
  port.SetEvents({});
  port.Timeouts().SetReadInterval(0);
  port.Timeouts().SetReadTotalConstant(150);
  port.Open();
  peer.Write("abc");
  ASSERT_TRUE(PumpUntil([&] { return port.PendingInput() == 3; }));
  std::string text;
  EXPECT_EQ(port.ReadText(text, 10), 3);  // waits out the total, returns what came
  EXPECT_EQ(text, "abc");
  // With no limit at all the read waits for the full count.
  port.Timeouts().SetReadTotalConstant(0);
  std::thread late([&] {
    QThread::msleep(50);
    peer.Write("defg");
  });
  EXPECT_EQ(port.ReadText(text, 4), 4);
  late.join();
  EXPECT_EQ(text, "defg");
}

TEST_F(SerialLine, ClearBuffersDiscardsWhatWasNotRead) {
  port.SetEvents({});
  port.Open();
  peer.Write("stale bytes");
  ASSERT_TRUE(PumpUntil([&] { return port.PendingInput() == 11; }));
  port.ClearBuffers(true, false);
  EXPECT_EQ(port.PendingInput(), 0);
  peer.Write("x");
  ASSERT_TRUE(PumpUntil([&] { return port.PendingInput() == 1; }));
  port.ClearBuffers(true, true);
  EXPECT_EQ(port.PendingInput(), 0);
}

TEST_F(SerialLine, OperationsOnAClosedPortRaiseTheirOwnCodes) {
  std::string text;
  auto codeOf = [](auto f) {
    try {
      f();
    } catch (const ESerialPort &e) {
      EXPECT_EQ(e.OsCode(), EBADF);
      return e.Code();
    }
    return 0;
  };
  EXPECT_EQ(codeOf([&] { port.WriteText("x"); }), ecWriteFailed);
  EXPECT_EQ(codeOf([&] { port.ReadText(text, 1); }), ecReadFailed);
  EXPECT_EQ(codeOf([&] { port.ClearBuffers(true, false); }), ecPurgeFailed);
  EXPECT_EQ(codeOf([&] { port.PendingInput(); }), ecClearErrorFailed);
  EXPECT_EQ(codeOf([&] { port.LineSignals(); }), ecModemStatusFailed);
}

TEST_F(SerialLine, SyncMethodIsRefusedWhileOpen) {
  port.Open();
  try {
    port.SetSyncMethod(smNone);
    FAIL();
  } catch (const ESerialPort &e) {
    EXPECT_EQ(e.Code(), ecConnected);
    EXPECT_EQ(e.OsCode(), -1);
    EXPECT_EQ(e.Message(), "Cannot set property while connected");
  }
  EXPECT_EQ(port.SyncMethod(), smThreadSync);
  port.SetSyncMethod(smThreadSync);  // the same value is no change
}

TEST_F(SerialLine, ReceiveCountsAddUpToTheBytesSent) {
  ReadEverything();
  port.Open();
  const std::string sent = Pattern(50000);
  // From another thread: the line must keep flowing while the UI thread is
  // busy with the handler.
  std::thread writer([&] {
    for (std::size_t i = 0; i < sent.size(); i += 104) peer.Write(sent.substr(i, 104));
  });
  const bool all = PumpUntil([&] { return received.size() >= sent.size(); }, 10000);
  writer.join();
  ASSERT_TRUE(all);
  PumpFor(50);
  EXPECT_EQ(received, sent);
  long total = 0;
  for (int c : counts) total += c;
  EXPECT_EQ(total, static_cast<long>(sent.size()));
}

TEST_F(SerialLine, EventsArriveOnTheUiThread) {
  Qt::HANDLE where = nullptr;
  port.OnRxChar = [&](TCustomSerialPort *p, int n) {
    where = QThread::currentThreadId();
    std::string t;
    p->ReadText(t, n);
  };
  port.Open();
  peer.Write("x");
  ASSERT_TRUE(PumpUntil([&] { return where != nullptr; }));
  EXPECT_EQ(where, QThread::currentThreadId());
}

TEST_F(SerialLine, WhatAHandlerLeavesIsReportedAgainWithTheNextEvent) {
  port.OnRxChar = [&](TCustomSerialPort *p, int n) {
    counts.push_back(n);
    std::string t;
    p->ReadText(t, 1);  // reads less than it was told
    received += t;
  };
  port.Open();
  peer.Write("abcd");
  ASSERT_TRUE(PumpUntil([&] { return !counts.empty(); }));
  PumpFor(100);
  ASSERT_EQ(counts.size(), 1u) << "the rest must wait for new input, not repeat";
  peer.Write("e");
  ASSERT_TRUE(PumpUntil([&] { return counts.size() == 2; }));
  EXPECT_EQ(counts[0], 4);
  EXPECT_EQ(counts[1], 4);  // 3 left over plus 1 new
  EXPECT_EQ(received, "ab");
}

TEST_F(SerialLine, BytesPulledInByTheHandlersReadAreStillAnnounced) {
  port.OnRxChar = [&](TCustomSerialPort *p, int n) {
    counts.push_back(n);
    if (counts.size() == 1) {
      peer.Write("more");   // arrives while the handler runs...
      QThread::msleep(30);  // ...and is in the kernel before the read below
    }
    std::string t;
    p->ReadText(t, n);  // takes the reported count; the read drains the rest
    received += t;
  };
  port.Open();
  peer.Write("first");
  // The line then falls silent: "more" must still be reported.
  ASSERT_TRUE(PumpUntil([&] { return received == "firstmore"; }));
  EXPECT_EQ(counts, (std::vector<int>{5, 4}));
}

TEST_F(SerialLine, AThrowingHandlerEndsDeliveryUntilReopened) {
  int calls = 0;
  bool shown = false;
  SetExceptionPresenter([&](const std::string &, const std::string &) { shown = true; });
  port.OnRxChar = [&](TCustomSerialPort *, int) {
    ++calls;
    throw std::runtime_error("handler failed");
  };
  port.Open();
  peer.Write("1");
  ASSERT_TRUE(PumpUntil([&] { return calls == 1; }));
  peer.Write("2");
  PumpFor(150);
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(shown);  // silently
  EXPECT_TRUE(port.Connected());
  EXPECT_EQ(port.WriteText("still writes"), 12);
  EXPECT_EQ(peer.Read(12), "still writes");

  port.Close();
  port.OnRxChar = [&](TCustomSerialPort *p, int n) {
    ++calls;
    std::string t;
    p->ReadText(t, n);
    received += t;
  };
  port.Open();
  peer.Write("3");
  ASSERT_TRUE(PumpUntil([&] { return received == "3"; }));
  SetExceptionPresenter(nullptr);
}

TEST_F(SerialLine, ErrorStepRunsBeforeTheReceiveStep) {
  // Only the order of a batch is at stake: run one by hand.
  ReadEverything();
  port.SetEvents({});
  port.Open();
  port.OnError = [&](TCustomSerialPort *, TSerialErrors) { log.push_back("error"); };
  port.OnRxChar = [&](TCustomSerialPort *p, int n) {
    log.push_back("rx");
    std::string t;
    p->ReadText(t, n);
  };
  port.OnTxEmpty = [&](TCustomSerialPort *) { log.push_back("tx"); };
  peer.Write("z");
  ASSERT_TRUE(PumpUntil([&] { return port.PendingInput() == 1; }));
  port.HandleEvents({evTxEmpty, evRxChar, evError});
  // No line error on a pseudo-terminal: the error step fires nothing.
  EXPECT_EQ(log, (std::vector<std::string>{"rx", "tx"}));
}

TEST_F(SerialLine, FinishedWritesAreReportedAsOutputEmpty) {
  int empties = 0;
  port.OnTxEmpty = [&](TCustomSerialPort *) { ++empties; };
  port.Open();
  port.WriteText("5");
  ASSERT_TRUE(PumpUntil([&] { return empties == 1; }));
}

TEST_F(SerialLine, TheEventCharacterIsNoticed) {
  int flags = 0;
  ReadEverything();
  port.OnRxFlag = [&](TCustomSerialPort *) { ++flags; };
  port.SetEventChar('A');
  port.Open();
  peer.Write("123");
  ASSERT_TRUE(PumpUntil([&] { return received == "123"; }));
  EXPECT_EQ(flags, 0);
  peer.Write("A");
  ASSERT_TRUE(PumpUntil([&] { return flags == 1; }));
}

TEST_F(SerialLine, ClosingDiscardsQueuedBytesAndNoEventFollows) {
  ReadEverything();
  port.Open();
  peer.Write("queued before close");
  QThread::msleep(100);  // no pumping: the delivery waits for the UI thread
  port.Close();
  const std::size_t atClose = counts.size();
  PumpFor(150);
  EXPECT_EQ(counts.size(), atClose);
  port.SetEvents({});
  port.Open();
  PumpFor(20);
  EXPECT_EQ(port.PendingInput(), 0);
}

TEST_F(SerialLine, ADeliveryQueuedWhenCloseBeginsRunsDuringClose) {
  bool connectedInHandler = false;
  port.OnRxChar = [&](TCustomSerialPort *p, int n) {
    connectedInHandler = p->Connected();
    counts.push_back(n);
    std::string t;
    p->ReadText(t, n);
  };
  port.Open();
  peer.Write("in flight");
  ASSERT_TRUE(TakenOffTheLine(port.Handle()));
  port.Close();  // must not deadlock
  EXPECT_FALSE(port.Connected());
  ASSERT_EQ(counts.size(), 1u);
  EXPECT_EQ(counts[0], 9);
  EXPECT_TRUE(connectedInHandler);
}

TEST_F(SerialLine, AHandlerMayCloseAndReopenThePort) {
  int opened = 0;
  port.OnRxChar = [&](TCustomSerialPort *p, int) {
    p->Close();
    if (opened++ == 0) p->Open();  // the device must be free again at once
  };
  port.Open();
  peer.Write("a");
  ASSERT_TRUE(PumpUntil([&] { return opened == 1; }));
  EXPECT_TRUE(port.Connected());
  peer.Write("b");
  ASSERT_TRUE(PumpUntil([&] { return opened == 2; }));
  EXPECT_FALSE(port.Connected());
  PumpFor(30);
}

TEST_F(SerialLine, AHangUpIsReportedOnceAfterTheLastInputAndNothingSpins) {
  std::vector<TSerialErrors> errors;
  int lost = 0;
  std::string atLoss;
  port.OnRxChar = [&](TCustomSerialPort *p, int n) {
    counts.push_back(n);
    std::string t;
    p->ReadText(t, 2);  // slower than the line: leaves bytes behind
    received += t;
  };
  port.OnError = [&](TCustomSerialPort *, TSerialErrors e) { errors.push_back(e); };
  port.OnLineLost = [&](TCustomSerialPort *) {
    ++lost;
    atLoss = received;
  };
  port.Open();
  peer.Write("abcdef");
  ASSERT_TRUE(TakenOffTheLine(port.Handle()));  // by the event thread, not yet handed over
  peer.Close();                                 // the far end goes away mid-stream
  ASSERT_TRUE(PumpUntil([&] { return lost == 1; }));
  EXPECT_EQ(atLoss, "abcd");  // the leftovers were reported once more first
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(errors[0].Contains(erDeviceIO));

  // With the UI thread asleep, whatever CPU the process uses is a
  // background thread's: a thread polling a dead device would eat the 300 ms.
  const double before = CpuSeconds();
  QThread::msleep(300);
  const double used = CpuSeconds() - before;
  EXPECT_LT(used, 0.05) << "a thread spins after the hang-up";
  PumpFor(200);
  EXPECT_EQ(lost, 1);

  // The owner's way out works on a vanished device.
  port.FlowControl().SetControlRTS(rtsDisable);
  port.Close();
  EXPECT_FALSE(port.Connected());
}

TEST_F(SerialLine, AHangUpWhileIdleIsReportedToo) {
  int lost = 0;
  port.SetEvents({evRxChar});
  port.OnLineLost = [&](TCustomSerialPort *) { ++lost; };
  port.Open();
  peer.Close();
  ASSERT_TRUE(PumpUntil([&] { return lost == 1; }));
  PumpFor(50);
  EXPECT_EQ(lost, 1);
  EXPECT_THROW(port.WriteText("x"), ESerialPort);
  port.Close();
}

TEST_F(SerialLine, ChangingThePortWhileOpenMovesToTheNewDevice) {
  PtyPeer second;
  ASSERT_TRUE(second.Ok());
  int opens = 0, closes = 0;
  port.OnAfterOpen = [&](TCustomSerialPort *) { ++opens; };
  port.OnAfterClose = [&](TCustomSerialPort *) { ++closes; };
  port.Open();
  port.SetPort(peer.Path());  // same name: nothing
  EXPECT_EQ(opens + closes, 1);
  port.SetPort(second.Path());
  EXPECT_EQ(opens, 2);
  EXPECT_EQ(closes, 1);
  EXPECT_TRUE(port.Connected());
  port.WriteText("moved");
  EXPECT_EQ(second.Read(5), "moved");
  // A name that cannot be opened leaves the port closed, with the error.
  EXPECT_THROW(port.SetPort("/dev/talvex-gone"), ESerialPort);
  EXPECT_FALSE(port.Connected());
}

TEST_F(SerialLine, AWriteThatCannotFinishReturnsWhatWentOut) {
  port.SetEvents({});
  port.Timeouts().SetWriteTotalMultiplier(0);
  port.Timeouts().SetWriteTotalConstant(200);
  port.Open();
  // Nobody reads the far end: the kernel's queues fill and stay full.
  const std::string big(1 << 20, 'w');
  const int written = port.WriteText(big);
  EXPECT_GT(written, 0);
  EXPECT_LT(written, static_cast<int>(big.size()));
}

TEST_F(SerialLine, WithoutEventsNoThreadDelivers) {
  ReadEverything();
  port.SetEvents({});
  port.Open();
  peer.Write("quiet");
  PumpFor(100);
  EXPECT_TRUE(counts.empty());
  EXPECT_EQ(port.PendingInput(), 5);
}

TEST_F(SerialLine, RxBufModeHandsTheBytesOver) {
  port.SetRxCountMode(false);
  int rxChar = 0;
  port.OnRxChar = [&](TCustomSerialPort *, int) { ++rxChar; };
  port.OnRxBuf = [&](TCustomSerialPort *, const char *b, int n) { received.append(b, static_cast<std::size_t>(n)); };
  port.Open();
  peer.Write("buffered");
  ASSERT_TRUE(PumpUntil([&] { return received == "buffered"; }));
  EXPECT_EQ(rxChar, 0);
}

TEST_F(SerialLine, WithoutSyncHandlersRunOnTheEventThread) {
  std::atomic<Qt::HANDLE> where{nullptr};
  port.SetSyncMethod(smNone);
  port.OnRxChar = [&](TCustomSerialPort *p, int n) {
    std::string t;
    p->ReadText(t, n);
    where = QThread::currentThreadId();
  };
  port.Open();
  peer.Write("x");
  ASSERT_TRUE(PumpUntil([&] { return where != nullptr; }));
  EXPECT_NE(where, QThread::currentThreadId());
  port.Close();
}

TEST_F(SerialLine, WindowDeliveryShowsAFailureAndGoesOn) {
  std::vector<std::string> shown;
  SetExceptionPresenter([&](const std::string &, const std::string &m) { shown.push_back(m); });
  int calls = 0;
  port.SetSyncMethod(smWindowSync);
  port.OnRxChar = [&](TCustomSerialPort *p, int n) {
    ++calls;
    std::string t;
    p->ReadText(t, n);
    received += t;
    if (calls == 1) throw std::runtime_error("first failed");
  };
  port.Open();
  peer.Write("1");
  ASSERT_TRUE(PumpUntil([&] { return calls == 1; }));
  peer.Write("2");
  ASSERT_TRUE(PumpUntil([&] { return received == "12"; }));
  EXPECT_EQ(shown, std::vector<std::string>{"first failed"});
  port.Close();
  SetExceptionPresenter(nullptr);
}

}  // namespace
