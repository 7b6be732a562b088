#pragma once

// Calls a background thread hands to the user-interface thread and waits for.
//
// A background thread never touches program state itself; when it has
// something for the program (a batch of serial events, a blink tick) it queues
// a call with SyncCall and blocks until the UI thread has run it. Whatever the
// call threw is carried back and thrown again in the background thread.
//
// The queue is a mutex-guarded list; a posted event wakes the UI thread's
// event loop to run it. The UI thread also runs the queue while it waits for
// a thread to end (TSyncThread::WaitFor), so a thread blocked in SyncCall
// when its owner stops it completes its call instead of deadlocking. A
// thread waiting in SyncCall never holds back the end of the process: exit()
// from the UI thread, even from inside the call being waited for, completes.

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <thread>

// Runs call on the UI thread and returns when it has run there, rethrowing
// what it threw. Called on the UI thread itself it simply runs the call.
void SyncCall(const std::function<void()> &call);

// UI thread: runs every call queued so far. Returns how many ran.
int RunQueuedSyncCalls();

// True on the thread that owns the application object.
bool IsUiThread();

// A thread whose owner, on the UI thread, waits for it while still running
// the queued calls. The body runs once; the object must be waited for (the
// destructor does it) before it goes away.
class TSyncThread {
public:
  explicit TSyncThread(std::function<void()> body);
  ~TSyncThread();
  TSyncThread(const TSyncThread &) = delete;
  TSyncThread &operator=(const TSyncThread &) = delete;

  // Blocks until the body has returned. On the UI thread queued calls keep
  // running meanwhile. Waiting twice is harmless.
  void WaitFor();
  bool Finished() const { return finished_.load(); }
  // What escaped the body, if anything; kept until the object goes away.
  std::exception_ptr FatalException() const { return fatal_; }

private:
  std::atomic<bool> finished_{false};
  std::exception_ptr fatal_;
  std::thread thread_;
};
