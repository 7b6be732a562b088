#include "archive/archive.h"

#include "archive/archive_address.h"
#include "archive/archive_alarm_store.h"
#include "archive/archive_dialect.h"
#include "archive/archive_error.h"
#include "archive/archive_rows.h"
#include "archive/archive_summary.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <limits>
#include <map>
#include <set>

namespace {

constexpr int kValues = 16;

// Instants are kept as seconds since 1970 of the logger's own clock, so
// the engines' date functions read them (the view shows them that way).
std::int64_t EpochSeconds(const TStamp &s) {
  static const std::int64_t epoch = StampSeconds(TStamp{1970, 1, 1, 0, 0, 0});
  return StampSeconds(s) - epoch;
}

TStamp StampOfEpoch(std::int64_t seconds) {
  static const std::int64_t epoch = StampSeconds(TStamp{1970, 1, 1, 0, 0, 0});
  return StampFromSeconds(seconds + epoch);
}

QString ValueColumns() {
  QString columns;
  for (int k = 1; k <= kValues; ++k) columns += QString(k == 1 ? "c%1" : ", c%1").arg(k);
  return columns;
}

using TValues = std::array<std::optional<std::int32_t>, 16>;

// The first version of the schema: loggers, the origins of what was kept
// (a download, an imported file, live readings), the records, and the view
// outside tools read.
QStringList SchemaVersion1(const TArchiveDialect &dialect) {
  QStringList s;
  s << "CREATE TABLE esquema (version INTEGER NOT NULL)";
  s << "INSERT INTO esquema (version) VALUES (0)";
  s << "CREATE TABLE registradores (id " + dialect.KeyColumn() + ", nombre TEXT NOT NULL UNIQUE, puerto TEXT)";
  s << "CREATE TABLE origenes (id " + dialect.KeyColumn() +
           ", registrador BIGINT NOT NULL REFERENCES registradores (id), tipo TEXT NOT NULL CHECK (tipo IN "
           "('descarga', 'archivo', 'en_vivo')), hora_pc BIGINT NOT NULL, archivo TEXT)";
  s << "CREATE INDEX origenes_registrador ON origenes (registrador)";
  QString values;
  for (int k = 1; k <= kValues; ++k) values += QString(", c%1 INTEGER").arg(k);
  s << "CREATE TABLE registros (registrador BIGINT NOT NULL REFERENCES registradores (id), instante BIGINT NOT NULL, "
       "variante INTEGER NOT NULL, origen BIGINT NOT NULL REFERENCES origenes (id)" +
           values + ", PRIMARY KEY (registrador, instante, variante))" + dialect.TableSuffix();
  s << "CREATE TABLE canales (canal INTEGER PRIMARY KEY)";
  for (int k = 1; k <= kValues; ++k) s << QString("INSERT INTO canales (canal) VALUES (%1)").arg(k);
  // Degrees with the one decimal the logger resolves, on both engines (a
  // server would otherwise show twenty).
  QString value = "CASE c.canal";
  for (int k = 1; k <= kValues; ++k) value += QString(" WHEN %1 THEN r.c%1").arg(k);
  value += " END";
  s << "CREATE VIEW v_registros (registrador, instante, origen, canal, valor) AS SELECT g.nombre, " +
           dialect.InstantExpression("r.instante") +
           ", CASE o.tipo WHEN 'en_vivo' THEN 'en_vivo' ELSE 'memoria' END, c.canal, ROUND((" + value +
           ") / 10.0, 1) FROM registros r JOIN registradores g ON g.id = r.registrador JOIN origenes o ON o.id = "
           "r.origen CROSS JOIN canales c WHERE (" +
           value + ") IS NOT NULL";
  return s;
}

// The second: summaries of the records at coarser steps, one row per
// logger, step and bucket, the sixteen channels packed in one byte string
// (see archive_summary.h); filled from the records already held.
QStringList SchemaVersion2(const TArchiveDialect &dialect) {
  return {
      "CREATE TABLE resumenes (registrador BIGINT NOT NULL REFERENCES registradores (id), paso INTEGER NOT NULL, "
      "inicio BIGINT NOT NULL, datos " +
      dialect.BytesType() + " NOT NULL, PRIMARY KEY (registrador, paso, inicio))" + dialect.TableSuffix()};
}

// The third: each live reading keeps the PC's UTC time it was taken at
// beside the logger's own; records from the memory leave it empty. A column
// added at the end costs old rows nothing and leaves the view as it was.
QStringList SchemaVersion3() { return {"ALTER TABLE registros ADD COLUMN hora_pc BIGINT"}; }

std::atomic<unsigned> gConnections{0};

}  // namespace

struct TArchive::TState {
  TArchiveAddress Address;
  TArchiveDialect Dialect;
  QString Connection;
  QSqlDatabase Db;
  int Version = 0;
  bool ReadOnly = false;
  TArchiveRows Rows;

  [[noreturn]] void Fail(const std::string &what, const QSqlError &error) const {
    throw EArchiveError(what + " en el archivo histórico \"" + Address.Name + "\": " + Dialect.Reason(error) + ".");
  }

  // Statements prepared inside a write live until it ends: a server frees
  // a statement only outside a failed transaction, so those of a write that
  // failed are let go after its rollback.
  std::vector<QSqlQuery> WriteStatements;
  bool Writing = false;

  QSqlQuery Prepare(const QString &sql) {
    QSqlQuery q(Db);
    q.setForwardOnly(true);
    if (!q.prepare(sql)) Fail("No se pudo preparar una consulta", q.lastError());
    if (Writing) WriteStatements.push_back(q);
    return q;
  }

  void Run(QSqlQuery &q, const char *what) const {
    if (!q.exec()) Fail(what, q.lastError());
  }

  void Exec(const QString &sql, const char *what) const {
    QSqlQuery q(Db);
    if (!q.exec(sql)) Fail(what, q.lastError());
  }

  // Rows read the fast way (archive_rows.h).
  void Select(const QString &sql, const std::vector<std::int64_t> &parameters, const char *what,
              const std::function<bool(const TRowView &)> &row) {
    if (const std::optional<QSqlError> error = Rows.Select(sql, parameters, row)) Fail(what, *error);
  }

  void Close() {
    Rows.Detach();
    Db.close();
    Db = QSqlDatabase();
    QSqlDatabase::removeDatabase(Connection);
  }

  void CheckWritable() const {
    if (!ReadOnly) return;
    throw EArchiveError("El archivo histórico \"" + Address.Name +
                        "\" es de una versión más nueva del programa (esquema " + std::to_string(Version) +
                        "; este programa escribe el " + std::to_string(kArchiveSchemaVersion) +
                        "): solo se puede leer. Actualice el programa para guardar en él.");
  }

  // Results still open would keep the engine from ending the transaction.
  void FinishStatements() {
    for (QSqlQuery &q : WriteStatements) q.finish();
  }

  void Rollback() {
    FinishStatements();
    QSqlQuery(Db).exec("ROLLBACK");
    EndWrite();
  }

  void EndWrite() {
    Writing = false;
    WriteStatements.clear();
  }

  // Runs `work` inside one write transaction: all of it or nothing.
  template <typename F>
  auto Write(F work) -> decltype(work()) {
    Writing = true;
    for (const QString &sql : Dialect.BeginWrite()) {
      QSqlQuery q(Db);
      if (!q.exec(sql)) {
        const QSqlError error = q.lastError();
        Rollback();
        Fail("No se pudo empezar a escribir", error);
      }
    }
    try {
      auto result = work();
      FinishStatements();
      QSqlQuery commit(Db);
      if (!commit.exec("COMMIT")) {
        const QSqlError error = commit.lastError();
        Rollback();
        Fail("No se pudo terminar de escribir", error);
      }
      EndWrite();
      return result;
    } catch (...) {
      if (Writing) Rollback();
      throw;
    }
  }

  int ReadVersion() const {
    QSqlQuery q(Db);
    if (!q.exec("SELECT version FROM esquema") || !q.next()) Fail("No se pudo leer la versión", q.lastError());
    return q.value(0).toInt();
  }

