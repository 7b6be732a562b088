#pragma once

// Recording the live frames: of the frames that come (one a second or so)
// one reading per interval is kept, with the logger's own time and the PC's
// UTC time, batched into jobs for the history archive. The recorder only
// decides what to keep and hands jobs over: the window submits them to its
// TArchiveWriter (off the UI thread), talvex-cli to the queue and a
// TArchiveQueueFlush. A reading counts as kept only once the archive has
// reported its job committed: a count shown to the user is never ahead of
// what is on disk.
//
// One instance is used from one thread; the reports of a writer's thread
// are posted to it first.

#include "archive/archive_queue.h"
#include "archive/archive_writer.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct TLiveFrame;

// The intervals offered, in seconds; the first recording uses the default.
constexpr int kRecordIntervals[] = {1, 10, 60, 300};
constexpr int kDefaultRecordInterval = 10;
bool ValidRecordInterval(int seconds);

// A live frame as the archive keeps it: the logger's civil time and whole
// tenths. Nothing for a frame whose date is not on the calendar (a logger
// whose clock was never set): it has no place in a history.
std::optional<TArchiveRecord> LiveReading(const TLiveFrame &frame, std::int64_t pcTimeUtc);

class TLiveRecorder {
public:
  struct TSettings {
    std::string Archive;  // as the user gave it; empty: the user's own
    std::string Logger;   // empty: the name the archive knows for Port
    std::string Port;
    int IntervalSeconds = kDefaultRecordInterval;
    // A batch goes to the archive once it spans this much (one
    // transaction per batch, not per reading at short intervals).
    int BatchSeconds = 5;
  };
  // Hands a job over; returns its id in the queue, empty when the queue
  // could not take it (the writer then keeps it in memory and reports it
  // with an empty id).
  using TSubmit = std::function<std::string(TArchiveJob job)>;

  TLiveRecorder(TSettings settings, TSubmit submit);

  const TSettings &Settings() const { return settings_; }
  // A new interval applies from the next frame.
  void SetInterval(int seconds);

  // A decoded frame and the PC's clock when it was complete (ms since
  // 1970 UTC). Returns true when it was taken as a reading.
  bool Feed(const TLiveFrame &frame, std::int64_t pcUtcMs);
  // Frames whose date is not on the calendar, passed over.
  long Undated() const { return undated_; }
  // Hands the batch over now if it is due by `pcUtcMs` (frames that stopped
  // coming must not hold readings back), or at once with force.
  void Flush(std::int64_t pcUtcMs, bool force = false);

  // What the archive did with a job; jobs of others are passed over.
  void Reported(const TArchiveJobResult &result);
  // Jobs of ours that are no longer in the queue: another program stored
  // them (a queue's file goes only once the archive committed it).
  void SettleGone(const TArchiveQueue &queue);

  // Readings the archive has committed, and the latest of them.
  std::int64_t Kept() const { return kept_; }
  const std::optional<TArchiveRecord> &Last() const { return last_; }
  // Readings taken and not yet reported committed (the batch included).
  std::int64_t Waiting() const;
  // Of those, the ones in the batch not yet handed over.
  std::int64_t Batched() const { return static_cast<std::int64_t>(batch_.size()); }
  // The last failure the archive reported and not yet cleared by a commit.
  const std::string &Failure() const { return failure_; }

  // Told whenever Kept or Failure changes.
  std::function<void()> OnChange;

private:
  struct TSubmitted {
    std::int64_t Readings = 0;
    TArchiveRecord Last;
  };
  void Submit();
  void Commit(const TSubmitted &job);

  TSettings settings_;
  TSubmit submit_;
  std::vector<TArchiveRecord> batch_;
  std::optional<std::int64_t> slot_;   // the interval of the last reading taken
  std::optional<TStamp> lastInstant_;  // and its instant on the logger's clock
  std::map<std::string, TSubmitted> inQueue_;
  std::deque<TSubmitted> inMemory_;
  std::int64_t kept_ = 0;
  std::optional<TArchiveRecord> last_;
  std::string failure_;
  long undated_ = 0;
};
