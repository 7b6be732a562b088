#pragma once

// Everything that differs between SQLite and PostgreSQL, in one place: the
// rest of the archive speaks one SQL to both.

#include "archive/archive_address.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>

#include <string>

struct TArchiveDialect {
  TArchiveEngine Engine = TArchiveEngine::SQLite;

  static TArchiveDialect For(TArchiveEngine engine) { return TArchiveDialect{engine}; }

  // A connection of this engine, named `connection`, set to `address`; not
  // yet open.
  QSqlDatabase AddConnection(const TArchiveAddress &address, const QString &connection) const;
  // Statements run once on every opened connection.
  QStringList AfterOpen() const;
  // Starts a transaction that holds the archive's write lock from its first
  // statement to its end, so two programs writing at once wait for each
  // other instead of deciding on what the other is about to change.
  QStringList BeginWrite() const;

  // Column and table words of the schema.
  QString KeyColumn() const;    // an integer key the engine numbers itself
  QString TableSuffix() const;  // after a table keyed on its primary key only
  QString BytesType() const;    // a column of raw bytes
  // Why a statement failed, in the user's words where the engine's code is
  // one a user can act on; else the engine's own text.
  std::string Reason(const QSqlError &error) const;

  // The stored instant (seconds since 1970 of the logger's civil time) as
  // the engine's own date and time, for the view.
  QString InstantExpression(const QString &column) const;
};
