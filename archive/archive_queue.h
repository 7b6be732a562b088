#pragma once

// What waits for the archive: downloads (and batches of live readings) kept
// one file per job in the user's state folder, written whole before the
// archive is tried and removed only once the archive has committed them. A
// program killed, a disk full or a server down loses nothing: the next
// program that opens the archive finds the job and stores it, and storing a
// job the archive in fact already took adds nothing (its dedupe).
//
// Several programs share the folder (the window, talvex-cli, a recording):
// a job being stored is locked, so two of them never store it at once.

#include "archive/archive.h"

#include <optional>
#include <string>
#include <vector>

struct TArchiveJob {
  // The archive the job goes to, as the user gave it; empty: the user's own.
  std::string Archive;
  // Empty: the name the archive remembers for Port when it is stored, else
  // the port's name.
  std::string Logger;
  std::string Port;
  TArchiveOrigin Origin;
  std::vector<TArchiveRecord> Records;
};

// The job as its file holds it, and back. The decoding raises EArchiveError
// saying what is wrong with a text that is not a whole job.
std::string EncodeArchiveJob(const TArchiveJob &job);
TArchiveJob DecodeArchiveJob(const std::string &text);

// The name a job is kept under in `archive`: its own, else the one the
// archive remembers for its port, else the port's name.
std::string ArchiveJobLogger(TArchive &archive, const TArchiveJob &job);

// talvex/cola in the user's state folder ($XDG_STATE_HOME, else
// ~/.local/state).
std::string DefaultArchiveQueueFolder();

class TArchiveQueue {
public:
  // The folder is made when the first job is put.
  explicit TArchiveQueue(std::string folder = DefaultArchiveQueueFolder());

  const std::string &Folder() const { return folder_; }

  // Writes the job to its own file (a temporary one, synced, renamed) and
  // returns its id. Raises EArchiveError for a job that could never be
  // stored (no name nor port, an instant off the calendar) and when the
  // file cannot be written; then nothing of it is left in the folder.
  std::string Put(const TArchiveJob &job);

  // The ids of the jobs waiting, oldest first.
  std::vector<std::string> Pending() const;
  std::string PathOf(const std::string &id) const;

  // A job taken for storing: its file stays locked until Done or until the
  // claim goes.
  class TClaim {
  public:
    TClaim() = default;
    TClaim(TClaim &&other) noexcept;
    TClaim &operator=(TClaim &&other) noexcept;
    TClaim(const TClaim &) = delete;
    TClaim &operator=(const TClaim &) = delete;
    ~TClaim();

    const std::string &Id() const { return id_; }
    const std::string &Text() const { return text_; }

  private:
    friend class TArchiveQueue;
    std::string id_, text_;
    int fd_ = -1;
  };
  // The job's file locked and read. Empty when it is gone, or when another
  // program holds it and `wait` is false (with `wait`, until it lets go).
  // Raises EArchiveError when the file cannot be read.
  std::optional<TClaim> Claim(const std::string &id, bool wait = false) const;
  // The archive committed the job: its file goes.
  void Done(TClaim &claim) const;
  // A job file that does not read as a job is moved to the "apartados"
  // folder beside the queue, never deleted; returns where it went.
  std::string SetAside(TClaim &claim) const;

private:
  std::string folder_;
};
