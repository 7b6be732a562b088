#pragma once

// Every download the data window decodes goes into the history archive
// without the user doing anything and without the window waiting: it is put
// in the queue on disk and stored by the archive's writer on its own thread.
// What the writer says comes back to the UI thread. A failure is told once
// per spell of failures of that archive, in a note that stands beside the
// windows instead of stopping them; the download stays in the data window as
// always and waits in the queue, which is tried again every minute, at each
// new download and at the next start.

#include "archive/archive_queue.h"
#include "archive/archive_writer.h"
#include "data/data_table.h"

#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>

class QObject;
class QWidget;

class TDownloadArchive {
public:
  explicit TDownloadArchive(TArchiveQueue queue = TArchiveQueue(),
                            std::chrono::milliseconds retry = std::chrono::minutes(1));
  ~TDownloadArchive();
  TDownloadArchive(const TDownloadArchive &) = delete;
  TDownloadArchive &operator=(const TDownloadArchive &) = delete;

  // Rows 1 to `records` of a decoded download received on `port`, under the
  // name the archive remembers for the port, else the port's name. Returns
  // at once with the job's id in the queue (empty when it did not go in
  // there); never throws (a download that cannot be archived is a note).
  std::string Keep(const TDataTable &table, int records, const std::string &port);
  // A batch of live readings, from any thread (the queue's file is written
  // and synced on the caller's): stored like a download, told apart in the
  // notes. Returns the job's id, empty when the queue could not take it.
  std::string KeepLive(TArchiveJob job);
  // Points the writer at the archive the settings name now (window thread).
  void FollowConfiguredArchive();

  // Shows a note; by default a message box that blocks nothing, in front of
  // `NoteOwner()`. Tests read the text instead.
  std::function<void(const QString &text)> ShowNote;
  std::function<QWidget *()> NoteOwner;
  // Told of every result once it is handled, on the UI thread.
  std::function<void(const TArchiveJobResult &result)> OnResult;

private:
  void Handle(const TArchiveJobResult &result);
  void Note(const QString &text);

  std::string queueFolder_;
  // Archives whose failure was told and that have not taken a job since.
  std::set<std::string> failing_;
  // The jobs this program put in the queue (others come from earlier runs).
  std::set<std::string> ownJobs_;
  // The live batches in the queue; KeepLive adds to it from its thread.
  std::mutex liveMutex_;
  std::set<std::string> liveJobs_;
  std::unique_ptr<QObject> context_;
  // Last, so that it goes first: its thread posts to the context.
  std::unique_ptr<TArchiveWriter> writer_;
};
