#include "runtime/sync_call.h"

#include "runtime/application.h"

#include <QCoreApplication>
#include <QThread>

#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

// One queued call; it lives on the stack of the thread that waits for it.
struct PendingCall {
  const std::function<void()> *call = nullptr;
  std::exception_ptr error;
  bool done = false;
};

struct CallQueue {
  std::mutex mutex;
  std::condition_variable callerWake;  // a queued call has run
  std::condition_variable uiWake;      // the UI thread, waiting for a thread: a call came or a thread ended
  std::deque<PendingCall *> calls;
  bool wakePosted = false;
};

CallQueue &TheQueue() {
  // Never destroyed. The process can end from inside a call a thread waits
  // for: a lost display makes Qt call exit() from the UI thread, possibly in
  // a window the serial thread's delivery opened. Destroying the queue there
  // would destroy a condition variable that thread still waits on, and that
  // waits for the thread for ever; the program would outlive its display.
  static CallQueue *const queue = new CallQueue;
  return *queue;
}

}  // namespace

bool IsUiThread() {
  QCoreApplication *app = QCoreApplication::instance();
  return app && app->thread() == QThread::currentThread();
}

void SyncCall(const std::function<void()> &call) {
  if (!call) return;
  QCoreApplication *app = QCoreApplication::instance();
  if (!app || IsUiThread()) {
    // Nobody else to hand it to: run it here, as the UI thread would.
    if (std::exception_ptr e = RunCapturing(call)) std::rethrow_exception(e);
    return;
  }
  CallQueue &q = TheQueue();
  PendingCall pending;
  pending.call = &call;
  bool post = false;
  {
    std::lock_guard<std::mutex> lock(q.mutex);
    q.calls.push_back(&pending);
    if (!q.wakePosted) {
      q.wakePosted = true;
      post = true;
    }
  }
  q.uiWake.notify_all();
  // A wake-up already on its way reaches this call too: the UI thread runs
  // the list until it is empty, posting again behind a call that does not
  // return at once.
  if (post)
    QMetaObject::invokeMethod(
        app, [] { RunQueuedSyncCalls(); }, Qt::QueuedConnection);
  {
    std::unique_lock<std::mutex> lock(q.mutex);
    q.callerWake.wait(lock, [&] { return pending.done; });
  }
  if (pending.error) std::rethrow_exception(pending.error);
}

namespace {

void PostWakeUp() {
  if (QCoreApplication *app = QCoreApplication::instance())
    QMetaObject::invokeMethod(
        app, [] { RunQueuedSyncCalls(); }, Qt::QueuedConnection);
}

}  // namespace

int RunQueuedSyncCalls() {
  CallQueue &q = TheQueue();
  int ran = 0;
  for (;;) {
    PendingCall *pending = nullptr;
    bool more = false;
    {
      std::lock_guard<std::mutex> lock(q.mutex);
      if (q.calls.empty()) {
        q.wakePosted = false;
        break;
      }
      pending = q.calls.front();
      q.calls.pop_front();
      // The call may not return for a long while: a modal window inside it
      // runs the event loop until it closes. Every other call must still be
      // reachable from that loop, so the calls behind this one get a wake-up
      // of their own, and one queued while it runs posts its own.
      more = !q.calls.empty();
      q.wakePosted = more;
    }
    if (more) PostWakeUp();
    std::exception_ptr error = RunCapturing(*pending->call);
    {
      std::lock_guard<std::mutex> lock(q.mutex);
      pending->error = std::move(error);  // the caller owns it from here on
      pending->done = true;
    }
    q.callerWake.notify_all();
    ++ran;
  }
  return ran;
}

TSyncThread::TSyncThread(std::function<void()> body) {
  thread_ = std::thread([this, body = std::move(body)] {
    try {
      body();
    } catch (...) {
      fatal_ = std::current_exception();
    }
    CallQueue &q = TheQueue();
    {
      // Under the lock, so a UI thread about to sleep in WaitFor cannot miss it.
      std::lock_guard<std::mutex> lock(q.mutex);
      finished_ = true;
    }
    q.uiWake.notify_all();
  });
}

TSyncThread::~TSyncThread() { WaitFor(); }

void TSyncThread::WaitFor() {
  if (!thread_.joinable()) return;
  if (IsUiThread()) {
    CallQueue &q = TheQueue();
    for (;;) {
      RunQueuedSyncCalls();
      std::unique_lock<std::mutex> lock(q.mutex);
      if (finished_) break;
      q.uiWake.wait(lock, [&] { return finished_.load() || !q.calls.empty(); });
    }
  }
  thread_.join();
}
