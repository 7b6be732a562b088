#include "archive/archive_rows.h"

#include <QSqlDriver>
#include <QVariant>

#include <dlfcn.h>
#include <link.h>
#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string>

namespace {

QSqlError SqliteError(sqlite3 *handle) {
  return QSqlError(QString(), QString::fromUtf8(sqlite3_errmsg(handle)), QSqlError::StatementError,
                   QString::number(sqlite3_extended_errcode(handle)));
}

// A statement kept ready is left reset and unbound whatever happens to the
// read, so it never holds a lock or a result past its use.
struct TStatementUse {
  sqlite3_stmt *Statement;
  ~TStatementUse() {
    sqlite3_reset(Statement);
    sqlite3_clear_bindings(Statement);
  }
};

// Whether Qt's SQLite driver calls the very SQLite library this code calls:
// a Qt that carries its own copy inside its driver hands out handles that
// only that copy may use. The driver's library is asked for SQLite's entry
// points; if they are the ones every other library finds, it is the same.
bool DriverSharesOurSqlite() {
  std::string driver;
  dl_iterate_phdr(
      [](dl_phdr_info *info, size_t, void *found) {
        const char *name = info->dlpi_name;
        if (name && std::strstr(name, "libqsqlite")) *static_cast<std::string *>(found) = name;
        return 0;
      },
      &driver);
  if (driver.empty()) return false;
  void *library = dlopen(driver.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (!library) return false;
  void *theirs = dlsym(library, "sqlite3_libversion_number");
  void *ours = dlsym(RTLD_DEFAULT, "sqlite3_libversion_number");
  dlclose(library);
  return theirs && theirs == ours;
}

}  // namespace

bool TRowView::Null(int column) const {
  if (Statement_) return sqlite3_column_type(Statement_, column) == SQLITE_NULL;
  return Query_->isNull(column);
}

std::int64_t TRowView::Int(int column) const {
  if (Statement_) return sqlite3_column_int64(Statement_, column);
  return Query_->value(column).toLongLong();
}

std::optional<std::int64_t> TRowView::Value(int column) const {
  if (Statement_) {
    // The value itself is read without the connection's lock that each
    // sqlite3_column_* call takes.
    sqlite3_value *cell = sqlite3_column_value(Statement_, column);
    if (sqlite3_value_type(cell) == SQLITE_NULL) return std::nullopt;
    return sqlite3_value_int64(cell);
  }
  const QVariant cell = Query_->value(column);
  if (cell.isNull()) return std::nullopt;
  return cell.toLongLong();
}

std::string_view TRowView::Bytes(int column) const {
  if (Statement_) {
    const void *data = sqlite3_column_blob(Statement_, column);
    const int size = sqlite3_column_bytes(Statement_, column);
    return data ? std::string_view(static_cast<const char *>(data), static_cast<size_t>(size)) : std::string_view();
  }
  Held_ = Query_->value(column).toByteArray();
  return std::string_view(Held_.constData(), static_cast<size_t>(Held_.size()));
}

TArchiveRows::~TArchiveRows() { Detach(); }

void TArchiveRows::Attach(const QSqlDatabase &db) {
  Detach();
  Db_ = db;
  const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
  static const bool shared = DriverSharesOurSqlite();
  if (shared && handle.isValid() && std::strcmp(handle.typeName(), "sqlite3*") == 0) {
    Handle_ = *static_cast<sqlite3 *const *>(handle.constData());
  }
}

void TArchiveRows::Detach() {
  for (auto &entry : Statements_) sqlite3_finalize(entry.second);
  Statements_.clear();
  Handle_ = nullptr;
  Db_ = QSqlDatabase();
}

std::optional<QSqlError> TArchiveRows::Select(const QString &sql, const std::vector<std::int64_t> &parameters,
                                              const std::function<bool(const TRowView &)> &row) {
  TRowView view;
  if (Handle_) {
    sqlite3_stmt *&kept = Statements_[sql];
    // A read made from inside another of the same statement (a caller's
    // callback reading again) gets a statement of its own.
    const bool busy = kept && sqlite3_stmt_busy(kept);
    sqlite3_stmt *statement = busy ? nullptr : kept;
    if (!statement) {
      const QByteArray text = sql.toUtf8();
      if (sqlite3_prepare_v3(Handle_, text.constData(), static_cast<int>(text.size()),
                             busy ? 0 : SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK) {
        const QSqlError error = SqliteError(Handle_);
        sqlite3_finalize(statement);
        if (!kept) Statements_.erase(sql);
        return error;
      }
      if (!busy) kept = statement;
    }
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> own(busy ? statement : nullptr, sqlite3_finalize);
    const TStatementUse use{statement};
    int index = 1;
    for (const std::int64_t p : parameters) sqlite3_bind_int64(statement, index++, p);
    view.Statement_ = statement;
    for (;;) {
      const int step = sqlite3_step(statement);
      if (step == SQLITE_DONE) return std::nullopt;
      if (step != SQLITE_ROW) return SqliteError(Handle_);
      if (!row(view)) return std::nullopt;
    }
  }
  // The parameters are integers this code made: written into the statement
  // they save a server the round trips of preparing it.
  QString text;
  text.reserve(sql.size() + static_cast<qsizetype>(parameters.size()) * 12);
  auto next = parameters.begin();
  for (const QChar c : sql) {
    if (c == '?' && next != parameters.end()) {
      text += QString::number(*next++);
    } else {
      text += c;
    }
  }
  QSqlQuery q(Db_);
  q.setForwardOnly(true);
  if (!q.exec(text)) return q.lastError();
  view.Query_ = &q;
  while (q.next()) {
    if (!row(view)) break;
  }
  if (q.lastError().isValid()) return q.lastError();
  return std::nullopt;
}

sqlite3_stmt *TArchiveRows::Statement(const QString &sql, std::optional<QSqlError> &error) {
  sqlite3_stmt *&kept = Statements_[sql];
  if (!kept) {
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v3(Handle_, text.constData(), static_cast<int>(text.size()), SQLITE_PREPARE_PERSISTENT, &kept,
                           nullptr) != SQLITE_OK) {
      error = SqliteError(Handle_);
      sqlite3_finalize(kept);
      Statements_.erase(sql);
      return nullptr;
    }
  }
  return kept;
}

std::optional<QSqlError> TArchiveRows::Insert(const QString &table, int columns,
                                              const std::vector<std::optional<std::int64_t>> &cells) {
  const size_t width = static_cast<size_t>(std::max(columns, 1));
  const size_t rows = cells.size() / width;
  if (Handle_) {
    QString marks;
    for (size_t k = 0; k < width; ++k) marks += k == 0 ? "?" : ", ?";
    std::optional<QSqlError> error;
    sqlite3_stmt *statement = Statement("INSERT INTO " + table + " VALUES (" + marks + ")", error);
    if (!statement) return error;
    const TStatementUse use{statement};
    for (size_t r = 0; r < rows; ++r) {
      for (size_t k = 0; k < width; ++k) {
        const std::optional<std::int64_t> &cell = cells[r * width + k];
        const int index = static_cast<int>(k) + 1;
        if (cell) {
          sqlite3_bind_int64(statement, index, *cell);
        } else {
          sqlite3_bind_null(statement, index);
        }
      }
      if (sqlite3_step(statement) != SQLITE_DONE) return SqliteError(Handle_);
      sqlite3_reset(statement);
    }
    return std::nullopt;
  }
  // Many rows a statement, their numbers written in it: a server answers
  // once for each statement, and binding twenty values a row through Qt
  // would cost more than the server's whole insert.
  constexpr size_t kRowsPerStatement = 250;
  const std::string head = "INSERT INTO " + table.toStdString() + " VALUES ";
  std::string sql;
  char number[24];
  for (size_t first = 0; first < rows; first += kRowsPerStatement) {
    sql = head;
    const size_t end = std::min(rows, first + kRowsPerStatement);
    for (size_t r = first; r < end; ++r) {
      sql += r == first ? "(" : ", (";
      for (size_t k = 0; k < width; ++k) {
        if (k > 0) sql += ',';
        const std::optional<std::int64_t> &cell = cells[r * width + k];
        if (cell) {
          sql.append(number, std::to_chars(number, number + sizeof number, *cell).ptr);
        } else {
          sql += "NULL";
        }
      }
      sql += ')';
    }
    QSqlQuery q(Db_);
    if (!q.exec(QString::fromLatin1(sql.data(), static_cast<qsizetype>(sql.size())))) return q.lastError();
  }
  return std::nullopt;
}
