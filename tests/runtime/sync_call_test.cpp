// Calls handed from background threads to the UI thread.

#include "runtime/sync_call.h"

#include "runtime/exceptions.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

void PumpUntil(const std::function<bool()> &done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done() && std::chrono::steady_clock::now() < deadline) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::usleep(200);
  }
}

TEST(SyncCall, RunsOnTheUiThreadAndWaitsForIt) {
  const Qt::HANDLE ui = QThread::currentThreadId();
  std::atomic<bool> returned{false};
  Qt::HANDLE ranOn = nullptr;
  int value = 0;
  std::thread worker([&] {
    SyncCall([&] {
      ranOn = QThread::currentThreadId();
      value = 42;
    });
    // Blocked until the call ran: its effect is visible here.
    EXPECT_EQ(value, 42);
    returned = true;
  });
  PumpUntil([&] { return returned.load(); });
  worker.join();
  EXPECT_TRUE(returned);
  EXPECT_EQ(ranOn, ui);
}

TEST(SyncCall, ExceptionsTravelBackToTheCaller) {
  std::atomic<bool> done{false};
  std::string caught;
  std::thread worker([&] {
    try {
      SyncCall([] { throw EConvertError("'x' is not a valid integer value"); });
    } catch (const EConvertError &e) {
      caught = e.Message();
    }
    done = true;
  });
  PumpUntil([&] { return done.load(); });
  worker.join();
  EXPECT_EQ(caught, "'x' is not a valid integer value");
}

TEST(SyncCall, OnTheUiThreadItRunsAtOnce) {
  EXPECT_TRUE(IsUiThread());
  int ran = 0;
  SyncCall([&] { ++ran; });
  EXPECT_EQ(ran, 1);
  EXPECT_THROW(SyncCall([] { throw Exception("here"); }), Exception);
}

TEST(SyncCall, ManyCallersAllGetTheirTurnInOrderPerCaller) {
  constexpr int kThreads = 4, kCalls = 200;
  std::vector<std::vector<int>> seen(kThreads);
  std::atomic<int> finished{0};
  std::vector<std::thread> workers;
  workers.reserve(kThreads);
  for (int t = 0; t < kThreads; ++t)
    workers.emplace_back([&, t] {
      for (int i = 0; i < kCalls; ++i) SyncCall([&, i] { seen[t].push_back(i); });
      ++finished;
    });
  PumpUntil([&] { return finished == kThreads; });
  for (auto &w : workers) w.join();
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(seen[t].size(), static_cast<std::size_t>(kCalls));
    for (int i = 0; i < kCalls; ++i) EXPECT_EQ(seen[t][i], i);
  }
}

TEST(SyncThread, WaitingOnTheUiThreadRunsTheCallTheThreadIsBlockedIn) {
  std::atomic<bool> queued{false};
  bool ran = false;
  TSyncThread thread([&] {
    queued = true;
    SyncCall([&] { ran = true; });
  });
  while (!queued) std::this_thread::yield();
  QThread::msleep(20);  // the call is in the queue; nobody pumps the event loop
  thread.WaitFor();     // would deadlock with a blocking queued connection
  EXPECT_TRUE(ran);
  EXPECT_TRUE(thread.Finished());
  thread.WaitFor();  // twice is harmless
}

TEST(SyncThread, AnEscapingExceptionIsKeptNotFatal) {
  TSyncThread thread([] { throw Exception("body failed"); });
  thread.WaitFor();
  ASSERT_TRUE(thread.FatalException());
  try {
    std::rethrow_exception(thread.FatalException());
  } catch (const Exception &e) {
    EXPECT_EQ(e.Message(), "body failed");
  }
}

TEST(SyncThread, ACallerCanRunSeveralCallsWhileTheOwnerWaits) {
  int ran = 0;
  {
    TSyncThread thread([&] {
      for (int i = 0; i < 50; ++i) SyncCall([&] { ++ran; });
    });
  }  // the destructor waits, running the calls
  EXPECT_EQ(ran, 50);
}

}  // namespace
