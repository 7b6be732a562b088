#include "archive/archive.h"

#include "archive/archive_address.h"
#include "archive/archive_dialect.h"
#include "archive/archive_error.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <atomic>
#include <map>

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

const char *KindWord(TOriginKind kind) {
  switch (kind) {
    case TOriginKind::Download: return "descarga";
    case TOriginKind::FileImport: return "archivo";
    case TOriginKind::Live: return "en_vivo";
  }
  return "descarga";
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

// Migration n makes schema n + 1 of schema n.
using TMigration = QStringList (*)(const TArchiveDialect &);
const TMigration kMigrations[kArchiveSchemaVersion] = {SchemaVersion1};

std::atomic<unsigned> gConnections{0};

}  // namespace

struct TArchive::TState {
  TArchiveAddress Address;
  TArchiveDialect Dialect;
  QString Connection;
  QSqlDatabase Db;
  int Version = 0;
  bool ReadOnly = false;

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
      for (int v = version; v < kArchiveSchemaVersion; ++v) {
        for (const QString &sql : kMigrations[v](Dialect)) Exec(sql, "No se pudo preparar el esquema");
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

  static TValues ReadValues(const QSqlQuery &q, int first) {
    TValues v;
    for (int k = 0; k < kValues; ++k) {
      const QVariant cell = q.value(first + k);
      if (!cell.isNull()) v[static_cast<size_t>(k)] = cell.toInt();
    }
    return v;
  }
};

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
    S_->Db.close();
    S_->Db = QSqlDatabase();
    QSqlDatabase::removeDatabase(S_->Connection);
    throw;
  }
}

TArchive::~TArchive() {
  S_->Db.close();
  S_->Db = QSqlDatabase();
  QSqlDatabase::removeDatabase(S_->Connection);
}

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
    QSqlQuery read = s.Prepare("SELECT instante, variante, " + ValueColumns() +
                               " FROM registros WHERE registrador = ? AND instante BETWEEN ? AND ? ORDER BY instante, "
                               "variante");
    read.addBindValue(QVariant::fromValue<qlonglong>(loggerId));
    read.addBindValue(QVariant::fromValue<qlonglong>(first));
    read.addBindValue(QVariant::fromValue<qlonglong>(last));
    s.Run(read, "No se pudieron leer los registros");
    while (read.next()) {
      std::vector<TValues> &versions = held[read.value(0).toLongLong()];
      const int version = read.value(1).toInt();
      // Versions are numbered from 0 without gaps; keep the slot anyway if
      // one was ever removed by hand, so a new one never reuses its number.
      if (static_cast<int>(versions.size()) <= version) versions.resize(static_cast<size_t>(version) + 1);
      versions[static_cast<size_t>(version)] = TState::ReadValues(read, 2);
    }

    QString marks;
    for (int k = 0; k < kValues; ++k) marks += ", ?";
    QSqlQuery insert = s.Prepare("INSERT INTO registros (registrador, instante, variante, origen, " + ValueColumns() +
                                 ") VALUES (?, ?, ?, ?" + marks + ")");
    for (const TArchiveRecord &r : records) {
      const std::int64_t t = EpochSeconds(r.Instant);
      std::vector<TValues> &versions = held[t];
      if (std::find(versions.begin(), versions.end(), r.Values) != versions.end()) {
        ++result.AlreadyHeld;
        continue;
      }
      if (result.Origin == 0) {
        // The origin is made with its first new record: a download the
        // archive already held leaves no trace.
        QSqlQuery o =
            s.Prepare("INSERT INTO origenes (registrador, tipo, hora_pc, archivo) VALUES (?, ?, ?, ?) RETURNING id");
        o.addBindValue(QVariant::fromValue<qlonglong>(loggerId));
        o.addBindValue(QString(KindWord(origin.Kind)));
        o.addBindValue(QVariant::fromValue<qlonglong>(origin.PcTimeUtc != 0 ? origin.PcTimeUtc
                                                                            : QDateTime::currentSecsSinceEpoch()));
        o.addBindValue(origin.FileName.empty() ? QVariant(QMetaType(QMetaType::QString))
                                               : QVariant(QString::fromStdString(origin.FileName)));
        s.Run(o, "No se pudo anotar el origen");
        if (!o.next()) s.Fail("No se pudo anotar el origen", o.lastError());
        result.Origin = o.value(0).toLongLong();
      }
      const int version = static_cast<int>(versions.size());
      insert.bindValue(0, QVariant::fromValue<qlonglong>(loggerId));
      insert.bindValue(1, QVariant::fromValue<qlonglong>(t));
      insert.bindValue(2, version);
      insert.bindValue(3, QVariant::fromValue<qlonglong>(result.Origin));
      for (int k = 0; k < kValues; ++k) {
        const std::optional<std::int32_t> &v = r.Values[static_cast<size_t>(k)];
        insert.bindValue(4 + k, v ? QVariant(*v) : QVariant(QMetaType(QMetaType::Int)));
      }
      s.Run(insert, "No se pudo guardar un registro");
      versions.push_back(r.Values);
      ++result.Added;
      if (version > 0) ++result.Beside;
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
                           const std::function<bool(const std::vector<TArchiveRecord> &)> &take, int slice) {
  const std::int64_t id = S_->RequireLogger(logger);
  QSqlQuery q = S_->Prepare("SELECT instante, variante, origen, " + ValueColumns() +
                            " FROM registros WHERE registrador = ? AND instante BETWEEN ? AND ? ORDER BY instante, "
                            "variante");
  q.addBindValue(QVariant::fromValue<qlonglong>(id));
  q.addBindValue(QVariant::fromValue<qlonglong>(EpochSeconds(from)));
  q.addBindValue(QVariant::fromValue<qlonglong>(EpochSeconds(to)));
  S_->Run(q, "No se pudieron leer los registros");
  const size_t most = static_cast<size_t>(std::max(slice, 1));
  std::vector<TArchiveRecord> out;
  out.reserve(most);
  while (q.next()) {
    TArchiveRecord r;
    r.Instant = StampOfEpoch(q.value(0).toLongLong());
    r.Version = q.value(1).toInt();
    r.Origin = q.value(2).toLongLong();
    r.Values = TState::ReadValues(q, 3);
    out.push_back(r);
    if (out.size() == most) {
      if (!take(out)) return;
      out.clear();
    }
  }
  if (!out.empty()) take(out);
}