  bool HasSchemaTable() const {
    const QStringList tables = Db.tables(QSql::Tables);
    return tables.contains("esquema", Qt::CaseInsensitive);
  }

  // The engine's own catalogue does not count: a new SQLite file lists it.
  bool IsEmpty() const { return Db.tables(QSql::Tables).isEmpty() && Db.tables(QSql::Views).isEmpty(); }

  void RefuseForeign() const {
    throw EArchiveError("\"" + Address.Name +
                        "\" no es un archivo histórico de este programa: tiene tablas pero no su versión de esquema.");
  }

  // Brings an empty or older archive to this program's schema, in one
  // transaction; another program may be doing the same at this moment, so
  // what to do is decided again under the write lock.
  void Migrate() {
    Write([this] {
      int version = 0;
      if (HasSchemaTable()) {
        version = ReadVersion();
      } else if (!IsEmpty()) {
        RefuseForeign();
      }
      if (version >= kArchiveSchemaVersion) {
        Version = version;
        return 0;
      }
      if (version < 1) {
        for (const QString &sql : SchemaVersion1(Dialect)) Exec(sql, "No se pudo preparar el esquema");
      }
      if (version < 2) {
        for (const QString &sql : SchemaVersion2(Dialect)) Exec(sql, "No se pudo preparar el esquema");
        SummarizeHeldRecords();
      }
      // An archive made by hand from a later one may have the column
      // already.
      if (version < 3 && !Db.record("registros").contains("hora_pc")) {
        for (const QString &sql : SchemaVersion3()) Exec(sql, "No se pudo preparar el esquema");
      }
      if (version < 4 && !Db.tables(QSql::Tables).contains("alarma_eventos", Qt::CaseInsensitive)) {
        for (const QString &sql : AlarmSchema(Dialect)) Exec(sql, "No se pudo preparar el esquema");
      }
      Exec(QString("UPDATE esquema SET version = %1").arg(kArchiveSchemaVersion), "No se pudo anotar la versión");
      Version = kArchiveSchemaVersion;
      return 0;
    });
  }

  std::optional<std::int64_t> LoggerId(const std::string &name) {
    QSqlQuery q = Prepare("SELECT id FROM registradores WHERE nombre = ?");
    q.addBindValue(QString::fromStdString(name));
    Run(q, "No se pudieron leer los registradores");
    if (!q.next()) return std::nullopt;
    return q.value(0).toLongLong();
  }

  std::int64_t RequireLogger(const std::string &name) {
    const std::optional<std::int64_t> id = LoggerId(name);
    if (!id) {
      throw EArchiveError("No hay ningún registrador llamado \"" + name + "\" en el archivo histórico \"" +
                          Address.Name + "\".");
    }
    return *id;
  }

  // Inside a write: the logger's id, made if new, with the port it is on.
  std::int64_t TouchLogger(const std::string &name, const std::string &port) {
    if (name.empty()) throw EArchiveError("El registrador necesita un nombre para guardarse en el archivo histórico.");
    std::optional<std::int64_t> id = LoggerId(name);
    if (!id) {
      QSqlQuery q = Prepare("INSERT INTO registradores (nombre) VALUES (?) RETURNING id");
      q.addBindValue(QString::fromStdString(name));
      Run(q, "No se pudo anotar el registrador");
      if (!q.next()) Fail("No se pudo anotar el registrador", q.lastError());
      id = q.value(0).toLongLong();
    }
    if (!port.empty()) {
      // A port holds one logger at a time: the one seen there last.
      QSqlQuery clear = Prepare("UPDATE registradores SET puerto = NULL WHERE puerto = ? AND id <> ?");
      clear.addBindValue(QString::fromStdString(port));
      clear.addBindValue(QVariant::fromValue<qlonglong>(*id));
      Run(clear, "No se pudo anotar el puerto");
      QSqlQuery set = Prepare("UPDATE registradores SET puerto = ? WHERE id = ?");
      set.addBindValue(QString::fromStdString(port));
      set.addBindValue(QVariant::fromValue<qlonglong>(*id));
      Run(set, "No se pudo anotar el puerto");
    }
    return *id;
  }

  // The summaries of every record already held, level by level, as an
  // archive of the first schema is brought to the second.
  void SummarizeHeldRecords() {
    std::vector<std::int64_t> loggers;
    Select("SELECT id FROM registradores ORDER BY id", {}, "No se pudieron leer los registradores",
           [&](const TRowView &row) {
             loggers.push_back(row.Int(0));
             return true;
           });
    for (const std::int64_t logger : loggers) {
      std::array<TLevel, kSummaryLevels> levels;
      std::optional<std::int64_t> oldest, newest;
      Select("SELECT MIN(instante), MAX(instante) FROM registros WHERE registrador = ?", {logger},
             "No se pudieron leer los registros", [&](const TRowView &row) {
               if (!row.Null(0)) {
                 oldest = row.Int(0);
                 newest = row.Int(1);
               }
               return false;
             });
      // A month at a time: a server hands a whole result over at once.
      constexpr std::int64_t kWindow = 31 * 86400;
      for (std::int64_t from = oldest.value_or(0); oldest && from <= *newest; from += kWindow) {
        SummarizeWindow(logger, from, from + kWindow, levels);
      }
      for (int level = 0; level < kSummaryLevels; ++level) {
        TLevel &l = levels[static_cast<size_t>(level)];
        if (l.Open) l.Done[l.Start] = l.Current;
        PutSummaries(logger, level, l.Done);
      }
    }
  }

  // Where a level's summaries stand while the records are read in order: a
  // bucket left behind is whole, and is written with the others of its
  // window.
  struct TLevel {
    std::int64_t Start = 0;
    bool Open = false;
    TBucketSummary Current;
    std::map<std::int64_t, TBucketSummary> Done;
  };

  void SummarizeWindow(std::int64_t logger, std::int64_t from, std::int64_t to,
                       std::array<TLevel, kSummaryLevels> &levels) {
    Select("SELECT instante, " + ValueColumns() +
               " FROM registros WHERE registrador = ? AND instante >= ? AND instante < ? ORDER BY instante, variante",
           {logger, from, to}, "No se pudieron leer los registros", [&](const TRowView &row) {
             const std::int64_t t = row.Int(0);
             const TValues values = ReadValues(row, 1);
             for (int level = 0; level < kSummaryLevels; ++level) {
               TLevel &l = levels[static_cast<size_t>(level)];
               const std::int64_t start = BucketStart(t, kSummarySteps[static_cast<size_t>(level)]);
               if (l.Open && start != l.Start) {
                 l.Done[l.Start] = l.Current;
                 l.Current = TBucketSummary();
               }
               l.Start = start;
               l.Open = true;
               l.Current.Add(t, values);
             }
             return true;
           });
    // Written once the read is over: a server's connection streams one
    // result at a time.
    for (int level = 0; level < kSummaryLevels; ++level) {
      TLevel &l = levels[static_cast<size_t>(level)];
      PutSummaries(logger, level, l.Done);
      l.Done.clear();
    }
  }

