#pragma once

// GRABAR: the live readings the main window decodes, kept in the history
// archive at the interval the user picks. The window's thread only picks the
// reading and hands it over (a few microseconds); writing the batch into the
// queue on disk (a synced file) happens on the recording's own thread, and
// storing it in the archive on the archive writer's. A reading is counted as
// kept only once the archive has committed its batch.

#include "archive/archive_queue.h"
#include "archive/archive_writer.h"
#include "logger/live_frame.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class QObject;

// The intervals offered, in seconds, and the one at first.
constexpr int kRecordIntervals[] = {1, 10, 60, 300};
constexpr int kDefaultRecordInterval = 10;
bool ValidRecordInterval(int seconds);

// The reading a frame gives, on the logger's own clock; nothing when the
// frame's date is not a real one (a logger whose clock was never set), which
// no history can hold.
std::optional<TArchiveRecord> LiveReading(const TLiveFrame &frame);

class TLiveRecording {
public:
  // `submit` puts a batch in the archive's queue and returns its id (empty
  // when the queue could not take it); it is called on the recording's
  // thread, never on the window's.
  using TSubmit = std::function<std::string(TArchiveJob job)>;
  explicit TLiveRecording(TSubmit submit);
  ~TLiveRecording();  // what is pending is handed over first
  TLiveRecording(const TLiveRecording &) = delete;
  TLiveRecording &operator=(const TLiveRecording &) = delete;

  // Starts keeping the readings of the logger on `port`, one per
  // `intervalSeconds` of the logger's clock; the count starts again.
  void Start(const std::string &port, int intervalSeconds);
  void SetInterval(int intervalSeconds);
  int Interval() const { return interval_; }
  // A decoded frame and the PC's UTC time it came at (ms since 1970).
  // Returns true when it was kept for the archive.
  bool Frame(const TLiveFrame &frame, std::int64_t pcUtcMs);
  // Ends the recording; what is pending is still handed over, without the
  // window waiting for it.
  void Stop();
  // Stop, and wait until everything pending is in the queue on disk (the
  // program is ending).
  void Finish();

  // Every result of the archive's writer, on the window's thread: the
  // recording's own batches are counted once committed.
  void Result(const TArchiveJobResult &result);

  bool Recording() const { return recording_; }
  // Readings the archive committed since the recording started.
  std::int64_t Kept() const;
  // Readings handed over and not yet committed (or failed and waiting).
  std::int64_t Waiting() const;

  // Told at each start, before the first reading.
  std::function<void()> OnStart;
  // Told on the window's thread whenever Kept changes.
  std::function<void()> OnKept;

private:
  void Run();
  void Counted(std::int64_t readings);

  TSubmit submit_;
  bool recording_ = false;
  int interval_ = kDefaultRecordInterval;
  std::string port_;
  std::optional<std::int64_t> lastSlot_;
  std::unique_ptr<QObject> context_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  struct TPending {
    std::string Port;
    std::int64_t PcUtcSeconds = 0;
    TArchiveRecord Reading;
    unsigned Session = 0;
  };
  std::vector<TPending> pending_;
  bool busy_ = false;  // a batch is being written to the queue
  bool quit_ = false;
  unsigned session_ = 0;
  std::int64_t kept_ = 0, waiting_ = 0;
  // Jobs of this recording whose result has not come yet, and results that
  // came before their job's id was known here (the writer may be quicker
  // than Submit's return), by job id.
  struct TJob {
    std::int64_t Readings = 0;
    unsigned Session = 0;
  };
  std::map<std::string, TJob> jobs_;
  std::map<std::string, bool> early_;  // id -> kept
  std::thread thread_;
};