TArchiveOutline TArchive::Outline(const std::string &logger, const TStamp &from, const TStamp &to, int columns) {
  TArchiveOutline outline;
  const std::int64_t start = EpochSeconds(from);
  const std::int64_t span = EpochSeconds(to) - start + 1;
  if (span <= 0) return outline;
  const std::int64_t width = std::max(columns, 1);
  // The chart's seconds count from 2000; the archive's from 1970.
  static const double kChartEpoch = static_cast<double>(EpochSeconds(TStamp{2000, 1, 1, 0, 0, 0}));
  struct TColumn {
    std::int64_t Index = -1;
    TOutlinePoint First, Low, High, Last;
  };
  std::array<TColumn, kValues> current;
  auto close = [&](int k) {
    TColumn &c = current[static_cast<size_t>(k)];
    if (c.Index < 0) return;
    std::vector<TOutlinePoint> &line = outline.Channels[static_cast<size_t>(k)];
    TOutlinePoint points[4] = {c.First, c.Low, c.High, c.Last};
    std::stable_sort(std::begin(points), std::end(points),
                     [](const TOutlinePoint &a, const TOutlinePoint &b) { return a.Seconds < b.Seconds; });
    for (const TOutlinePoint &p : points) {
      if (!line.empty() && line.back().Seconds == p.Seconds && line.back().Value == p.Value) continue;
      line.push_back(p);
    }
    c.Index = -1;
  };
  ReadRecords(logger, from, to, [&](const std::vector<TArchiveRecord> &slice) {
    for (const TArchiveRecord &r : slice) {
      ++outline.Records;
      const std::int64_t t = EpochSeconds(r.Instant);
      const std::int64_t column = (t - start) * width / span;
      const TOutlinePoint point{static_cast<double>(t) - kChartEpoch, 0};
      for (int k = 0; k < kValues; ++k) {
        const std::optional<std::int32_t> &v = r.Values[static_cast<size_t>(k)];
        if (!v) continue;
        TColumn &c = current[static_cast<size_t>(k)];
        if (c.Index != column) {
          close(k);
          c.Index = column;
          c.First = c.Low = c.High = TOutlinePoint{point.Seconds, *v};
        }
        if (*v < c.Low.Value) c.Low = TOutlinePoint{point.Seconds, *v};
        if (*v > c.High.Value) c.High = TOutlinePoint{point.Seconds, *v};
        c.Last = TOutlinePoint{point.Seconds, *v};
      }
    }
    return true;
  });
  for (int k = 0; k < kValues; ++k) close(k);
  return outline;
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
  QSqlQuery q = S_->Prepare("SELECT MIN(instante), MAX(instante) FROM registros WHERE registrador = ?");
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