  // Writes `buckets` of one level, over what was there.
  void PutSummaries(std::int64_t logger, int level, const std::map<std::int64_t, TBucketSummary> &buckets) {
    constexpr size_t kBatch = 64;
    auto at = buckets.begin();
    while (at != buckets.end()) {
      const size_t n = std::min<size_t>(kBatch, static_cast<size_t>(std::distance(at, buckets.end())));
      QString sql = "INSERT INTO resumenes (registrador, paso, inicio, datos) VALUES ";
      for (size_t i = 0; i < n; ++i) sql += i == 0 ? "(?, ?, ?, ?)" : ", (?, ?, ?, ?)";
      sql += " ON CONFLICT (registrador, paso, inicio) DO UPDATE SET datos = excluded.datos";
      QSqlQuery q = Prepare(sql);
      for (size_t i = 0; i < n; ++i, ++at) {
        const std::string bytes = EncodeSummary(at->second, at->first);
        q.addBindValue(QVariant::fromValue<qlonglong>(logger));
        q.addBindValue(QVariant::fromValue<qlonglong>(kSummarySteps[static_cast<size_t>(level)]));
        q.addBindValue(QVariant::fromValue<qlonglong>(at->first));
        q.addBindValue(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
      }
      Run(q, "No se pudo guardar un resumen");
    }
  }

  // The stored summary of a bucket, refused when damaged.
  TBucketSummary ReadSummary(const TRowView &row, int column, std::int64_t start) const {
    const std::string_view bytes = row.Bytes(column);
    std::optional<TBucketSummary> s = DecodeSummary(bytes.data(), bytes.size(), start);
    if (!s) {
      throw EArchiveError("El archivo histórico \"" + Address.Name + "\" tiene un resumen dañado (" +
                          IsoText(StampOfEpoch(start)) + "): no se puede leer.");
    }
    return *s;
  }

  // Brings the summaries of every level up to date with `added`, records
  // just written in the order they came, each the last version of its
  // instant so far.
  void Summarize(std::int64_t logger, const std::vector<std::pair<std::int64_t, const TValues *>> &added) {
    if (added.empty()) return;
    for (int level = 0; level < kSummaryLevels; ++level) {
      const std::int64_t step = kSummarySteps[static_cast<size_t>(level)];
      std::set<std::int64_t> touched;
      for (const auto &r : added) touched.insert(BucketStart(r.first, step));
      std::map<std::int64_t, TBucketSummary> buckets;
      // Read a run of neighbouring buckets at a time: a download touches one
      // run; an import of scattered files, a few.
      auto at = touched.begin();
      while (at != touched.end()) {
        const std::int64_t first = *at;
        std::int64_t last = first;
        for (++at; at != touched.end() && *at == last + step; ++at) last = *at;
        Select("SELECT inicio, datos FROM resumenes WHERE registrador = ? AND paso = ? AND inicio BETWEEN ? AND ?",
               {logger, step, first, last}, "No se pudieron leer los resúmenes", [&](const TRowView &row) {
                 const std::int64_t start = row.Int(0);
                 buckets[start] = ReadSummary(row, 1, start);
                 return true;
               });
      }
      for (const auto &r : added) buckets[BucketStart(r.first, step)].Add(r.first, *r.second);
      PutSummaries(logger, level, buckets);
    }
  }

  // The pieces of an outline read forty at a time, one statement
  // for their records and one per level for their summaries: a server would
  // otherwise answer thousands of statements for a year.
  void OutlineInBatches(std::int64_t logger, const std::vector<TOutlinePiece> &pieces, TOutlineBuilder &outline) {
    constexpr size_t kPiecesPerBatch = 40;
    for (size_t first = 0; first < pieces.size(); first += kPiecesPerBatch) {
      const size_t end = std::min(pieces.size(), first + kPiecesPerBatch);
      // Each read in instant order; the pieces then take from them in turn.
      std::vector<TOutlineRecord> records;
      std::array<std::vector<std::pair<std::int64_t, TBucketSummary>>, kSummaryLevels> summaries;
      for (int level = -1; level < kSummaryLevels; ++level) {
        // One index range scan each, joined in instant order.
        QString sql;
        std::vector<std::int64_t> parameters;
        for (size_t i = first; i < end; ++i) {
          if (pieces[i].Level != level) continue;
          if (!sql.isEmpty()) sql += " UNION ALL ";
          if (level < 0) {
            sql += "(SELECT instante, variante, " + ValueColumns() +
                   " FROM registros WHERE registrador = ? AND instante >= ? AND instante < ?)";
            parameters.insert(parameters.end(), {logger, pieces[i].Start, pieces[i].End});
          } else {
            sql +=
                "(SELECT inicio, datos FROM resumenes WHERE registrador = ? AND paso = ? AND inicio >= ? AND "
                "inicio < ?)";
            parameters.insert(parameters.end(),
                              {logger, kSummarySteps[static_cast<size_t>(level)], pieces[i].Start, pieces[i].End});
          }
        }
        if (sql.isEmpty()) continue;
        if (level < 0) {
          Select(sql + " ORDER BY instante, variante", parameters, "No se pudieron leer los registros",
                 [&](const TRowView &row) {
                   records.push_back(TOutlineRecord{row.Int(0), ReadValues(row, 2)});
                   return true;
                 });
        } else {
          Select(sql + " ORDER BY inicio", parameters, "No se pudieron leer los resúmenes", [&](const TRowView &row) {
            const std::int64_t bucket = row.Int(0);
            summaries[static_cast<size_t>(level)].emplace_back(bucket, ReadSummary(row, 1, bucket));
            return true;
          });
        }
      }
      size_t nextRecord = 0;
      std::array<size_t, kSummaryLevels> nextSummary{};
      for (size_t i = first; i < end; ++i) {
        const TOutlinePiece &piece = pieces[i];
        if (piece.Level < 0) {
          for (; nextRecord < records.size() && records[nextRecord].T < piece.End; ++nextRecord) {
            outline.AddRecord(records[nextRecord].T, records[nextRecord].Values);
          }
          continue;
        }
        const auto &level = summaries[static_cast<size_t>(piece.Level)];
        size_t &next = nextSummary[static_cast<size_t>(piece.Level)];
        for (; next < level.size() && level[next].first < piece.End; ++next) {
          outline.AddSummary(level[next].first, level[next].second);
        }
      }
    }
  }

  // Counting every record of a year takes a second: the daily summaries
  // hold the counts, and the records' key finds each logger's ends at once.
  std::vector<TArchivedLogger> LoggersFromSummaries() {
    std::vector<std::pair<std::int64_t, TArchivedLogger>> loggers;
    QSqlQuery q = Prepare(
        "SELECT g.id, g.nombre, g.puerto, (SELECT MIN(r.instante) FROM registros r WHERE r.registrador = g.id), "
        "(SELECT MAX(r.instante) FROM registros r WHERE r.registrador = g.id) FROM registradores g ORDER BY g.nombre");
    Run(q, "No se pudieron leer los registradores");
    while (q.next()) {
      TArchivedLogger l;
      l.Name = q.value(1).toString().toStdString();
      l.Port = q.value(2).toString().toStdString();
      if (!q.value(3).isNull()) {
        l.First = StampOfEpoch(q.value(3).toLongLong());
        l.Last = StampOfEpoch(q.value(4).toLongLong());
      }
      loggers.emplace_back(q.value(0).toLongLong(), l);
    }
    q.finish();
    const std::int64_t day = kSummarySteps[kSummaryLevels - 1];
    std::vector<TArchivedLogger> out;
    for (auto &[id, l] : loggers) {
      Select("SELECT inicio, datos FROM resumenes WHERE registrador = ? AND paso = ?", {id, day},
             "No se pudieron leer los resúmenes", [&, &l = l](const TRowView &row) {
               l.Records += ReadSummary(row, 1, row.Int(0)).Records;
               return true;
             });
      out.push_back(std::move(l));
    }
    return out;
  }

  TAlarmLimitSet ReadLimits(std::int64_t logger) {
    TAlarmLimitSet set;
    Select("SELECT canal, inferior, superior, retardo_min, histeresis FROM alarma_limites WHERE registrador = ?",
           {logger}, "No se pudieron leer los límites de alarma", [&](const TRowView &row) {
             const std::int64_t channel = row.Int(0);
             if (channel < 1 || channel > kAlarmChannels) return true;
             TAlarmLimits &l = set[static_cast<size_t>(channel - 1)];
             if (const std::optional<std::int64_t> v = row.Value(1)) l.Low = static_cast<std::int32_t>(*v);
             if (const std::optional<std::int64_t> v = row.Value(2)) l.High = static_cast<std::int32_t>(*v);
             l.DelayMinutes = static_cast<int>(row.Int(3));
             l.Hysteresis = static_cast<std::int32_t>(row.Int(4));
             return true;
           });
    return set;
  }

  // Where a channel's events are found again: between two readings of it
  // back inside by the hysteresis (after such a reading no excursion runs,
  // whatever came before), or to either end of the history when there is
  // none. Epoch seconds, as the records' instants.
  struct TAlarmWindow {
    bool On = false;
    std::optional<std::int64_t> From, To;
  };
  using TAlarmWindows = std::array<TAlarmWindow, kAlarmChannels>;

  // The channel's value back inside, as SQL on its column, its parameters
  // appended.
  static QString QuietCondition(int channel, const TAlarmLimits &limits, std::vector<std::int64_t> &parameters) {
    const QString column = QString("c%1").arg(channel + 1);
    QString sql = column + " IS NOT NULL";
    if (limits.High) {
      sql += " AND " + column + " <= ?";
      parameters.push_back(static_cast<std::int64_t>(*limits.High) - limits.Hysteresis);
    }
    if (limits.Low) {
      sql += " AND " + column + " >= ?";
      parameters.push_back(static_cast<std::int64_t>(*limits.Low) + limits.Hysteresis);
    }
    return sql;
  }

  // The windows around records just added from `first` to `last`: the last
  // quiet reading before them and the first after, per channel, in one
  // statement (a server answers it in one round trip).
  TAlarmWindows WindowsAround(std::int64_t logger, const TAlarmLimitSet &limits, std::int64_t first,
                              std::int64_t last) {
    TAlarmWindows windows;
    QString sql;
    std::vector<std::int64_t> parameters;
    std::vector<int> channels;
    for (int k = 0; k < kAlarmChannels; ++k) {
      const TAlarmLimits &l = limits[static_cast<size_t>(k)];
      if (!l.Any()) continue;
      windows[static_cast<size_t>(k)].On = true;
      channels.push_back(k);
      for (const bool before : {true, false}) {
        sql += sql.isEmpty() ? "SELECT " : ", ";
        parameters.insert(parameters.end(), {logger, before ? first : last});
        sql += QString("(SELECT instante FROM registros WHERE registrador = ? AND instante %1 ? AND variante = 0 AND ")
                   .arg(before ? "<" : ">") +
               QuietCondition(k, l, parameters) +
               QString(" ORDER BY instante %1 LIMIT 1)").arg(before ? "DESC" : "ASC");
      }
    }
    if (channels.empty()) return windows;
    Select(sql, parameters, "No se pudieron leer los registros", [&](const TRowView &row) {
      for (size_t i = 0; i < channels.size(); ++i) {
        TAlarmWindow &w = windows[static_cast<size_t>(channels[i])];
        w.From = row.Value(static_cast<int>(2 * i));
        w.To = row.Value(static_cast<int>(2 * i + 1));
      }
      return false;
    });
    return windows;
  }

  static std::int64_t EpochOffset() {
    static const std::int64_t epoch = StampSeconds(TStamp{1970, 1, 1, 0, 0, 0});
    return epoch;
  }

  // The logger's events of `channel` that begin inside the window.
  std::vector<THeldAlarmEvent> HeldEvents(std::int64_t logger, int channel, const TAlarmWindow &window) {
    std::vector<THeldAlarmEvent> held;
    Select(
        "SELECT id, CASE tipo WHEN 'alta' THEN 0 ELSE 1 END, inicio, fin, segundos, extremo, instante_extremo, "
        "(SELECT COUNT(*) FROM alarma_reconocimientos a WHERE a.evento = e.id) FROM alarma_eventos e WHERE "
        "registrador = ? AND canal = ? AND inicio > ? AND inicio < ?",
        {logger, channel + 1, window.From.value_or(std::numeric_limits<std::int64_t>::min()),
         window.To.value_or(std::numeric_limits<std::int64_t>::max())},
        "No se pudieron leer los eventos de alarma", [&](const TRowView &row) {
          THeldAlarmEvent h;
          h.Id = row.Int(0);
          h.Event = EventOfRow(row, 1, channel);
          h.Acknowledged = row.Int(7) > 0;
          held.push_back(h);
          return true;
        });
    return held;
  }

  // Columns kind (0 high, 1 low), start, end, seconds, extreme, extreme's
  // instant from `first` on.
  static TAlarmEvent EventOfRow(const TRowView &row, int first, int channel) {
    TAlarmEvent e;
    e.Channel = channel;
    e.Kind = row.Int(first) == 0 ? TAlarmKind::High : TAlarmKind::Low;
    e.Start = row.Int(first + 1) + EpochOffset();
    if (const std::optional<std::int64_t> end = row.Value(first + 2)) e.End = *end + EpochOffset();
    e.Seconds = row.Int(first + 3);
    e.Extreme = static_cast<std::int32_t>(row.Int(first + 4));
    e.ExtremeAt = row.Int(first + 5) + EpochOffset();
    return e;
  }

  // Finds the events again in every window that is on and writes what
  // changed: the events new to the archive. The first version of each
  // instant is read; versions beside are another pass of the logger's clock
  // over the same time and would tell of readings out of order.
  std::vector<TAlarmEvent> Refind(std::int64_t logger, const TAlarmLimitSet &limits, const TAlarmWindows &windows) {
    std::vector<int> channels;
    std::int64_t from = std::numeric_limits<std::int64_t>::max(), to = std::numeric_limits<std::int64_t>::min();
    bool toEnd = false;
    TAlarmLimitSet only;
    for (int k = 0; k < kAlarmChannels; ++k) {
      const TAlarmWindow &w = windows[static_cast<size_t>(k)];
      if (!w.On) continue;
      channels.push_back(k);
      only[static_cast<size_t>(k)] = limits[static_cast<size_t>(k)];
      from = std::min(from, w.From.value_or(std::numeric_limits<std::int64_t>::min()));
      to = std::max(to, w.To.value_or(std::numeric_limits<std::int64_t>::max()));
      toEnd = toEnd || !w.To;
    }
    if (channels.empty()) return {};

    TAlarmEvaluator evaluator(only);
    std::array<std::vector<TAlarmEvent>, kAlarmChannels> found;
    QString columns;
    for (const int k : channels) columns += QString(", c%1").arg(k + 1);
    // Back inside by the hysteresis: after such a reading no excursion runs.
    auto quiet = [&](int k, std::int64_t v) {
      const TAlarmLimits &l = only[static_cast<size_t>(k)];
      return (!l.High || v <= static_cast<std::int64_t>(*l.High) - l.Hysteresis) &&
             (!l.Low || v >= static_cast<std::int64_t>(*l.Low) + l.Hysteresis);
    };
    std::array<bool, kAlarmChannels> settled;
    settled.fill(true);  // a window begins at a quiet reading or where the history does
    // The records from `lo` to `hi`, a slice at a time (a server hands a
    // whole result over at once).
    auto readRecords = [&](std::int64_t lo, std::int64_t hi) {
      constexpr std::int64_t kSlice = 100000;
      std::optional<std::int64_t> last;
      for (std::int64_t rows = kSlice; rows == kSlice;) {
        rows = 0;
        Select("SELECT instante" + columns + " FROM registros WHERE registrador = ? AND variante = 0 AND instante " +
                   (last ? ">" : ">=") + " ? AND instante <= ? ORDER BY instante LIMIT ?",
               {logger, last ? *last : lo, hi, kSlice}, "No se pudieron leer los registros", [&](const TRowView &row) {
                 const std::int64_t t = row.Int(0);
                 TAlarmValues values{};
                 for (size_t i = 0; i < channels.size(); ++i) {
                   const int k = channels[i];
                   const TAlarmWindow &w = windows[static_cast<size_t>(k)];
                   if ((w.From && t < *w.From) || (w.To && t > *w.To)) continue;
                   if (const std::optional<std::int64_t> v = row.Value(static_cast<int>(i) + 1)) {
                     values[static_cast<size_t>(k)] = static_cast<std::int32_t>(*v);
                     settled[static_cast<size_t>(k)] = quiet(k, *v);
                   }
                 }
                 for (const TAlarmEvaluator::TChange &change : evaluator.Feed(t + EpochOffset(), values)) {
                   if (!change.Started) found[static_cast<size_t>(change.Event.Channel)].push_back(change.Event);
                 }
                 last = t;
                 ++rows;
                 return true;
               });
      }
    };

    constexpr std::int64_t kLong = 2 * 86400;
    const bool wide = from == std::numeric_limits<std::int64_t>::min() ||
                      to == std::numeric_limits<std::int64_t>::max() || to - from > kLong;
    if (!wide) {
      readRecords(from, to);
    } else {
      // A long stretch is walked through its ten-minute summaries: a bucket
      // whose readings of every channel sought are all back inside (or
      // missing), entered with no excursion running, changes nothing and is
      // not read. The summaries count every version of an instant, so a
      // bucket they call quiet is quiet. Runs of the others are read
      // record by record (on a server, a round trip per run).
      const std::int64_t step = kSummarySteps[0];
      struct TBucket {
        std::int64_t Start = 0;
        bool Calm = false;
        std::array<bool, kAlarmChannels> Held{};  // a reading of the channel in it
      };
      std::vector<TBucket> buckets;
      const std::int64_t firstBucket =
          from == std::numeric_limits<std::int64_t>::min() ? from : BucketStart(from, step);
      Select(
          "SELECT inicio, datos FROM resumenes WHERE registrador = ? AND paso = ? AND inicio >= ? AND inicio <= ? "
          "ORDER BY inicio",
          {logger, step, firstBucket, to}, "No se pudieron leer los resúmenes", [&](const TRowView &row) {
            TBucket b;
            b.Start = row.Int(0);
            const TBucketSummary summary = ReadSummary(row, 1, b.Start);
            b.Calm = true;
            for (const int k : channels) {
              const TChannelSummary &c = summary.Channels[static_cast<size_t>(k)];
              b.Held[static_cast<size_t>(k)] = c.Count > 0;
              b.Calm = b.Calm && (c.Count == 0 || (quiet(k, c.Low.V) && quiet(k, c.High.V)));
            }
            buckets.push_back(b);
            return true;
          });
      std::optional<std::int64_t> runFrom, runTo;
      auto flush = [&] {
        if (runFrom) readRecords(std::max(*runFrom, from), std::min(*runTo, to));
        runFrom.reset();
      };
      for (const TBucket &b : buckets) {
        if (!b.Calm) {
          if (!runFrom) runFrom = b.Start;
          runTo = b.Start + step - 1;
          continue;
        }
        flush();
        const bool still = std::all_of(channels.begin(), channels.end(), [&](int k) {
          return !b.Held[static_cast<size_t>(k)] || settled[static_cast<size_t>(k)];
        });
        if (!still) readRecords(std::max(b.Start, from), std::min(b.Start + step - 1, to));
      }
      flush();
    }
    // Still open where the records stop: it lasts to the last reading plus
    // the interval that reading stands for, as a whole series counts it.
    if (toEnd) {
      std::vector<std::int64_t> ends;
      Select("SELECT instante FROM registros WHERE registrador = ? AND variante = 0 ORDER BY instante DESC LIMIT 2",
             {logger}, "No se pudieron leer los registros", [&](const TRowView &row) {
               ends.push_back(row.Int(0));
               return true;
             });
      if (!ends.empty()) {
        const std::int64_t step = ends.size() > 1 ? ends[0] - ends[1] : 0;
        for (const TAlarmEvent &e : evaluator.OpenAt(ends[0] + step + EpochOffset())) {
          found[static_cast<size_t>(e.Channel)].push_back(e);
        }
      }
    }

    std::vector<TAlarmEvent> started;
    for (const int k : channels) {
      const TAlarmEventChanges changes =
          ReconcileAlarmEvents(HeldEvents(logger, k, windows[static_cast<size_t>(k)]), found[static_cast<size_t>(k)]);
      WriteEventChanges(logger, k, changes);
      started.insert(started.end(), changes.Insert.begin(), changes.Insert.end());
    }
    std::stable_sort(started.begin(), started.end(),
                     [](const TAlarmEvent &a, const TAlarmEvent &b) { return a.Start < b.Start; });
    return started;
  }

  static QVariant Long(std::int64_t v) { return QVariant::fromValue<qlonglong>(v); }
  static QVariant LongOrNull(const std::optional<std::int64_t> &v) {
    return v ? Long(*v) : QVariant(QMetaType(QMetaType::LongLong));
  }

  void WriteEventChanges(std::int64_t logger, int channel, const TAlarmEventChanges &changes) {
    if (!changes.Drop.empty()) {
      QSqlQuery drop = Prepare("DELETE FROM alarma_eventos WHERE id = ?");
      for (const std::int64_t id : changes.Drop) {
        drop.bindValue(0, Long(id));
        Run(drop, "No se pudo quitar un evento de alarma");
      }
    }
    if (!changes.Update.empty()) {
      QSqlQuery update =
          Prepare("UPDATE alarma_eventos SET fin = ?, segundos = ?, extremo = ?, instante_extremo = ? WHERE id = ?");
      for (const auto &[id, e] : changes.Update) {
        update.bindValue(0, LongOrNull(e.End ? std::optional<std::int64_t>(*e.End - EpochOffset()) : std::nullopt));
        update.bindValue(1, Long(e.Seconds));
        update.bindValue(2, Long(e.Extreme));
        update.bindValue(3, Long(e.ExtremeAt - EpochOffset()));
        update.bindValue(4, Long(id));
        Run(update, "No se pudo anotar un evento de alarma");
      }
    }
    if (!changes.Insert.empty()) {
      QSqlQuery insert = Prepare(
          "INSERT INTO alarma_eventos (registrador, canal, tipo, inicio, fin, segundos, extremo, instante_extremo) "
          "VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
      for (const TAlarmEvent &e : changes.Insert) {
        insert.bindValue(0, Long(logger));
        insert.bindValue(1, Long(channel + 1));
        insert.bindValue(2, QString(AlarmKindWord(e.Kind)));
        insert.bindValue(3, Long(e.Start - EpochOffset()));
        insert.bindValue(4, LongOrNull(e.End ? std::optional<std::int64_t>(*e.End - EpochOffset()) : std::nullopt));
        insert.bindValue(5, Long(e.Seconds));
        insert.bindValue(6, Long(e.Extreme));
        insert.bindValue(7, Long(e.ExtremeAt - EpochOffset()));
        Run(insert, "No se pudo anotar un evento de alarma");
      }
    }
  }

  static TValues ReadValues(const TRowView &row, int first) {
    TValues v;
    for (int k = 0; k < kValues; ++k) {
      if (const std::optional<std::int64_t> cell = row.Value(first + k)) {
        v[static_cast<size_t>(k)] = static_cast<std::int32_t>(*cell);
      }
    }
    return v;
  }
};

const char *OriginKindWord(TOriginKind kind) {
  switch (kind) {
    case TOriginKind::Download: return "descarga";
    case TOriginKind::FileImport: return "archivo";
    case TOriginKind::Live: return "en_vivo";
  }
  return "descarga";
}

TArchive::TArchive(const std::string &address) : S_(std::make_unique<TState>()) {
  const bool own = address.empty();
  S_->Address = ParseArchiveAddress(own ? DefaultArchivePath() : address);
  S_->Dialect = TArchiveDialect::For(S_->Address.Engine);
  if (own) {
    // The user's own archive is made on first use, folder and all; a path
    // the user gave must already lead somewhere.
    const QString folder = QFileInfo(QString::fromStdString(S_->Address.Path)).absolutePath();
    if (!QDir().mkpath(folder)) {
      throw EArchiveError("No se pudo crear la carpeta \"" + folder.toStdString() + "\" del archivo histórico.");
    }
  }
  if (S_->Address.Engine == TArchiveEngine::SQLite) {
    const QFileInfo file(QString::fromStdString(S_->Address.Path));
    if (file.isDir()) throw EArchiveError("\"" + S_->Address.Name + "\" es una carpeta, no un archivo histórico.");
    if (!file.absoluteDir().exists()) {
      throw EArchiveError("No se puede abrir el archivo histórico \"" + S_->Address.Name + "\": la carpeta no existe.");
    }
  }
  S_->Connection = QString("talvex-archivo-%1").arg(gConnections.fetch_add(1));
  try {
    S_->Db = S_->Dialect.AddConnection(S_->Address, S_->Connection);
    if (!S_->Db.isValid()) {
      throw EArchiveError("No se puede abrir el archivo histórico \"" + S_->Address.Name +
                          "\": falta el controlador de Qt SQL de este motor.");
    }
    if (!S_->Db.open()) {
      throw EArchiveError("No se puede abrir el archivo histórico \"" + S_->Address.Name +
                          "\": " + S_->Dialect.Reason(S_->Db.lastError()) + ".");
    }
    S_->Rows.Attach(S_->Db);
    for (const QString &sql : S_->Dialect.AfterOpen()) {
      QSqlQuery q(S_->Db);
      if (!q.exec(sql)) {
        throw EArchiveError("No se puede abrir el archivo histórico \"" + S_->Address.Name +
                            "\": " + S_->Dialect.Reason(q.lastError()) + ".");
      }
    }
    if (S_->HasSchemaTable()) {
      S_->Version = S_->ReadVersion();
    } else if (!S_->IsEmpty()) {
      S_->RefuseForeign();
    }
    if (S_->Version > kArchiveSchemaVersion) {
      S_->ReadOnly = true;
    } else if (S_->Version < kArchiveSchemaVersion) {
      S_->Migrate();
    }
  } catch (...) {
    S_->Close();
    throw;
  }
}

TArchive::~TArchive() { S_->Close(); }

const std::string &TArchive::Name() const { return S_->Address.Name; }
int TArchive::SchemaVersion() const { return S_->Version; }
bool TArchive::ReadOnly() const { return S_->ReadOnly; }

TStoreResult TArchive::StoreTable(const std::string &logger, const std::string &port, const TArchiveOrigin &origin,
                                  const TDataTable &table, int records) {
  return StoreRecords(logger, port, origin, RecordsFromTable(table, records));
}

TStoreResult TArchive::StoreRecords(const std::string &logger, const std::string &port, const TArchiveOrigin &origin,
                                    const std::vector<TArchiveRecord> &records) {
  S_->CheckWritable();
  for (size_t i = 0; i < records.size(); ++i) {
    if (!ValidStamp(records[i].Instant)) {
      throw EArchiveError("El registro " + std::to_string(i + 1) +
                          " no tiene una fecha y hora reales: no se puede guardar en el archivo histórico.");
    }
  }
  TState &s = *S_;
  return s.Write([&] {
    TStoreResult result;
    const std::int64_t loggerId = s.TouchLogger(logger, port);
    if (records.empty()) return result;

    // What the archive holds over the download's span, read once: each
    // instant's versions, which the download's records are matched against.
    std::int64_t first = EpochSeconds(records.front().Instant), last = first;
    for (const TArchiveRecord &r : records) {
      const std::int64_t t = EpochSeconds(r.Instant);
      first = std::min(first, t);
      last = std::max(last, t);
    }
    std::map<std::int64_t, std::vector<TValues>> held;
    s.Select("SELECT instante, variante, " + ValueColumns() +
                 " FROM registros WHERE registrador = ? AND instante BETWEEN ? AND ? ORDER BY instante, variante",
             {loggerId, first, last}, "No se pudieron leer los registros", [&](const TRowView &row) {
               std::vector<TValues> &versions = held[row.Int(0)];
               const std::int64_t version = row.Int(1);
               // Versions are numbered from 0 without gaps; keep the slot
               // anyway if one was ever removed by hand, so a new one never
               // reuses its number.
               if (version >= 0 && static_cast<std::int64_t>(versions.size()) <= version) {
                 versions.resize(static_cast<size_t>(version) + 1);
               }
               if (version >= 0) versions[static_cast<size_t>(version)] = TState::ReadValues(row, 2);
               return true;
             });

    // A live reading of an instant that already has one taken at the same
    // moment on the PC is that logger second seen twice (a recorder
    // restarted within it, two frames of one second): not another version.
    // One taken minutes or days apart is the clock set back and the second
    // lived again: kept beside, as any record with other values.
    constexpr std::int64_t kSameMoment = 2;
    std::map<std::int64_t, std::vector<std::int64_t>> liveHeld;
    if (origin.Kind == TOriginKind::Live) {
      s.Select(
          "SELECT instante, hora_pc FROM registros WHERE registrador = ? AND instante BETWEEN ? AND ? AND hora_pc IS "
          "NOT NULL",
          {loggerId, first, last}, "No se pudieron leer los registros", [&](const TRowView &row) {
            liveHeld[row.Int(0)].push_back(row.Int(1));
            return true;
          });
    }
    auto seenLive = [&](std::int64_t t, std::int64_t pcTime) {
      const auto at = liveHeld.find(t);
      if (at == liveHeld.end()) return false;
      return std::any_of(at->second.begin(), at->second.end(),
                         [&](std::int64_t held) { return std::abs(held - pcTime) <= kSameMoment; });
    };

    // What is new, and the version each new record takes.
    struct TNew {
      std::int64_t T;
      int Version;
      const TValues *Values;
      std::int64_t PcTimeUtc;
    };
    std::vector<TNew> fresh;
    fresh.reserve(records.size());
    for (const TArchiveRecord &r : records) {
      const std::int64_t t = EpochSeconds(r.Instant);
      std::vector<TValues> &versions = held[t];
      if (std::find(versions.begin(), versions.end(), r.Values) != versions.end() ||
          (r.PcTimeUtc != 0 && seenLive(t, r.PcTimeUtc))) {
        ++result.AlreadyHeld;
        continue;
      }
      if (r.PcTimeUtc != 0) liveHeld[t].push_back(r.PcTimeUtc);
      const int version = static_cast<int>(versions.size());
      versions.push_back(r.Values);
      fresh.push_back(TNew{t, version, &r.Values, r.PcTimeUtc});
      ++result.Added;
      if (version > 0) ++result.Beside;
    }
    if (fresh.empty()) return result;  // a download the archive already held leaves no trace

    const std::int64_t pcTime = origin.PcTimeUtc != 0 ? origin.PcTimeUtc : QDateTime::currentSecsSinceEpoch();
    if (origin.Kind == TOriginKind::Live) {
      // Live readings carry their own PC time: the batches of one day share
      // one origin, else a reading every 10 s would cost an origin row each.
      constexpr std::int64_t kDay = 86400;
      const std::int64_t day = pcTime - ((pcTime % kDay) + kDay) % kDay;
      s.Select(
          "SELECT MAX(id) FROM origenes WHERE registrador = ? AND tipo = 'en_vivo' AND hora_pc >= ? AND "
          "hora_pc < ?",
          {loggerId, day, day + kDay}, "No se pudo leer el origen", [&](const TRowView &row) {
            if (const std::optional<std::int64_t> id = row.Value(0)) result.Origin = *id;
            return false;
          });
    }
    if (result.Origin == 0) {
      QSqlQuery o =
          s.Prepare("INSERT INTO origenes (registrador, tipo, hora_pc, archivo) VALUES (?, ?, ?, ?) RETURNING id");
      o.addBindValue(QVariant::fromValue<qlonglong>(loggerId));
      o.addBindValue(QString(OriginKindWord(origin.Kind)));
      o.addBindValue(QVariant::fromValue<qlonglong>(pcTime));
      o.addBindValue(origin.FileName.empty() ? QVariant(QMetaType(QMetaType::QString))
                                             : QVariant(QString::fromStdString(origin.FileName)));
      s.Run(o, "No se pudo anotar el origen");
      if (!o.next()) s.Fail("No se pudo anotar el origen", o.lastError());
      result.Origin = o.value(0).toLongLong();
    }

    std::vector<std::optional<std::int64_t>> cells;
    cells.reserve(fresh.size() * (5 + kValues));
    for (const TNew &n : fresh) {
      cells.insert(cells.end(), {loggerId, n.T, n.Version, result.Origin});
      for (const std::optional<std::int32_t> &v : *n.Values) {
        cells.push_back(v ? std::optional<std::int64_t>(*v) : std::nullopt);
      }
      cells.push_back(n.PcTimeUtc != 0 ? std::optional<std::int64_t>(n.PcTimeUtc) : std::nullopt);
    }
    if (const std::optional<QSqlError> error =
            s.Rows.Insert("registros (registrador, instante, variante, origen, " + ValueColumns() + ", hora_pc)",
                          5 + kValues, cells)) {
      s.Fail("No se pudo guardar un registro", *error);
    }

    std::vector<std::pair<std::int64_t, const TValues *>> added;
    added.reserve(fresh.size());
    for (const TNew &n : fresh) added.emplace_back(n.T, n.Values);
    s.Summarize(loggerId, added);

    // The alarm events around what came new, on the first version of each
    // instant (see Refind).
    std::optional<std::int64_t> firstNew, lastNew;
    for (const TNew &n : fresh) {
      if (n.Version != 0) continue;
      firstNew = std::min(firstNew.value_or(n.T), n.T);
      lastNew = std::max(lastNew.value_or(n.T), n.T);
    }
    if (firstNew) {
      const TAlarmLimitSet limits = s.ReadLimits(loggerId);
      if (std::any_of(limits.begin(), limits.end(), [](const TAlarmLimits &l) { return l.Any(); })) {
        result.EventsStarted = s.Refind(loggerId, limits, s.WindowsAround(loggerId, limits, *firstNew, *lastNew));
      }
    }
    return result;
  });
}

void TArchive::SeeLogger(const std::string &logger, const std::string &port) {
  S_->CheckWritable();
  S_->Write([&] { return S_->TouchLogger(logger, port); });
}

void TArchive::RenameLogger(const std::string &from, const std::string &to) {
  S_->CheckWritable();
  if (to.empty()) throw EArchiveError("El nuevo nombre del registrador está vacío.");
  if (from == to) return;
  S_->Write([&] {
    const std::int64_t id = S_->RequireLogger(from);
    if (S_->LoggerId(to)) {
      throw EArchiveError("Ya hay un registrador llamado \"" + to + "\" en el archivo histórico \"" + S_->Address.Name +
                          "\".");
    }
    QSqlQuery q = S_->Prepare("UPDATE registradores SET nombre = ? WHERE id = ?");
    q.addBindValue(QString::fromStdString(to));
    q.addBindValue(QVariant::fromValue<qlonglong>(id));
    S_->Run(q, "No se pudo cambiar el nombre del registrador");
    return 0;
  });
}

std::optional<std::string> TArchive::LoggerOnPort(const std::string &port) {
  QSqlQuery q = S_->Prepare("SELECT nombre FROM registradores WHERE puerto = ?");
  q.addBindValue(QString::fromStdString(port));
  S_->Run(q, "No se pudieron leer los registradores");
  if (!q.next()) return std::nullopt;
  return q.value(0).toString().toStdString();
}

std::vector<TArchivedLogger> TArchive::Loggers() {
  if (S_->Version == kArchiveSchemaVersion) return S_->LoggersFromSummaries();
  QSqlQuery q = S_->Prepare(
      "SELECT g.nombre, g.puerto, COUNT(r.instante), MIN(r.instante), MAX(r.instante) FROM registradores g LEFT JOIN "
      "registros r ON r.registrador = g.id GROUP BY g.id, g.nombre, g.puerto ORDER BY g.nombre");
  S_->Run(q, "No se pudieron leer los registradores");
  std::vector<TArchivedLogger> out;
  while (q.next()) {
    TArchivedLogger l;
    l.Name = q.value(0).toString().toStdString();
    l.Port = q.value(1).toString().toStdString();
    l.Records = q.value(2).toLongLong();
    if (!q.value(3).isNull()) {
      l.First = StampOfEpoch(q.value(3).toLongLong());
      l.Last = StampOfEpoch(q.value(4).toLongLong());
    }
    out.push_back(l);
  }
  return out;
}

std::vector<TArchiveRecord> TArchive::Records(const std::string &logger, const TStamp &from, const TStamp &to) {
  std::vector<TArchiveRecord> out;
  ReadRecords(logger, from, to, [&out](const std::vector<TArchiveRecord> &slice) {
    out.insert(out.end(), slice.begin(), slice.end());
    return true;
  });
  return out;
}

void TArchive::ReadRecords(const std::string &logger, const TStamp &from, const TStamp &to,
                           const std::function<bool(std::vector<TArchiveRecord> &)> &take, int slice) {
  const std::int64_t id = S_->RequireLogger(logger);
  const size_t most = static_cast<size_t>(std::max(slice, 1));
  std::vector<TArchiveRecord> out;
  out.reserve(most);
  bool more = true;
  S_->Select("SELECT instante, variante, origen, " + ValueColumns() +
                 ", hora_pc FROM registros WHERE registrador = ? AND instante BETWEEN ? AND ? ORDER BY instante, "
                 "variante",
             {id, EpochSeconds(from), EpochSeconds(to)}, "No se pudieron leer los registros", [&](const TRowView &row) {
               TArchiveRecord r;
               r.Instant = StampOfEpoch(row.Int(0));
               r.Version = static_cast<int>(row.Int(1));
               r.Origin = row.Int(2);
               r.Values = TState::ReadValues(row, 3);
               if (const std::optional<std::int64_t> pc = row.Value(3 + kValues)) r.PcTimeUtc = *pc;
               out.push_back(r);
               if (out.size() == most) {
                 more = take(out);
                 out.clear();
                 out.reserve(most);
               }
               return more;
             });
  if (more && !out.empty()) take(out);
}

TArchiveOutline TArchive::Outline(const std::string &logger, const TStamp &from, const TStamp &to, int columns) {
  const std::int64_t id = S_->RequireLogger(logger);
  const std::int64_t start = EpochSeconds(from), end = EpochSeconds(to);
  if (end < start) return TArchiveOutline();
  TOutlineBuilder outline(start, end, columns);
  const QString raw = "SELECT instante, " + ValueColumns() +
                      " FROM registros WHERE registrador = ? AND instante >= ? AND instante < ? ORDER BY instante, "
                      "variante";
  auto addRecord = [&](const TRowView &row) {
    outline.AddRecord(row.Int(0), TState::ReadValues(row, 1));
    return true;
  };
  // A later schema may keep its summaries otherwise: its records are read.
  if (S_->Version != kArchiveSchemaVersion) {
    S_->Select(raw, {id, start, end + 1}, "No se pudieron leer los registros", addRecord);
    return outline.Finish();
  }
  const std::vector<TOutlinePiece> pieces = PlanOutline(start, end, columns);
  if (!S_->Rows.Direct()) {
    S_->OutlineInBatches(id, pieces, outline);
    return outline.Finish();
  }
  for (const TOutlinePiece &piece : pieces) {
    if (piece.Level < 0) {
      S_->Select(raw, {id, piece.Start, piece.End}, "No se pudieron leer los registros", addRecord);
      continue;
    }
    S_->Select(
        "SELECT inicio, datos FROM resumenes WHERE registrador = ? AND paso = ? AND inicio >= ? AND inicio < ? "
        "ORDER BY inicio",
        {id, kSummarySteps[static_cast<size_t>(piece.Level)], piece.Start, piece.End},
        "No se pudieron leer los resúmenes", [&](const TRowView &row) {
          const std::int64_t bucket = row.Int(0);
          outline.AddSummary(bucket, S_->ReadSummary(row, 1, bucket));
          return true;
        });
  }
  return outline.Finish();
}

std::int64_t TArchive::Count(const std::string &logger, const TStamp &from, const TStamp &to) {
  const std::int64_t id = S_->RequireLogger(logger);
  QSqlQuery q = S_->Prepare("SELECT COUNT(*) FROM registros WHERE registrador = ? AND instante BETWEEN ? AND ?");
  q.addBindValue(QVariant::fromValue<qlonglong>(id));
  q.addBindValue(QVariant::fromValue<qlonglong>(EpochSeconds(from)));
  q.addBindValue(QVariant::fromValue<qlonglong>(EpochSeconds(to)));
  S_->Run(q, "No se pudieron contar los registros");
  return q.next() ? q.value(0).toLongLong() : 0;
}

std::optional<std::pair<TStamp, TStamp>> TArchive::Span(const std::string &logger) {
  const std::int64_t id = S_->RequireLogger(logger);
  // Apart, each end is one step down the records' key; together, SQLite
  // reads every record of the logger.
  QSqlQuery q = S_->Prepare(
      "SELECT (SELECT MIN(instante) FROM registros WHERE registrador = ?), (SELECT MAX(instante) FROM registros WHERE "
      "registrador = ?)");
  q.addBindValue(QVariant::fromValue<qlonglong>(id));
  q.addBindValue(QVariant::fromValue<qlonglong>(id));
  S_->Run(q, "No se pudieron leer los registros");
  if (!q.next() || q.value(0).isNull()) return std::nullopt;
  return std::make_pair(StampOfEpoch(q.value(0).toLongLong()), StampOfEpoch(q.value(1).toLongLong()));
}

std::vector<TStamp> TArchive::InstantsWithVersions(const std::string &logger, const TStamp &from, const TStamp &to) {
  const std::int64_t id = S_->RequireLogger(logger);
  QSqlQuery q = S_->Prepare(
      "SELECT DISTINCT instante FROM registros WHERE registrador = ? AND variante > 0 AND instante BETWEEN ? AND ? "
      "ORDER BY instante");
  q.addBindValue(QVariant::fromValue<qlonglong>(id));
  q.addBindValue(QVariant::fromValue<qlonglong>(EpochSeconds(from)));
  q.addBindValue(QVariant::fromValue<qlonglong>(EpochSeconds(to)));
  S_->Run(q, "No se pudieron leer los registros");
  std::vector<TStamp> out;
  while (q.next()) out.push_back(StampOfEpoch(q.value(0).toLongLong()));
  return out;
}

TAlarmLimitSet TArchive::AlarmLimits(const std::string &logger) {
  const std::optional<std::int64_t> id = S_->LoggerId(logger);
  if (!id) return TAlarmLimitSet();
  return S_->ReadLimits(*id);
}

void TArchive::SetAlarmLimits(const std::string &logger, int channel, const TAlarmLimits &limits) {
  if (channel < 0 || channel >= kAlarmChannels) {
    throw EArchiveError("No hay canal " + std::to_string(channel + 1) + ": los canales van de CH1 a CH16.");
  }
  const std::string problem = AlarmLimitsProblem(limits);
  if (!problem.empty()) {
    throw EArchiveError("Los límites de alarma de CH" + std::to_string(channel + 1) + " no valen: " + problem + ".");
  }
  S_->CheckWritable();
  TState &s = *S_;
  s.Write([&] {
    const std::int64_t id = s.TouchLogger(logger, std::string());
    QSqlQuery q = s.Prepare(
        "INSERT INTO alarma_limites (registrador, canal, inferior, superior, retardo_min, histeresis) VALUES (?, ?, "
        "?, ?, ?, ?) ON CONFLICT (registrador, canal) DO UPDATE SET inferior = excluded.inferior, superior = "
        "excluded.superior, retardo_min = excluded.retardo_min, histeresis = excluded.histeresis");
    q.addBindValue(TState::Long(id));
    q.addBindValue(TState::Long(channel + 1));
    q.addBindValue(TState::LongOrNull(limits.Low ? std::optional<std::int64_t>(*limits.Low) : std::nullopt));
    q.addBindValue(TState::LongOrNull(limits.High ? std::optional<std::int64_t>(*limits.High) : std::nullopt));
    q.addBindValue(TState::Long(limits.DelayMinutes));
    q.addBindValue(TState::Long(limits.Hysteresis));
    s.Run(q, "No se pudieron guardar los límites de alarma");
    TAlarmLimitSet all = s.ReadLimits(id);
    TState::TAlarmWindows windows;
    windows[static_cast<size_t>(channel)].On = true;
    s.Refind(id, all, windows);
    return 0;
  });
}

std::vector<TArchivedAlarmEvent> TArchive::AlarmEvents(const std::string &logger, const TStamp &from,
                                                       const TStamp &to) {
  std::vector<TArchivedAlarmEvent> out;
  const std::optional<std::int64_t> id = S_->LoggerId(logger);
  if (!id) return out;
  // An event lasts from its start for its seconds; an open one so to the
  // end of its data.
  const QString where = "registrador = ? AND inicio <= ? AND inicio + segundos >= ?";
  const std::vector<std::int64_t> parameters = {*id, EpochSeconds(to), EpochSeconds(from)};
  std::map<std::int64_t, size_t> byId;
  S_->Select(
      "SELECT id, canal, CASE tipo WHEN 'alta' THEN 0 ELSE 1 END, inicio, fin, segundos, extremo, "
      "instante_extremo FROM alarma_eventos WHERE " +
          where + " ORDER BY inicio, canal, id",
      parameters, "No se pudieron leer los eventos de alarma", [&](const TRowView &row) {
        TArchivedAlarmEvent e;
        e.Id = row.Int(0);
        e.Event = TState::EventOfRow(row, 2, static_cast<int>(row.Int(1)) - 1);
        byId[e.Id] = out.size();
        out.push_back(e);
        return true;
      });
  if (out.empty()) return out;
  QSqlQuery q = S_->Prepare(
      "SELECT evento, usuario, hora_pc, comentario FROM alarma_reconocimientos WHERE evento IN (SELECT id FROM "
      "alarma_eventos WHERE " +
      where + ") ORDER BY hora_pc, id");
  for (const std::int64_t p : parameters) q.addBindValue(TState::Long(p));
  S_->Run(q, "No se pudieron leer los reconocimientos de alarmas");
  while (q.next()) {
    const auto at = byId.find(q.value(0).toLongLong());
    if (at == byId.end()) continue;
    TAlarmAcknowledgement a;
    a.User = q.value(1).toString().toStdString();
    a.PcTimeUtc = q.value(2).toLongLong();
    a.Comment = q.value(3).toString().toStdString();
    out[at->second].Acknowledgements.push_back(a);
  }
  return out;
}

void TArchive::AcknowledgeAlarmEvent(std::int64_t id, const std::string &user, const std::string &comment) {
  if (QString::fromStdString(comment).trimmed().isEmpty()) {
    throw EArchiveError("Un reconocimiento de alarma necesita un comentario.");
  }
  if (QString::fromStdString(user).trimmed().isEmpty()) {
    throw EArchiveError("Un reconocimiento de alarma necesita el nombre de quien lo hace.");
  }
  S_->CheckWritable();
  TState &s = *S_;
  s.Write([&] {
    QSqlQuery find = s.Prepare("SELECT id FROM alarma_eventos WHERE id = ?");
    find.addBindValue(TState::Long(id));
    s.Run(find, "No se pudieron leer los eventos de alarma");
    if (!find.next()) {
      throw EArchiveError("No hay ningún evento de alarma " + std::to_string(id) + " en el archivo histórico \"" +
                          s.Address.Name + "\".");
    }
    find.finish();
    QSqlQuery q =
        s.Prepare("INSERT INTO alarma_reconocimientos (evento, usuario, hora_pc, comentario) VALUES (?, ?, ?, ?)");
    q.addBindValue(TState::Long(id));
    q.addBindValue(QString::fromStdString(user));
    q.addBindValue(TState::Long(QDateTime::currentSecsSinceEpoch()));
    q.addBindValue(QString::fromStdString(comment));
    s.Run(q, "No se pudo guardar el reconocimiento");
    return 0;
  });
}
