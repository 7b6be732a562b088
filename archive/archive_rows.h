#pragma once

// Reading many rows fast. Through Qt SQL every value read becomes a QVariant,
// which costs more than SQLite takes to find the row; on SQLite the rows are
// read through its own C API on the very connection Qt opened (same
// transaction, same locks). Other engines go through Qt SQL.
//
// The statements read integers and byte strings, and take integer
// parameters only.

#include "archive/archive_dialect.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

// One row of a result, valid only inside the call that gets it.
class TRowView {
public:
  bool Null(int column) const;
  std::int64_t Int(int column) const;
  std::string_view Bytes(int column) const;

private:
  friend class TRowReader;
  sqlite3_stmt *Statement_ = nullptr;
  QSqlQuery *Query_ = nullptr;
  mutable QByteArray Held_;
};

class TRowReader {
public:
  TRowReader() = default;
  ~TRowReader();
  TRowReader(const TRowReader &) = delete;
  TRowReader &operator=(const TRowReader &) = delete;

  // Reads through `db`, an open connection.
  void Attach(const QSqlDatabase &db);
  // Lets go of the statements kept ready; before the connection closes.
  void Detach();

  // Runs `sql` with `parameters` for its `?` marks, giving each row to
  // `row` until it returns false. The error of the engine, if it failed.
  std::optional<QSqlError> Select(const QString &sql, std::initializer_list<std::int64_t> parameters,
                                  const std::function<bool(const TRowView &)> &row);

private:
  QSqlDatabase Db_;
  sqlite3 *Handle_ = nullptr;
  std::map<QString, sqlite3_stmt *> Statements_;
};
