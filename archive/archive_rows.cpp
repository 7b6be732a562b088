#include "archive/archive_rows.h"

#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

#include <cstring>

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

}  // namespace

bool TRowView::Null(int column) const {
  if (Statement_) return sqlite3_column_type(Statement_, column) == SQLITE_NULL;
  return Query_->isNull(column);
}

std::int64_t TRowView::Int(int column) const {
  if (Statement_) return sqlite3_column_int64(Statement_, column);
  return Query_->value(column).toLongLong();
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

TRowReader::~TRowReader() { Detach(); }

void TRowReader::Attach(const QSqlDatabase &db) {
  Detach();
  Db_ = db;
  const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
  // Only the system's SQLite library is linked, so the handle Qt's driver
  // holds is one this code may use.
  if (handle.isValid() && std::strcmp(handle.typeName(), "sqlite3*") == 0) {
    Handle_ = *static_cast<sqlite3 *const *>(handle.constData());
  }
}

void TRowReader::Detach() {
  for (auto &entry : Statements_) sqlite3_finalize(entry.second);
  Statements_.clear();
  Handle_ = nullptr;
  Db_ = QSqlDatabase();
}

std::optional<QSqlError> TRowReader::Select(const QString &sql, std::initializer_list<std::int64_t> parameters,
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
  text.reserve(sql.size() + static_cast<int>(parameters.size()) * 12);
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
