#include "app/history_worker.h"

#include "archive/archive.h"

#include <QMetaObject>

#include <utility>

THistoryWorker::THistoryWorker(QObject *context) : context_(context) {}

THistoryWorker::~THistoryWorker() {
  waiting_.reset();
  if (running_) running_->Cancelled = true;
  if (thread_.joinable()) thread_.join();
}

void THistoryWorker::Start(const std::string &address, TWork work, TDone done) {
  auto job = std::make_shared<TJob>();
  job->Address = address;
  job->Work = std::move(work);
  job->Done = std::move(done);
  if (running_) {
    running_->Cancelled = true;
    running_->Superseded = true;
    waiting_ = std::move(job);
    return;
  }
  Launch(job);
}

void THistoryWorker::Cancel() {
  waiting_.reset();
  if (running_) running_->Cancelled = true;
}

void THistoryWorker::Launch(const std::shared_ptr<TJob> &job) {
  // The thread before has posted its end already: this join does not wait
  // for work, only for the thread to return.
  if (thread_.joinable()) thread_.join();
  running_ = job;
  const std::function<void()> hold = OnJobThread;
  thread_ = std::thread([this, job, hold] {
    std::exception_ptr failure;
    try {
      if (hold) hold();
      TArchive archive(job->Address);
      job->Work(archive, job->Cancelled);
    } catch (...) {
      failure = std::current_exception();
    }
    // The window outlives this thread (its worker waits for it when it
    // goes); a call still queued when the window goes is dropped with it.
    QMetaObject::invokeMethod(
        context_, [this, job, failure] { Finished(job, failure); }, Qt::QueuedConnection);
  });
}

void THistoryWorker::Finished(const std::shared_ptr<TJob> &job, const std::exception_ptr &failure) {
  if (job != running_) return;
  running_.reset();
  if (!job->Superseded && job->Done) job->Done(failure);
  if (waiting_ && !running_) Launch(std::exchange(waiting_, nullptr));
}
