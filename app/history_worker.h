#pragma once

// Work on the history archive away from the user-interface thread: each job
// opens an archive of its own on a thread of its own (a connection belongs
// to the thread that made it), so a year of readings being outlined or
// exported never freezes the window.

#include <QObject>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <thread>

class TArchive;

class THistoryWorker {
public:
  // What a job does with its archive; `cancelled` turns true when the user
  // cancels or a newer job takes its place.
  using TWork = std::function<void(TArchive &archive, const std::atomic<bool> &cancelled)>;
  // Told on the user-interface thread when the job has ended: empty when it
  // went well, else what it threw (the archive that would not open too).
  using TDone = std::function<void(const std::exception_ptr &failure)>;

  // `context` is the window the results go to: once it is gone they go
  // nowhere.
  explicit THistoryWorker(QObject *context);
  // Cancels what runs and waits for its thread.
  ~THistoryWorker();
  THistoryWorker(const THistoryWorker &) = delete;
  THistoryWorker &operator=(const THistoryWorker &) = delete;

  // Runs `work` on the archive at `address`. While a job runs, a new one
  // waits for it to end and takes the place of any other still waiting; the
  // one running is cancelled and its `done` is never told (its result is
  // stale).
  void Start(const std::string &address, TWork work, TDone done);
  // The running job is asked to stop and the waiting one is dropped; the
  // running one's `done` is still told, so the window can say so.
  void Cancel();
  bool Busy() const { return running_ != nullptr || waiting_ != nullptr; }

  // Called on the job's thread before its archive opens; tests hold a job
  // there to act while it runs.
  std::function<void()> OnJobThread;

private:
  struct TJob {
    std::string Address;
    TWork Work;
    TDone Done;
    std::atomic<bool> Cancelled{false};
    bool Superseded = false;  // user-interface thread only
  };
  void Launch(const std::shared_ptr<TJob> &job);
  void Finished(const std::shared_ptr<TJob> &job, const std::exception_ptr &failure);

  QObject *context_;
  std::shared_ptr<TJob> running_, waiting_;
  std::thread thread_;
};
