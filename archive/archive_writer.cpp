#include "archive/archive_writer.h"

#include "archive/archive_address.h"
#include "archive/archive_error.h"

#include <set>
#include <utility>

std::string ArchiveDisplayName(const std::string &address) {
  try {
    return ParseArchiveAddress(address.empty() ? DefaultArchivePath() : address).Name;
  } catch (const EArchiveError &) {
    return address;
  }
}

TArchiveQueueFlush::TArchiveQueueFlush(TArchiveQueue queue) : queue_(std::move(queue)) {}
TArchiveQueueFlush::~TArchiveQueueFlush() = default;

void TArchiveQueueFlush::Forget() { archives_.clear(); }

TArchive &TArchiveQueueFlush::Open(const std::string &address) {
  std::unique_ptr<TArchive> &archive = archives_[address];
  if (!archive) {
    try {
      archive = std::make_unique<TArchive>(address);
    } catch (...) {
      archives_.erase(address);
      throw;
    }
  }
  return *archive;
}

TArchiveJobResult TArchiveQueueFlush::Keep(const TArchiveJob &job, const std::string &id) {
  TArchiveJobResult result;
  result.Job = id;
  result.Archive = ArchiveDisplayName(job.Archive);
  result.Origin = job.Origin.Kind;
  try {
    TArchive &archive = Open(job.Archive);
    result.Logger = ArchiveJobLogger(archive, job);
    result.Stored = archive.StoreRecords(result.Logger, job.Port, job.Origin, job.Records);
    result.Kind = TArchiveJobResult::TKind::Kept;
  } catch (const std::exception &e) {
    // A connection that failed once is not trusted again: the next try
    // opens the archive afresh (a server restarted, a disk cleared).
    archives_.erase(job.Archive);
    result.Kind = TArchiveJobResult::TKind::Failed;
    result.Message = e.what();
  }
  return result;
}

TArchiveJobResult TArchiveQueueFlush::Store(const TArchiveJob &job) {
  TArchiveJobResult result = Keep(job, std::string());
  Forget();
  return result;
}

void TArchiveQueueFlush::Pass(const TReport &report, const std::function<bool()> &stop, const std::string &mine) {
  // Closed at the end: an archive file removed or replaced meanwhile would
  // otherwise take the next jobs into a file nobody sees any more.
  struct TClose {
    TArchiveQueueFlush &Flush;
    ~TClose() { Flush.Forget(); }
  } close{*this};
  // Archives that failed in this pass, with why.
  std::map<std::string, std::string> failed;
  for (const std::string &id : queue_.Pending()) {
    if (stop && stop()) return;
    TArchiveJobResult result;
    result.Job = id;
    std::optional<TArchiveQueue::TClaim> claim;
    try {
      claim = queue_.Claim(id, id == mine);
    } catch (const EArchiveError &e) {
      result.Message = e.Message();
      report(result);
      continue;
    }
    if (!claim) {
      if (id == mine) {
        // Stored by another program while this one waited for it.
        result.Kind = TArchiveJobResult::TKind::Kept;
        report(result);
      }
      continue;
    }
    TArchiveJob job;
    try {
      job = DecodeArchiveJob(claim->Text());
    } catch (const EArchiveError &e) {
      result.Kind = TArchiveJobResult::TKind::SetAside;
      result.Message = "\"" + queue_.PathOf(id) + "\" de la cola del archivo histórico está dañado (";
      result.Message += e.Message();
      try {
        const std::string aside = queue_.SetAside(*claim);
        result.Message += "): no se guardó; quedó apartado en \"";
        result.Message += aside;
        result.Message += "\".";
      } catch (const EArchiveError &moving) {
        result.Message += "). ";
        result.Message += moving.Message();
      }
      report(result);
      continue;
    }
    const auto earlier = failed.find(job.Archive);
    if (earlier != failed.end()) {
      result.Archive = ArchiveDisplayName(job.Archive);
      result.Message = earlier->second;
      report(result);
      continue;
    }
    result = Keep(job, id);
    if (result.Kind == TArchiveJobResult::TKind::Kept) {
      try {
        queue_.Done(*claim);
      } catch (const EArchiveError &) {
        // Left in the queue, it is stored again later and adds nothing.
      }
    } else {
      failed[job.Archive] = result.Message;
    }
    report(result);
  }
}

TArchiveWriter::TArchiveWriter(std::string address, TArchiveQueue queue, TResultHandler onResult,
                               std::chrono::milliseconds retry)
    : queue_(std::move(queue)), onResult_(std::move(onResult)), retry_(retry), address_(std::move(address)) {
  thread_ = std::thread([this] { Run(); });
}

TArchiveWriter::~TArchiveWriter() { Shutdown(); }

std::string TArchiveWriter::Address() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return address_;
}

void TArchiveWriter::SetAddress(std::string address) {
  const std::lock_guard<std::mutex> lock(mutex_);
  address_ = std::move(address);
}

std::string TArchiveWriter::Submit(TArchiveJob job) {
  job.Archive = Address();
  std::string id;
  std::string queueError;
  try {
    id = queue_.Put(job);
  } catch (const EArchiveError &e) {
    queueError = e.Message();
  }
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (id.empty()) inMemory_.push_back(TInMemory{std::move(job), queueError});
    requested_ = true;
  }
  wake_.notify_one();
  return id;
}

void TArchiveWriter::Flush() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    requested_ = true;
  }
  wake_.notify_one();
}

void TArchiveWriter::Shutdown() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void TArchiveWriter::Run() {
  // Its archives live and die on this thread: a connection belongs to the
  // thread that made it.
  TArchiveQueueFlush flush(queue_);
  const auto stopping = [this] {
    const std::lock_guard<std::mutex> lock(mutex_);
    return stop_;
  };
  const auto report = [this](const TArchiveJobResult &result) {
    if (onResult_) onResult_(result);
  };
  for (;;) {
    std::deque<TInMemory> memory;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      const auto due = [this] { return stop_ || requested_; };
      if (retry_.count() > 0) {
        // A timed-out wait is the periodic retry.
        wake_.wait_for(lock, retry_, due);
      } else {
        wake_.wait(lock, due);
      }
      if (stop_) return;
      requested_ = false;
      memory.swap(inMemory_);
    }
    flush.Pass(report, stopping);
    while (!memory.empty()) {
      if (stopping()) return;
      TArchiveJobResult result = flush.Store(memory.front().Job);
      if (result.Kind != TArchiveJobResult::TKind::Kept) {
        result.Message += " Tampoco se pudo dejar en la cola: " + memory.front().QueueError;
        {
          const std::lock_guard<std::mutex> lock(mutex_);
          // Tried again at the next pass, ahead of anything newer.
          inMemory_.insert(inMemory_.begin(), memory.begin(), memory.end());
        }
        report(result);
        break;
      }
      memory.pop_front();
      report(result);
    }
  }
}
