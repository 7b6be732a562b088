#pragma once

// The history archive: every download, imported file and live reading kept
// per logger, on SQLite (a file) or PostgreSQL (a server shared by several
// PCs). This is the only code of the program that speaks SQL.
//
// A record is the same record when its logger, instant and values are the
// same: it is stored once, however often it comes. A record whose instant is
// already held with other values (the clock was set back and the memory
// filled again) is kept beside the first as another version of that instant,
// tied to its own origin. Nothing that differs is dropped.
//
// Instants are the logger's civil time, as its records carry them (live
// readings add the PC's UTC time they were taken at); values are
// whole tenths of a degree, a missing value is kept as missing.
//
// Outside tools read the view v_registros(registrador, instante, origen,
// canal, valor): one row per channel reading, `origen` "memoria" or
// "en_vivo", `valor` in degrees. Tables may change; the view does not.
//
// Alarm events (archive_alarms.h) are found as records are stored, in the
// same transaction, on the first version of each instant: versions beside
// are another pass of the logger's clock over the same time, and read in
// with the first they would tell of readings out of order. Only the
// stretch around what came new is looked at again, per channel from the
// last reading before it back inside by the hysteresis to the first such
// reading after it, so the events held are always those of one pass over
// the whole history, however the records came. Outside tools read them in
// the view v_alarmas.
//
// One instance is one connection, used from the thread that made it.

#include "archive/archive_alarms.h"
#include "data/data_table.h"
#include "data/record_values.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The schema this program writes. An archive of a later one is opened for
// reading only.
constexpr int kArchiveSchemaVersion = 4;

enum class TOriginKind { Download, FileImport, Live };
// How the archive and the queue's files name a kind: "descarga",
// "archivo", "en_vivo".
const char *OriginKindWord(TOriginKind kind);

struct TArchiveRecord {
  TStamp Instant;
  std::array<std::optional<std::int32_t>, 16> Values;  // tenths, CH1 to CH16
  // A live reading: the PC's clock when it was taken, seconds since 1970
  // UTC. 0 for a record from the logger's memory. Not part of what makes a
  // record the same record.
  std::int64_t PcTimeUtc = 0;
  // Filled when read back: where the record came from, and which version of
  // its instant it is (0 the first held, 1 and on the ones kept beside it).
  std::int64_t Origin = 0;
  int Version = 0;
};

struct TArchiveOrigin {
  TOriginKind Kind = TOriginKind::Download;
  std::string FileName;        // the imported file, else empty
  std::int64_t PcTimeUtc = 0;  // seconds since 1970 UTC; 0: now
};

// What one download did to the archive.
struct TStoreResult {
  int Added = 0;            // records new to the archive, versions beside included
  int Beside = 0;           // of those, kept beside another version of their instant
  int AlreadyHeld = 0;      // records the archive had already
  std::int64_t Origin = 0;  // the origin the added records are tied to; 0 if none
  // Alarm events new to the archive with this store (found again after a
  // re-find, e.g. the same one with a later end, not counted), so a caller
  // can tell the user what happened while nobody watched.
  std::vector<TAlarmEvent> EventsStarted;
};

// A reading drawn: seconds from 1 January 2000, 00:00, on the logger's own
// clock (as the chart's time axis counts them), and the value in tenths.
struct TOutlinePoint {
  double Seconds = 0;
  std::int32_t Value = 0;
};

// A range as a chart of `columns` pixel columns draws it. Column c holds
// the instants t (whole seconds) with (t - from) * columns / (to - from + 1)
// == c. Each channel gets, per column, its first, lowest, highest and last
// reading (fewer when they coincide), in instant order: a line through them
// is the line through every reading, pixel for pixel, spikes included.
struct TArchiveOutline {
  std::int64_t Records = 0;  // records in the range, versions beside included
  std::array<std::vector<TOutlinePoint>, 16> Channels;
};

struct TArchivedLogger {
  std::string Name;
  std::string Port;  // where it was last seen; empty if never
  std::int64_t Records = 0;
  std::optional<TStamp> First, Last;
};

class TArchive {
public:
  // Opens (and on first use makes) the archive `address` names: a SQLite
  // file path, "sqlite:PATH", or "postgresql://user@host:port/database";
  // empty for the user's own archive (DefaultArchivePath()). An older archive
  // is brought to this program's schema at once. Raises EArchiveError when
  // it cannot be opened or is not an archive.
  explicit TArchive(const std::string &address = std::string());
  ~TArchive();
  TArchive(const TArchive &) = delete;
  TArchive &operator=(const TArchive &) = delete;

