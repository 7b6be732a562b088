#include "app/live_recording.h"

#include <QMetaObject>
#include <QObject>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// Results of jobs not (yet) known as the recording's: downloads, or a batch
// whose Submit has not returned. Only the newest are worth keeping.
constexpr std::size_t kEarlyResults = 64;

}  // namespace

bool ValidRecordInterval(int seconds) {
  return std::find(std::begin(kRecordIntervals), std::end(kRecordIntervals), seconds) != std::end(kRecordIntervals);
}

std::optional<TArchiveRecord> LiveReading(const TLiveFrame &frame) {
  TArchiveRecord r;
  r.Instant = TStamp{2000 + frame.Year, frame.Month, frame.Day, frame.Hours, frame.Minutes, frame.Seconds};
  if (!ValidStamp(r.Instant)) return std::nullopt;
  for (std::size_t k = 0; k < 16; ++k) r.Values[k] = static_cast<std::int32_t>(std::lround(frame.Channels[k] * 10));
  return r;
}

TLiveRecording::TLiveRecording(TSubmit submit)
    : submit_(std::move(submit)), context_(std::make_unique<QObject>()), thread_([this] { Run(); }) {}

TLiveRecording::~TLiveRecording() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void TLiveRecording::Start(const std::string &port, int intervalSeconds) {
  if (OnStart) OnStart();
  recording_ = true;
  port_ = port;
  SetInterval(intervalSeconds);
  lastSlot_.reset();
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    ++session_;
    kept_ = 0;
  }
  if (OnKept) OnKept();
}

void TLiveRecording::SetInterval(int intervalSeconds) {
  if (!ValidRecordInterval(intervalSeconds)) intervalSeconds = kDefaultRecordInterval;
  if (intervalSeconds != interval_) lastSlot_.reset();
  interval_ = intervalSeconds;
}

bool TLiveRecording::Frame(const TLiveFrame &frame, std::int64_t pcUtcMs) {
  if (!recording_) return false;
  std::optional<TArchiveRecord> reading = LiveReading(frame);
  if (!reading) return false;
  // One reading per slot of the logger's clock: whole intervals since the
  // epoch, so that a 1-minute recording keeps the readings on the minute.
  const std::int64_t slot = StampSeconds(reading->Instant) / interval_;
  if (lastSlot_ && *lastSlot_ == slot) return false;
  lastSlot_ = slot;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    pending_.push_back(TPending{port_, pcUtcMs / 1000, *reading, session_});
    ++waiting_;
  }
  wake_.notify_all();
  return true;
}

void TLiveRecording::Stop() { recording_ = false; }

void TLiveRecording::Finish() {
  Stop();
  std::unique_lock<std::mutex> lock(mutex_);
  wake_.wait(lock, [this] { return pending_.empty() && !busy_; });
}

void TLiveRecording::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return quit_ || !pending_.empty(); });
    if (pending_.empty()) return;  // quit, nothing left to hand over
    std::vector<TPending> batch = std::move(pending_);
    pending_.clear();
    busy_ = true;
    lock.unlock();
    // Whatever came while the last batch was being written goes as one job
    // (one transaction); a change of port or session starts another.
    std::vector<std::pair<std::string, TJob>> submitted;
    for (std::size_t first = 0; first < batch.size();) {
      std::size_t end = first + 1;
      while (end < batch.size() && batch[end].Port == batch[first].Port && batch[end].Session == batch[first].Session)
        ++end;
      TArchiveJob job;
      job.Port = batch[first].Port;
      job.Origin.Kind = TOriginKind::Live;
      job.Origin.PcTimeUtc = batch[first].PcUtcSeconds;
      for (std::size_t i = first; i < end; ++i) job.Records.push_back(batch[i].Reading);
      const auto readings = static_cast<std::int64_t>(end - first);
      const unsigned session = batch[first].Session;
      std::string id;
      try {
        id = submit_(std::move(job));
      } catch (...) {
        // The submit itself never throws; should it, the readings are not
        // reported kept, and the recording goes on.
      }
      if (!id.empty()) submitted.emplace_back(std::move(id), TJob{readings, session});
      first = end;
    }
    lock.lock();
    bool counted = false;
    for (auto &[id, job] : submitted) {
      const auto early = early_.find(id);
      if (early == early_.end()) {
        jobs_.emplace(id, job);
      } else {
        // Its result came first: it was handled as someone else's job.
        if (early->second) {
          waiting_ -= job.Readings;
          if (job.Session == session_) kept_ += job.Readings, counted = true;
        } else {
          jobs_.emplace(id, job);
        }
        early_.erase(early);
      }
    }
    busy_ = false;
    wake_.notify_all();
    if (counted) {
      lock.unlock();
      QMetaObject::invokeMethod(
          context_.get(),
          [this] {
            if (OnKept) OnKept();
          },
          Qt::QueuedConnection);
      lock.lock();
    }
  }
}

void TLiveRecording::Result(const TArchiveJobResult &result) {
  if (result.Job.empty()) return;
  const bool kept = result.Kind == TArchiveJobResult::TKind::Kept;
  bool counted = false;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto job = jobs_.find(result.Job);
    if (job == jobs_.end()) {
      early_[result.Job] = kept;
      while (early_.size() > kEarlyResults) early_.erase(early_.begin());
      return;
    }
    if (result.Kind == TArchiveJobResult::TKind::Failed) return;  // waits in the queue, comes again
    // Set aside: it will never be stored; no longer waiting either.
    waiting_ -= job->second.Readings;
    if (kept && job->second.Session == session_) kept_ += job->second.Readings, counted = true;
    jobs_.erase(job);
  }
  if (counted && OnKept) OnKept();
}

std::int64_t TLiveRecording::Kept() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return kept_;
}

std::int64_t TLiveRecording::Waiting() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return waiting_;
}
