#include "serial/transfer_lane.h"

#include "serial/serial_device.h"

#include <algorithm>
#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

// How often a read waiting for bytes looks at the queue when nothing wakes
// it: the event thread tells it of new input at once, but it may be absent
// (no events watched) or blocked handing a batch to the UI thread.
constexpr std::chrono::milliseconds kReadLook{10};

std::exception_ptr ReadFailure(int osCode) { return std::make_exception_ptr(ESerialPort(ecReadFailed, osCode)); }

}  // namespace

// ---------------------------------------------------------------------------
// Jobs

bool TTransferJob::Finish(int n, std::exception_ptr e) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (done) return false;
    done = true;
    count = n;
    error = std::move(e);
  }
  ended.notify_all();
  return true;
}

void TTransferJob::Abort() {
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (done) return;
    done = true;
    aborted = true;
  }
  ended.notify_all();
}

void TTransferJob::Cancel() {
  if (const std::shared_ptr<TLaneState> state = lane.lock()) TTransferLane::Cancel(state, *this);
  else Abort();
}

bool TTransferJob::Ended() {
  std::lock_guard<std::mutex> lock(mutex);
  return done;
}

int TTransferJob::Wait() {
  if (const std::shared_ptr<TLaneState> state = lane.lock()) TTransferLane::RunHereIfNext(state, *this);
  std::unique_lock<std::mutex> lock(mutex);
  ended.wait(lock, [this] { return done; });
  if (aborted)
    throw ESerialPort(kind == TTransferKind::Write ? ecWriteFailed : ecReadFailed,
                      SerialOsErrorNumber(TSerialOsError::Cancelled));
  if (error) std::rethrow_exception(error);
  return count;
}

// ---------------------------------------------------------------------------
// One lane

struct TLaneState {
  std::shared_ptr<TSerialDevice> device;
  std::shared_ptr<std::mutex> inputTake;

  std::mutex mutex;  // everything below
  std::condition_variable cv;
  std::deque<std::shared_ptr<TTransferJob>> jobs;
  std::shared_ptr<TTransferJob> running;  // on the lane's thread or a waiter's
  bool writing = false;                   // inside the device's write
  bool stop = false;
  bool wake = false;  // input arrived, or a job was aborted
  std::function<void()> writeDone;
};

TTransferLane::TTransferLane(std::shared_ptr<TSerialDevice> device, std::shared_ptr<std::mutex> inputTake)
    : shared_(std::make_shared<TLaneState>()) {
  shared_->device = std::move(device);
  shared_->inputTake = std::move(inputTake);
}

TTransferLane::~TTransferLane() { Retire(); }

bool TTransferLane::Retire() {
  bool leaveBehind = false;
  {
    std::unique_lock<std::mutex> lock(shared_->mutex);
    shared_->stop = true;
    shared_->wake = true;
    for (const auto &job : shared_->jobs) job->Abort();
    shared_->jobs.clear();
    if (shared_->running) shared_->running->Abort();
    shared_->writeDone = nullptr;
    // A read ends at its next look, a write not yet in the device never goes
    // in now, and one inside it is told to stop, whoever runs it (the lane's
    // thread or a waiter): the device is free again when Close returns.
    if (shared_->writing) shared_->device->AbortWrite();
    shared_->cv.notify_all();
    // Only a device that could not be woken (no descriptor for it) keeps a
    // write inside it past this wait; that one is left to end on its own.
    shared_->cv.wait_for(lock, std::chrono::seconds(2), [this] { return !shared_->running; });
    leaveBehind = shared_->writing;
  }
  if (thread_.joinable()) {
    if (leaveBehind) thread_.detach();  // it owns what it uses, and ends with its device call
    else thread_.join();
  }
  return leaveBehind;
}

void TTransferLane::Post(std::shared_ptr<TTransferJob> job) {
  job->lane = shared_;
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->jobs.push_back(std::move(job));
    if (!thread_.joinable()) thread_ = std::thread([shared = shared_] { Run(shared); });
  }
  shared_->cv.notify_all();
}

bool TTransferLane::Busy() const {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  return shared_->running || !shared_->jobs.empty();
}

