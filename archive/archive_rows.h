#pragma once

// Reading and writing many rows fast. Through Qt SQL every value read becomes a QVariant,
// which costs more than SQLite takes to find the row; on SQLite the rows are
// read and written through its own C API on the very connection Qt opened
// (same transaction, same locks). Other engines go through Qt SQL.
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
#include <map>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// One row of a result, valid only inside the call that gets it.
class TRowView {
public:
  bool Null(int column) const;
  std::int64_t Int(int column) const;
  // Empty for NULL; one look at the cell instead of two.
  std::optional<std::int64_t> Value(int column) const;
  std::string_view Bytes(int column) const;

private:
  friend class TArchiveRows;
  sqlite3_stmt *Statement_ = nullptr;
  QSqlQuery *Query_ = nullptr;
  mutable QByteArray Held_;
};

class TArchiveRows {
public:
  TArchiveRows() = default;
  ~TArchiveRows();
  TArchiveRows(const TArchiveRows &) = delete;
  TArchiveRows &operator=(const TArchiveRows &) = delete;

  // Reads through `db`, an open connection.
  void Attach(const QSqlDatabase &db);
  // Lets go of the statements kept ready; before the connection closes.
  void Detach();
  // True when reading through SQLite's own library: a statement costs
  // microseconds there, where a server answers each one in a round trip.
  bool Direct() const { return Handle_ != nullptr; }

  // Runs `sql` with `parameters` for its `?` marks, giving each row to
  // `row` until it returns false. The error of the engine, if it failed.
  std::optional<QSqlError> Select(const QString &sql, const std::vector<std::int64_t> &parameters,
                                  const std::function<bool(const TRowView &)> &row);

  // Inserts rows of integers (empty: NULL) into `table` (its name and
  // column list, as an INSERT names them): `cells` holds `columns` cells a
  // row, row after row.
  std::optional<QSqlError> Insert(const QString &table, int columns,
                                  const std::vector<std::optional<std::int64_t>> &cells);

private:
  sqlite3_stmt *Statement(const QString &sql, std::optional<QSqlError> &error);

  QSqlDatabase Db_;
  sqlite3 *Handle_ = nullptr;
  std::map<QString, sqlite3_stmt *> Statements_;
};
