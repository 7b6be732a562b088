#pragma once

// Storing what waits in the queue. An archive is opened when a job needs it
// and closed when the pass ends. TArchiveQueueFlush does it on the
// calling thread (talvex-cli, which has nothing else to do meanwhile);
// TArchiveWriter on a thread of its own, so a window never waits on an
// archive: a server that does not answer or a disk that is slow holds up
// the writer only.

#include "archive/archive.h"
#include "archive/archive_queue.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

struct TArchiveJobResult {
  enum class TKind {
    Kept,     // the archive committed it (or another program did)
    Failed,   // the archive could not take it: it waits in the queue
    SetAside  // its file does not read as a job: moved aside, not stored
  };
  TKind Kind = TKind::Failed;
  std::string Job;      // its id in the queue; empty for one the queue could not take
  std::string Archive;  // the archive as messages name it
  std::string Logger;   // the name it was kept under
  // What the job held, once it was read: jobs the queue could not take
  // have no id, and a recorder tells its own from a download's by this.
  TOriginKind Origin = TOriginKind::Download;
  TStoreResult Stored;
  // Failed and SetAside: what went wrong, naming the archive or the file.
  std::string Message;
};

// The archive an address names, as messages name it; the address itself
// when it names nothing usable.
std::string ArchiveDisplayName(const std::string &address);

class TArchiveQueueFlush {
public:
  explicit TArchiveQueueFlush(TArchiveQueue queue);
  ~TArchiveQueueFlush();
  TArchiveQueueFlush(const TArchiveQueueFlush &) = delete;
  TArchiveQueueFlush &operator=(const TArchiveQueueFlush &) = delete;

  using TReport = std::function<void(const TArchiveJobResult &)>;
  // Every job waiting, oldest first, into the archive it names; `report`
  // hears of each. Once an archive fails, its later jobs wait for the next
  // pass (the archive must take them in their order). `stop`, asked between
  // jobs, ends the pass early. The job `mine`, when another program is
  // storing it, is waited for instead of passed over.
  void Pass(const TReport &report, const std::function<bool()> &stop = nullptr, const std::string &mine = {});
  // A job the queue could not take, stored straight away.
  TArchiveJobResult Store(const TArchiveJob &job);
  // Lets go of the archives opened; each pass and each Store ends with it.
  void Forget();

  const TArchiveQueue &Queue() const { return queue_; }

private:
  TArchive &Open(const std::string &address);
  TArchiveJobResult Keep(const TArchiveJob &job, const std::string &id);

  TArchiveQueue queue_;
  std::map<std::string, std::unique_ptr<TArchive>> archives_;
};

class TArchiveWriter {
public:
  using TResultHandler = std::function<void(const TArchiveJobResult &)>;
  // Jobs submitted go to the archive at `address` (empty: the user's own).
  // `onResult` hears of every job on the writer's thread: post it on to
  // yours. With a `retry` interval, the queue is tried again that often
  // while anything waits in it. A first pass starts at once: what earlier
  // runs left behind goes in.
  TArchiveWriter(std::string address, TArchiveQueue queue, TResultHandler onResult,
                 std::chrono::milliseconds retry = std::chrono::milliseconds(0));
  ~TArchiveWriter();
  TArchiveWriter(const TArchiveWriter &) = delete;
  TArchiveWriter &operator=(const TArchiveWriter &) = delete;

  std::string Address() const;
  void SetAddress(std::string address);

  // Puts the job in the queue and returns its id at once, the archive's
  // write left to the writer. When the queue cannot take it (a full disk),
  // it is kept in memory and tried all the same, and the id is empty.
  std::string Submit(TArchiveJob job);
  // Asks for a pass over the queue.
  void Flush();
  // Ends the thread once the job in hand is through; what has not been
  // stored stays in the queue for the next program.
  void Shutdown();

private:
  void Run();

  TArchiveQueue queue_;
  TResultHandler onResult_;
  std::chrono::milliseconds retry_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::string address_;
  bool requested_ = true;
  bool stop_ = false;
  struct TInMemory {
    TArchiveJob Job;
    std::string QueueError;
  };
  std::deque<TInMemory> inMemory_;
  std::thread thread_;
};