void TTransferLane::AbortAll() {
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    for (const auto &job : shared_->jobs) job->Abort();
    shared_->jobs.clear();
    if (shared_->running) shared_->running->Abort();
    if (shared_->writing) shared_->device->AbortWrite();
    shared_->wake = true;
  }
  shared_->cv.notify_all();
}

void TTransferLane::Cancel(const std::shared_ptr<TLaneState> &shared, TTransferJob &job) {
  {
    std::lock_guard<std::mutex> lock(shared->mutex);
    auto &jobs = shared->jobs;
    jobs.erase(std::remove_if(jobs.begin(), jobs.end(),
                              [&job](const std::shared_ptr<TTransferJob> &queued) { return queued.get() == &job; }),
               jobs.end());
    job.Abort();
    // Inside the device: stopped there, so that nothing more of it leaves
    // and the next write does not wait behind it.
    if (shared->running.get() == &job && shared->writing) shared->device->AbortWrite();
    shared->wake = true;
  }
  shared->cv.notify_all();
}

std::function<void()> TTransferLane::WakeHook() const {
  // Holds the lane's shared part, not the lane: the event thread may call it
  // after the port let the lane go.
  return [shared = shared_] {
    {
      std::lock_guard<std::mutex> lock(shared->mutex);
      shared->wake = true;
    }
    shared->cv.notify_all();
  };
}

void TTransferLane::SetWriteDone(std::function<void()> hook) {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  shared_->writeDone = std::move(hook);
}

void TTransferLane::Run(const std::shared_ptr<TLaneState> &shared) {
  for (;;) {
    std::shared_ptr<TTransferJob> job;
    {
      std::unique_lock<std::mutex> lock(shared->mutex);
      // One job at a time, whoever runs it: a waiter may be running the one
      // before.
      shared->cv.wait(lock, [&] { return shared->stop || (!shared->jobs.empty() && !shared->running); });
      if (shared->stop) return;
      job = std::move(shared->jobs.front());
      shared->jobs.pop_front();
      shared->running = job;
    }
    RunJob(*shared, *job);
  }
}

void TTransferLane::RunHereIfNext(const std::shared_ptr<TLaneState> &lane, TTransferJob &job) {
  std::shared_ptr<TTransferJob> mine;
  {
    std::lock_guard<std::mutex> lock(lane->mutex);
    if (lane->stop || lane->running || lane->jobs.empty() || lane->jobs.front().get() != &job) return;
    mine = std::move(lane->jobs.front());
    lane->jobs.pop_front();
    lane->running = mine;
  }
  RunJob(*lane, *mine);
}

void TTransferLane::RunJob(TLaneState &shared, TTransferJob &job) {
  if (!job.Ended()) {
    if (job.kind == TTransferKind::Write) RunWrite(shared, job);
    else RunRead(shared, job);
  }
  {
    std::lock_guard<std::mutex> lock(shared.mutex);
    shared.running.reset();
  }
  shared.cv.notify_all();  // the next job may go
}

void TTransferLane::RunWrite(TLaneState &shared, TTransferJob &job) {
  // The device's write sends everything or stops at the write limit for this
  // length, waits for the bytes to leave, and counts only what left.
  const int size = static_cast<int>(job.bytes.size());
  std::uint64_t ticket = 0;
  {
    // The ticket is taken with the mark, under the lock an abort takes: an
    // abort from here on is this write's, however late the device call
    // begins.
    std::lock_guard<std::mutex> lock(shared.mutex);
    if (shared.stop || job.Ended()) return;
    shared.writing = true;
    ticket = shared.device->WriteTicket();
  }
  int written = 0;
  std::exception_ptr failure;
  try {
    written = shared.device->Write(job.bytes.data(), size, ticket);
  } catch (...) {
    failure = std::current_exception();
  }
  {
    std::lock_guard<std::mutex> lock(shared.mutex);
    shared.writing = false;
  }
  if (job.Finish(written, failure) && !failure && written == size) {
    std::lock_guard<std::mutex> lock(shared.mutex);
    if (shared.writeDone) shared.writeDone();
  }
}

