#include "logger/live_recorder.h"

#include "logger/live_frame.h"

#include <sys/stat.h>
#include <algorithm>
#include <cmath>
#include <utility>

bool ValidRecordInterval(int seconds) {
  return std::find(std::begin(kRecordIntervals), std::end(kRecordIntervals), seconds) != std::end(kRecordIntervals);
}

std::optional<TArchiveRecord> LiveReading(const TLiveFrame &frame, std::int64_t pcTimeUtc) {
  TArchiveRecord r;
  // The frame carries the year's last two digits, as the date shown does.
  r.Instant = TStamp{2000 + frame.Year, frame.Month, frame.Day, frame.Hours, frame.Minutes, frame.Seconds};
  if (!ValidStamp(r.Instant)) return std::nullopt;
  for (size_t k = 0; k < frame.Channels.size(); ++k)
    r.Values[k] = static_cast<std::int32_t>(std::llround(frame.Channels[k] * 10));
  r.PcTimeUtc = pcTimeUtc;
  return r;
}

TLiveRecorder::TLiveRecorder(TSettings settings, TSubmit submit)
    : settings_(std::move(settings)), submit_(std::move(submit)) {
  if (!ValidRecordInterval(settings_.IntervalSeconds)) settings_.IntervalSeconds = kDefaultRecordInterval;
}

void TLiveRecorder::SetInterval(int seconds) {
  if (!ValidRecordInterval(seconds) || seconds == settings_.IntervalSeconds) return;
  settings_.IntervalSeconds = seconds;
  slot_.reset();
}

bool TLiveRecorder::Feed(const TLiveFrame &frame, std::int64_t pcUtcMs) {
  // Intervals are counted on the PC's clock from 1970, so readings fall on
  // round times (:00, :10, ...) whatever the logger's clock says, and a
  // restarted recorder keeps the same rhythm.
  const std::int64_t pcSeconds = pcUtcMs >= 0 ? pcUtcMs / 1000 : -((-pcUtcMs + 999) / 1000);
  const std::int64_t slot = pcSeconds >= 0
                                ? pcSeconds / settings_.IntervalSeconds
                                : -((-pcSeconds + settings_.IntervalSeconds - 1) / settings_.IntervalSeconds);
  bool taken = false;
  if (!slot_ || slot != *slot_) {
    const std::optional<TArchiveRecord> reading = LiveReading(frame, pcSeconds);
    if (!reading) {
      ++undated_;
    } else if (!lastInstant_ || !(reading->Instant == *lastInstant_)) {
      // The logger's second and the PC's are not in step: two frames of one
      // logger second may fall in two intervals. One reading per instant,
      // else the archive would keep the second beside the first as another
      // version; the next frame of this interval is taken instead.
      slot_ = slot;
      lastInstant_ = reading->Instant;
      batch_.push_back(*reading);
      taken = true;
    }
  }
  Flush(pcUtcMs);
  return taken;
}

void TLiveRecorder::Flush(std::int64_t pcUtcMs, bool force) {
  if (batch_.empty()) return;
  const std::int64_t span = static_cast<std::int64_t>(batch_.size()) * settings_.IntervalSeconds;
  const std::int64_t age = pcUtcMs / 1000 - batch_.front().PcTimeUtc;
  if (force || span >= settings_.BatchSeconds || age >= settings_.BatchSeconds) Submit();
}

void TLiveRecorder::Submit() {
  TArchiveJob job;
  job.Archive = settings_.Archive;
  job.Logger = settings_.Logger;
  job.Port = settings_.Port;
  job.Origin.Kind = TOriginKind::Live;
  job.Origin.PcTimeUtc = batch_.front().PcTimeUtc;
  TSubmitted submitted;
  submitted.Readings = static_cast<std::int64_t>(batch_.size());
  submitted.Last = batch_.back();
  job.Records = std::move(batch_);
  batch_.clear();
  const std::string id = submit_(std::move(job));
  if (id.empty()) {
    inMemory_.push_back(submitted);
  } else {
    inQueue_[id] = submitted;
  }
}

void TLiveRecorder::Commit(const TSubmitted &job) {
  kept_ += job.Readings;
  if (!last_ || job.Last.PcTimeUtc >= last_->PcTimeUtc) last_ = job.Last;
  failure_.clear();
  if (OnChange) OnChange();
}

void TLiveRecorder::Reported(const TArchiveJobResult &result) {
  const bool kept = result.Kind == TArchiveJobResult::TKind::Kept;
  if (result.Job.empty()) {
    // The writer stores the jobs it holds in memory in their order and
    // stops at the first that fails; a download held there the same way is
    // not ours.
    if (inMemory_.empty() || result.Origin != TOriginKind::Live) return;
    if (kept) {
      const TSubmitted job = inMemory_.front();
      inMemory_.pop_front();
      Commit(job);
      return;
    }
  } else {
    const auto mine = inQueue_.find(result.Job);
    if (mine == inQueue_.end()) return;
    if (kept) {
      const TSubmitted job = mine->second;
      inQueue_.erase(mine);
      Commit(job);
      return;
    }
    if (result.Kind == TArchiveJobResult::TKind::SetAside) inQueue_.erase(mine);
  }
  if (result.Message != failure_) {
    failure_ = result.Message;
    if (OnChange) OnChange();
  }
}

void TLiveRecorder::SettleGone(const TArchiveQueue &queue) {
  for (auto it = inQueue_.begin(); it != inQueue_.end();) {
    struct stat st {};
    if (::stat(queue.PathOf(it->first).c_str(), &st) == 0) {
      ++it;
      continue;
    }
    const TSubmitted job = it->second;
    it = inQueue_.erase(it);
    Commit(job);
  }
}

std::int64_t TLiveRecorder::Waiting() const {
  std::int64_t waiting = static_cast<std::int64_t>(batch_.size());
  for (const auto &job : inQueue_) waiting += job.second.Readings;
  for (const TSubmitted &job : inMemory_) waiting += job.Readings;
  return waiting;
}
