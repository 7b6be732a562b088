#pragma once

// GRABAR: the live readings the main window decodes, kept in the history
// archive by the recorder (logger/live_recorder.h) at the interval the user
// picks. The recorder runs on a thread of its own: the window's thread only
// hands each frame over (a few microseconds), while writing a batch into the
// queue on disk (a synced file) happens on the recording's thread and
// storing it in the archive on the archive writer's. What the writer reports
// is handed to the recording's thread too, so the recorder sees its jobs'
// results after their ids, in order; the count the window shows comes back
// from there.

#include "archive/archive_writer.h"
#include "logger/live_frame.h"
#include "logger/live_recorder.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class QObject;

class TLiveRecording {
public:
  // `submit` puts a batch in the archive's queue and returns its id (empty
  // when the queue could not take it); it is called on the recording's
  // thread, never on the window's.
  using TSubmit = TLiveRecorder::TSubmit;
  explicit TLiveRecording(TSubmit submit);
  ~TLiveRecording();  // what was taken is handed over first
  TLiveRecording(const TLiveRecording &) = delete;
  TLiveRecording &operator=(const TLiveRecording &) = delete;

  // A batch goes to the archive once it spans this many seconds; set before
  // Start (tests shorten it).
  int BatchSeconds = TLiveRecorder::TSettings().BatchSeconds;
  // The PC's clock for batches whose frames stopped coming (ms since 1970
  // UTC), read on the recording's thread.
  std::function<std::int64_t()> Clock;

  // Everything below is called on the window's thread.

  // Starts keeping the readings of the logger on `port` under the name the
  // archive remembers for the port, else the port's name; the count starts
  // again from nought.
  void Start(const std::string &port, int intervalSeconds);
  void SetInterval(int intervalSeconds);
  int Interval() const { return interval_; }
  // A decoded frame and the PC's UTC time it came at (ms since 1970).
  void Frame(const TLiveFrame &frame, std::int64_t pcUtcMs);
  // Ends the recording; what was taken is still handed over, and counted
  // once committed, without the window waiting for it.
  void Stop();
  // Stop, and wait until everything taken is in the queue on disk (the
  // program is ending).
  void Finish();
  // Every result of the archive's writer.
  void Result(const TArchiveJobResult &result);

  bool Recording() const { return recording_; }
  // Readings the archive committed since the recording started.
  std::int64_t Kept() const;
  // Readings taken and not yet committed.
  std::int64_t Waiting() const;

  // Told at each start, before the first reading.
  std::function<void()> OnStart;
  // Told whenever Kept or Waiting changes.
  std::function<void()> OnKept;

private:
  using TTask = std::function<void()>;
  void Post(TTask task);
  void Run();
  void Publish();  // on the recording's thread

  TSubmit submit_;
  bool recording_ = false;
  int interval_ = kDefaultRecordInterval;
  std::unique_ptr<QObject> context_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<TTask> tasks_;
  bool busy_ = false;
  bool quit_ = false;
  std::int64_t kept_ = 0, waiting_ = 0;  // as last published

  // The recording's thread's own.
  std::unique_ptr<TLiveRecorder> recorder_;
  std::thread thread_;
};