void TTransferLane::RunRead(TLaneState &shared, TTransferJob &job) {
  // The device's own read would wait inside the device, where nothing can
  // end it but its timeouts; here the waiting is ours, so an abort ends it,
  // and the device is only asked for bytes that are already queued.
  const TReadRules rules(job.timeouts, job.wanted);
  const Clock::time_point start = Clock::now();
  const Clock::time_point deadline = start + rules.total;
  Clock::time_point lastByte = start;
  int got = 0;
  for (;;) {
    int taken = 0;
    std::exception_ptr failure;
    {
      std::lock_guard<std::mutex> take(*shared.inputTake);
      int queued = 0;
      try {
        queued = shared.device->PendingInput();
      } catch (const ESerialPort &e) {
        failure = ReadFailure(e.OsCode());
      }
      std::lock_guard<std::mutex> lock(job.mutex);
      if (job.done) return;  // aborted: the buffer is the caller's again
      const int n = std::min(queued, job.wanted - got);
      if (!failure && n > 0) {
        try {
          taken = shared.device->Read(job.buffer + got, n);
        } catch (...) {
          failure = std::current_exception();
        }
      }
    }
    if (failure) {
      job.Finish(got, failure);
      return;
    }
    got += taken;
    const Clock::time_point now = Clock::now();
    if (taken > 0) lastByte = now;
    // "What is there, now" holds for a read that had to wait its turn too:
    // one look when it runs, then it ends.
    if (got == job.wanted || (rules.firstByteEnds && got > 0) || rules.atOnce) {
      job.Finish(got);
      return;
    }
    if (taken == 0 && shared.device->HungUp()) {
      // Nothing more will come: what was read is the result, or the loss is.
      job.Finish(got, got > 0 ? nullptr : ReadFailure(SerialOsErrorNumber(TSerialOsError::DeviceGone)));
      return;
    }
    Clock::time_point wakeAt = now + kReadLook;
    if (rules.totalLimit) {
      if (now >= deadline) {
        job.Finish(got);
        return;
      }
      wakeAt = std::min(wakeAt, deadline);
    }
    if (rules.intervalLimit && got > 0) {
      const Clock::time_point gapEnds = lastByte + rules.interval;
      if (now >= gapEnds) {
        job.Finish(got);
        return;
      }
      wakeAt = std::min(wakeAt, gapEnds);
    }
    std::unique_lock<std::mutex> lock(shared.mutex);
    shared.cv.wait_until(lock, wakeAt, [&] { return shared.wake || shared.stop; });
    shared.wake = false;
    if (shared.stop) return;  // the lane is going: the job was aborted with it
  }
}

// ---------------------------------------------------------------------------
// The pair

TTransferLanes::TTransferLanes(std::shared_ptr<TSerialDevice> device)
    : device_(std::move(device)),
      inputTake_(std::make_shared<std::mutex>()),
      reads_(device_, inputTake_),
      writes_(device_, inputTake_) {}

void TTransferLanes::Post(std::shared_ptr<TTransferJob> job) {
  if (job->kind == TTransferKind::Write) writes_.Post(std::move(job));
  else reads_.Post(std::move(job));
}

bool TTransferLanes::ReadAtOnce(TTransferJob &job, int &count) {
  if (reads_.Busy()) return false;  // it must wait its turn behind those
  const TReadRules rules(job.timeouts, job.wanted);
  auto endsNow = [&](int queued) {
    return rules.atOnce || queued >= job.wanted || (rules.firstByteEnds && queued > 0);
  };
  std::lock_guard<std::mutex> take(*inputTake_);
  // What the event thread already moved into our queue usually suffices
  // (the receive handler reads the count it was told); only otherwise is the
  // device asked for more.
  if (!endsNow(device_->QueuedInput())) {
    int queued = 0;
    try {
      queued = device_->PendingInput();
    } catch (const ESerialPort &e) {
      throw ESerialPort(ecReadFailed, e.OsCode());
    }
    if (!endsNow(queued)) return false;
  }
  count = device_->Read(job.buffer, job.wanted);
  return true;
}

void TTransferLanes::Purge(bool input, bool output) {
  std::lock_guard<std::mutex> take(*inputTake_);
  device_->Purge(input, output);
}

void TTransferLanes::AbortAll() {
  reads_.AbortAll();
  writes_.AbortAll();
}

bool TTransferLanes::Retire() {
  reads_.Retire();
  return writes_.Retire();
}