  // The archive as messages name it (never with a password).
  const std::string &Name() const;
  int SchemaVersion() const;
  // True for an archive of a later schema: every write raises, saying why.
  bool ReadOnly() const;

  // Keeps `records` under `logger` in one transaction: all or nothing.
  // `port`, when given, is remembered as where the logger was last seen.
  TStoreResult StoreRecords(const std::string &logger, const std::string &port, const TArchiveOrigin &origin,
                            const std::vector<TArchiveRecord> &records);
  // The same for rows 1 to `records` of a table as the data folder fills it
  // (a decoded download or an opened file).
  TStoreResult StoreTable(const std::string &logger, const std::string &port, const TArchiveOrigin &origin,
                          const TDataTable &table, int records);

  // Records the logger, or learns the port it is on now. No other logger
  // keeps that port.
  void SeeLogger(const std::string &logger, const std::string &port);
  // A new name for a logger; its history goes with it. Raises if `from` is
  // not in the archive or `to` is already taken.
  void RenameLogger(const std::string &from, const std::string &to);
  // The name of the logger last seen on `port`.
  std::optional<std::string> LoggerOnPort(const std::string &port);
  std::vector<TArchivedLogger> Loggers();

  // The logger's records from `from` to `to`, both included, in instant
  // order (the versions of one instant in the order they came). Raises for a
  // logger not in the archive.
  std::vector<TArchiveRecord> Records(const std::string &logger, const TStamp &from, const TStamp &to);
  // The same a slice at a time (at most `slice` records each), without
  // holding them all: `take` returning false stops the read. `take` may
  // keep a slice by moving it away.
  void ReadRecords(const std::string &logger, const TStamp &from, const TStamp &to,
                   const std::function<bool(std::vector<TArchiveRecord> &)> &take, int slice = 8192);
  // The range drawn on `columns` pixel columns (at least 1). A wide range
  // is read mostly from summaries kept at coarser steps, with the same
  // result as from every record.
  TArchiveOutline Outline(const std::string &logger, const TStamp &from, const TStamp &to, int columns);
  std::int64_t Count(const std::string &logger, const TStamp &from, const TStamp &to);
  // The first and last instant held; empty for a logger with no records.
  std::optional<std::pair<TStamp, TStamp>> Span(const std::string &logger);
  // The instants in the range that hold more than one version.
  std::vector<TStamp> InstantsWithVersions(const std::string &logger, const TStamp &from, const TStamp &to);

  // Alarm limits of the logger's 16 channels (no limits for a logger not in
  // the archive).
  TAlarmLimitSet AlarmLimits(const std::string &logger);
  // Sets one channel's limits (0 to 15), making the logger if new, and finds
  // that channel's events again over the logger's whole history. Raises
  // EArchiveError with AlarmLimitsProblem()'s text for limits that cannot
  // be, or for a channel outside 0 to 15; then nothing changes.
  // Acknowledged events are never changed or dropped.
  void SetAlarmLimits(const std::string &logger, int channel, const TAlarmLimits &limits);
  // The logger's events that overlap `from` to `to` (an open one reaches to
  // the end of its data), in the order they began. Empty for a logger not
  // in the archive.
  std::vector<TArchivedAlarmEvent> AlarmEvents(const std::string &logger, const TStamp &from, const TStamp &to);
  // Acknowledges the event, at the PC's time now, with `comment` (not
  // blank) under `user`. Raises for an unknown event or a blank comment.
  void AcknowledgeAlarmEvent(std::int64_t id, const std::string &user, const std::string &comment);

private:
  struct TState;
  std::unique_ptr<TState> S_;
};

// Rows 1 to `records` of a data table as archive records. Raises
// EArchiveError naming the record for a date or time that is not on the
// calendar or a value that is not a temperature; an empty cell is a missing
// value.
std::vector<TArchiveRecord> RecordsFromTable(const TDataTable &table, int records);

// Records as the data window, its statistics and the graph read them:
// captions in row 0, running numbers in column 0, the program's date, time
// and temperature texts in columns 1 to 18.
TDataTable RecordsTable(const std::vector<TArchiveRecord> &records);
