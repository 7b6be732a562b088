#include "app/live_recording.h"

#include <QMetaObject>
#include <QObject>

#include <utility>

namespace {

// How often a batch whose frames stopped coming is looked at.
constexpr auto kFlushTick = std::chrono::seconds(1);

std::int64_t SystemClockMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

TLiveRecording::TLiveRecording(TSubmit submit)
    : submit_(std::move(submit)), context_(std::make_unique<QObject>()), thread_([this] { Run(); }) {}

TLiveRecording::~TLiveRecording() {
  Finish();
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void TLiveRecording::Post(TTask task) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  wake_.notify_all();
}

void TLiveRecording::Start(const std::string &port, int intervalSeconds) {
  if (OnStart) OnStart();
  if (recording_) Stop();
  recording_ = true;
  interval_ = ValidRecordInterval(intervalSeconds) ? intervalSeconds : kDefaultRecordInterval;
  TLiveRecorder::TSettings settings;
  settings.Port = port;
  settings.IntervalSeconds = interval_;
  settings.BatchSeconds = BatchSeconds;
  {
    // Shown as nought at once, whatever the last recording's jobs still do.
    const std::lock_guard<std::mutex> lock(mutex_);
    kept_ = 0;
    waiting_ = 0;
  }
  Post([this, settings] {
    // The last recording's jobs still waiting are no longer counted: the
    // count is this recording's.
    recorder_ = std::make_unique<TLiveRecorder>(settings, submit_);
    recorder_->OnChange = [this] { Publish(); };
    Publish();
  });
  if (OnKept) OnKept();
}

void TLiveRecording::SetInterval(int intervalSeconds) {
  if (!ValidRecordInterval(intervalSeconds)) return;
  interval_ = intervalSeconds;
  if (recording_)
    Post([this, intervalSeconds] {
      if (recorder_) recorder_->SetInterval(intervalSeconds);
    });
}

void TLiveRecording::Frame(const TLiveFrame &frame, std::int64_t pcUtcMs) {
  if (!recording_) return;
  Post([this, frame, pcUtcMs] {
    if (!recorder_) return;
    recorder_->Feed(frame, pcUtcMs);
    Publish();
  });
}

void TLiveRecording::Stop() {
  if (!recording_) return;
  recording_ = false;
  Post([this] {
    if (!recorder_) return;
    recorder_->Flush(0, true);
    Publish();
  });
}

void TLiveRecording::Finish() {
  Stop();
  std::unique_lock<std::mutex> lock(mutex_);
  wake_.wait(lock, [this] { return tasks_.empty() && !busy_; });
}

void TLiveRecording::Result(const TArchiveJobResult &result) {
  Post([this, result] {
    if (!recorder_) return;
    recorder_->Reported(result);
    Publish();
  });
}

void TLiveRecording::Publish() {
  const std::int64_t kept = recorder_->Kept(), waiting = recorder_->Waiting();
  bool changed = false;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    changed = kept != kept_ || waiting != waiting_;
    kept_ = kept;
    waiting_ = waiting;
  }
  if (changed)
    QMetaObject::invokeMethod(
        context_.get(),
        [this] {
          if (OnKept) OnKept();
        },
        Qt::QueuedConnection);
}

void TLiveRecording::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (tasks_.empty()) {
      if (quit_) return;
      if (!wake_.wait_for(lock, kFlushTick, [this] { return quit_ || !tasks_.empty(); })) {
        // Frames stopped coming: what is batched must not wait for them.
        busy_ = true;
        lock.unlock();
        if (recorder_) {
          recorder_->Flush(Clock ? Clock() : SystemClockMs());
          Publish();
        }
        lock.lock();
        busy_ = false;
        wake_.notify_all();
      }
      continue;
    }
    TTask task = std::move(tasks_.front());
    tasks_.pop_front();
    busy_ = true;
    lock.unlock();
    task();
    lock.lock();
    busy_ = false;
    if (tasks_.empty()) wake_.notify_all();
  }
}

std::int64_t TLiveRecording::Kept() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return kept_;
}

std::int64_t TLiveRecording::Waiting() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return waiting_;
}
