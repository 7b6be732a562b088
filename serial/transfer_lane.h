#pragma once

// The background side of the port's asynchronous transfers.
//
// A transfer that cannot end inside its start becomes a job on one of the
// port's two lanes, one for writes and one for reads. Each lane is a thread
// of its own, started at its first job, that runs its jobs one after the
// other in the order they came: bytes leave in the order they were written,
// reads take them in the order they were asked for, and a write waiting for
// the line never holds a read back (nor the other way round).
//
// A lane touches nothing of the program, only the device and its jobs, both
// shared with the port. That lets a write the line is not taking be cut off
// without waiting for it: its job ends at once, and the device call inside it
// is told to stop, so the device is free again as soon as it returns.

#include "serial/serial_device_base.h"
#include "serial/serial_port.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class TSerialDevice;
struct TLaneState;

enum class TTransferKind { None, Write, Read };

// One started write or read.
struct TTransferJob {
  explicit TTransferJob(TTransferKind k) : kind(k) {}
  TTransferJob(const TTransferJob &) = delete;
  TTransferJob &operator=(const TTransferJob &) = delete;

  const TTransferKind kind;
  // A write: the private copy of the bytes.
  std::string bytes;
  // A read: the caller's buffer, the count wanted, and the timeouts in force
  // when it started. The buffer is written only under mutex and never after
  // the job has ended.
  char *buffer = nullptr;
  int wanted = 0;
  TDeviceTimeouts timeouts;

  // Ends the job with a count or a failure; false when it had ended already
  // (aborted), in which case nothing changes.
  bool Finish(int count, std::exception_ptr error = nullptr);
  // Ends it as aborted, unless it has ended.
  void Abort();
  // Ends it as AbortTransfers would, but alone: taken out of its lane's
  // line, or stopped inside the device when it is a write running there.
  void Cancel();
  bool Ended();
  // Blocks until it has ended; returns its count, or raises what ended it
  // (code 2 or 3 with ECANCELED when it was aborted). A job next in line
  // that its lane has not taken up yet is run here, by the waiter, which
  // would only sleep otherwise: a short write then costs no hand-over to
  // the lane's thread and back.
  int Wait();

  std::weak_ptr<TLaneState> lane;  // the lane it was posted to

  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  bool aborted = false;
  int count = 0;
  std::exception_ptr error;
};

struct PortTransfer {
  // The last transfer started on this record; none: waiting returns 0.
  std::shared_ptr<TTransferJob> job;
};

class TTransferLane {
public:
  TTransferLane(std::shared_ptr<TSerialDevice> device, std::shared_ptr<std::mutex> inputTake);
  ~TTransferLane();  // Retire
  // Aborts every job and lets the thread go: waits for it, unless it is
  // inside a write the line has not taken yet, which is left to end on its
  // own; then true. Doing it again changes nothing.
  bool Retire();
  TTransferLane(const TTransferLane &) = delete;
  TTransferLane &operator=(const TTransferLane &) = delete;

  void Post(std::shared_ptr<TTransferJob> job);
  bool Busy() const;  // a job is waiting or running
  void AbortAll();
  // Ends one job of the lane, whether waiting or running (see
  // TTransferJob::Cancel).
  static void Cancel(const std::shared_ptr<TLaneState> &lane, TTransferJob &job);
  // Tells a read waiting for bytes that input reached the device's queue.
  // Safe to call from any thread, also after the lane has gone.
  std::function<void()> WakeHook() const;
  // Called, on the thread that ran it, after a write went out whole.
  void SetWriteDone(std::function<void()> hook);

  // Runs job on the calling thread if it is the next in line and the lane
  // is not running one; see TTransferJob::Wait.
  static void RunHereIfNext(const std::shared_ptr<TLaneState> &lane, TTransferJob &job);

private:
  static void Run(const std::shared_ptr<TLaneState> &lane);
  static void RunJob(TLaneState &lane, TTransferJob &job);
  static void RunWrite(TLaneState &lane, TTransferJob &job);
  static void RunRead(TLaneState &lane, TTransferJob &job);

  std::shared_ptr<TLaneState> shared_;
  std::thread thread_;
};

// A port's two lanes, from Open to Close.
class TTransferLanes {
public:
  explicit TTransferLanes(std::shared_ptr<TSerialDevice> device);
  TTransferLanes(const TTransferLanes &) = delete;
  TTransferLanes &operator=(const TTransferLanes &) = delete;

  void Post(std::shared_ptr<TTransferJob> job);
  // Runs a read that can end at once (enough bytes queued, or timeouts that
  // say "what is there") right here; false when it has to wait, or when
  // reads are pending before it.
  bool ReadAtOnce(TTransferJob &job, int &count);
  // The device's purge, never in the middle of a read taking bytes.
  void Purge(bool input, bool output);
  void AbortAll();
  // Both lanes' Retire; true when a write was left inside the device.
  bool Retire();
  std::function<void()> InputArrivedHook() const { return reads_.WakeHook(); }
  void SetWriteDone(std::function<void()> hook) { writes_.SetWriteDone(std::move(hook)); }

private:
  std::shared_ptr<TSerialDevice> device_;
  // Held while bytes are taken out of the input queue, so that a count
  // checked there is still there when the read takes it.
  std::shared_ptr<std::mutex> inputTake_;
  TTransferLane reads_;
  TTransferLane writes_;
};
