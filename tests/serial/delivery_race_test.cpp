// Closing a port while its events are being delivered, in each delivery
// mode, and two ports sharing the UI thread's queue of calls.

#include "serial/serial_port.h"

#include "pty_peer.h"
#include "runtime/application.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <memory>
#include <string>

namespace {

void Configure(TSerialPort &port, const std::string &path) {
  port.SetPort(path);
  port.SetBaudRate(br115200);
  port.Timeouts().SetReadInterval(1);
}

// Sleeps the UI thread (no event loop) until done holds or 5 s passed.
bool WaitWithoutPumping(const std::atomic<bool> &done) {
  for (int i = 0; i < 5000 && !done; ++i) QThread::msleep(1);
  return done;
}

// What a modal window does to the UI thread: an event loop of its own, here
// until pred holds or 5 s passed.
void ModalLoopUntil(const std::function<bool()> &pred) {
  QEventLoop loop;
  QTimer look;
  QObject::connect(&look, &QTimer::timeout, &loop, [&] {
    if (pred()) loop.quit();
  });
  look.start(5);
  QTimer::singleShot(5000, &loop, &QEventLoop::quit);
  loop.exec();
}

TEST(DeliveryRaces, ClosingFromTheUiWaitsForADirectHandlerStillUsingThePort) {
  PtyPeer peer;
  ASSERT_TRUE(peer.Ok());
  TSerialPort port;
  Configure(port, peer.Path());
  port.SetSyncMethod(smNone);  // handlers run on the event thread
  std::atomic<bool> inHandler{false}, closing{false}, handlerDone{false};
  std::atomic<int> read{-1};
  port.OnRxChar = [&](TCustomSerialPort *p, int n) {
    if (inHandler.exchange(true)) return;
    WaitWithoutPumping(closing);
    QThread::msleep(50);  // Close is under way on the UI thread meanwhile
    try {
      std::string text;
      read = p->ReadText(text, n);
    } catch (const ESerialPort &) {
      read = -2;  // the device went from under the handler
    }
    handlerDone = true;
  };
  port.Open();
  peer.Write("abc");
  ASSERT_TRUE(WaitWithoutPumping(inHandler));
  closing = true;
  port.Close();
  EXPECT_TRUE(handlerDone) << "Close returned while the handler was still using the port";
  EXPECT_EQ(read, 3);
  EXPECT_FALSE(port.Connected());
}

TEST(DeliveryRaces, ADirectHandlerMayCloseThePortAndItsOwnerDestroyIt) {
  PtyPeer peer;
  ASSERT_TRUE(peer.Ok());
  auto port = std::make_unique<TSerialPort>();
  Configure(*port, peer.Path());
  port->SetSyncMethod(smNone);
  std::atomic<bool> opened{false}, closed{false}, left{false};
  port->OnRxChar = [&](TCustomSerialPort *p, int) {
    WaitWithoutPumping(opened);  // the UI thread is done with the port
    p->Close();                  // on the event thread, inside its own delivery
    closed = true;
    QThread::msleep(50);  // the owner destroys the port meanwhile
    left = true;
  };
  port->Open();
  opened = true;
  peer.Write("x");
  ASSERT_TRUE(WaitWithoutPumping(closed));
  port.reset();
  EXPECT_TRUE(left) << "the port was freed under a handler still running in it";
  PumpFor(20);
}

TEST(DeliveryRaces, AHandlerThatClosedThePortMayThenOpenAModalWindow) {
  // As the main window does when the line is lost: close, then a message box.
  PtyPeer peer;
  ASSERT_TRUE(peer.Ok());
  TSerialPort port;
  Configure(port, peer.Path());
  bool modalEnded = false;
  port.OnRxChar = [&](TCustomSerialPort *p, int) {
    p->Close();
    int turns = 0;
    ModalLoopUntil([&] { return ++turns > 10; });
    modalEnded = true;
  };
  port.Open();
  peer.Write("x");
  ASSERT_TRUE(PumpUntil([&] { return modalEnded; }, 10000));
  EXPECT_FALSE(port.Connected());
  port.Open();  // the device is free again
  EXPECT_TRUE(port.Connected());
}

TEST(DeliveryRaces, WindowDeliveryStopsAtACloseFromAHandlerWithMessagesInFlight) {
  for (int round = 0; round < 10; ++round) {
    SCOPED_TRACE(round);
    PtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    auto port = std::make_unique<TSerialPort>();
    Configure(*port, peer.Path());
    port->SetSyncMethod(smWindowSync);
    int calls = 0;
    port->OnRxChar = [&](TCustomSerialPort *p, int n) {
      ++calls;
      std::string text;
      p->ReadText(text, n);
      p->Close();  // from inside the message, with more of them posted
    };
    port->Open();
    // Several messages posted before the UI thread looks at any of them,
    // and the line still busy while it does.
    for (int i = 0; i < 5; ++i) {
      peer.Write(std::string(1, static_cast<char>('a' + i)));
      ASSERT_TRUE(TakenOffTheLine(port->Handle()));
    }
    std::atomic<bool> stop{false};
    std::thread more([&] {
      while (!stop) {
        peer.Write("z");
        QThread::usleep(200);
      }
    });
    ASSERT_TRUE(PumpUntil([&] { return calls > 0; }));
    PumpFor(20);
    port.reset();  // and the port gone while messages may still be on their way
    PumpFor(20);
    stop = true;
    more.join();
    EXPECT_EQ(calls, 1);
  }
}

// Two ports, each delivering through the UI thread's queue of calls. The
// first handler to run opens a modal loop and stays in it until the other
// port's handler has run: the queue must reach that one from inside the
// loop, whether its call arrived during the first or was already waiting.
TEST(DeliveryRaces, ASecondPortIsServedWhileTheFirstPortsHandlerSitsInAModalLoop) {
  for (const bool alreadyQueued : {false, true}) {
    SCOPED_TRACE(alreadyQueued ? "both calls queued first" : "second call queued during the first");
    PtyPeer peers[2];
    TSerialPort ports[2];
    bool ran[2] = {false, false};
    int first = -1;
    bool otherServedInside = false, done = false;
    for (int i = 0; i < 2; ++i) {
      ASSERT_TRUE(peers[i].Ok());
      Configure(ports[i], peers[i].Path());
      ports[i].OnRxChar = [&, i](TCustomSerialPort *p, int n) {
        std::string text;
        p->ReadText(text, n);
        ran[i] = true;
        if (first != -1) return;
        first = i;
        if (!alreadyQueued) peers[1 - i].Write("y");
        ModalLoopUntil([&] { return ran[1 - i]; });
        otherServedInside = ran[1 - i];
        done = true;
      };
      ports[i].Open();
    }
    if (alreadyQueued) {
      for (int i = 0; i < 2; ++i) {
        peers[i].Write("x");
        ASSERT_TRUE(TakenOffTheLine(ports[i].Handle()));
      }
    } else {
      peers[0].Write("x");
    }
    ASSERT_TRUE(PumpUntil([&] { return done; }, 15000));
    EXPECT_TRUE(otherServedInside) << "port " << 1 - first << " waited for the modal loop to end";
  }
}

}  // namespace
