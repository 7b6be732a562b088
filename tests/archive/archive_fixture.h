#pragma once

// What the archive's test files share: a raw connection of their own to an
// archive, and a fixture that runs each case on SQLite and on PostgreSQL.

#include "archive/archive.h"
#include "archive/archive_address.h"

#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
#include <QVariant>

#include <unistd.h>
#include <cstdlib>
#include <ostream>
#include <string>

// The engine by its name in the test list (defined in archive_test.cpp).
void PrintTo(TArchiveEngine engine, std::ostream *out);

// A connection of the test's own to an archive, as an outside tool would
// reach it.
class TRawConnection {
public:
  explicit TRawConnection(const std::string &address) {
    static int n = 0;
    Name_ = QString("raw-%1").arg(++n);
    const TArchiveAddress a = ParseArchiveAddress(address);
    QSqlDatabase db = QSqlDatabase::addDatabase(a.Engine == TArchiveEngine::SQLite ? "QSQLITE" : "QPSQL", Name_);
    db.setDatabaseName(QString::fromStdString(a.Engine == TArchiveEngine::SQLite ? a.Path : a.Database));
    db.setHostName(QString::fromStdString(a.Host));
    if (a.Port > 0) db.setPort(a.Port);
    db.setUserName(QString::fromStdString(a.User));
    db.setPassword(QString::fromStdString(a.Password));
    EXPECT_TRUE(db.open()) << db.lastError().text().toStdString();
  }
  ~TRawConnection() {
    QSqlDatabase::database(Name_, false).close();
    QSqlDatabase::removeDatabase(Name_);
  }
  TRawConnection(const TRawConnection &) = delete;
  TRawConnection &operator=(const TRawConnection &) = delete;

  // `sql` run, positioned before its first row.
  QSqlQuery Query(const QString &sql) const {
    QSqlQuery q(QSqlDatabase::database(Name_, false));
    q.setForwardOnly(true);
    EXPECT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
    return q;
  }

private:
  QString Name_;
};

// Statements on an archive through a connection of the test's own; the
// value of the last one's first cell.
inline QVariant Raw(const std::string &address, const QStringList &statements) {
  QVariant last;
  const TRawConnection db(address);
  for (const QString &sql : statements) {
    QSqlQuery q = db.Query(sql);
    last = q.next() ? q.value(0) : QVariant();
  }
  return last;
}
inline QVariant Raw(const QString &path, const QStringList &statements) { return Raw(path.toStdString(), statements); }

// The same cases on both engines: SQLite always, PostgreSQL when
// TALVEX_TEST_POSTGRESQL names a server on which the tests may make and drop
// databases (postgresql://usuario@/postgres?host=/carpeta/del/socket); each
// test gets a database of its own there.
class ArchiveTest : public ::testing::TestWithParam<TArchiveEngine> {
protected:
  void SetUp() override {
    if (GetParam() == TArchiveEngine::SQLite) {
      Address = File.toStdString();
      return;
    }
    const char *server = std::getenv("TALVEX_TEST_POSTGRESQL");
    if (!server || !*server) GTEST_SKIP() << "TALVEX_TEST_POSTGRESQL names no PostgreSQL server";
    Server = server;
    static int n = 0;
    Database = "talvex_prueba_" + std::to_string(getpid()) + "_" + std::to_string(++n);
    Raw(Server, {QString::fromStdString("CREATE DATABASE " + Database)});
    QUrl url(QString::fromStdString(Server));
    url.setPath(QString::fromStdString("/" + Database));
    Address = url.toString().toStdString();
  }
  void TearDown() override {
    if (!Database.empty()) Raw(Server, {QString::fromStdString("DROP DATABASE " + Database + " WITH (FORCE)")});
  }
  bool OnSQLite() const { return GetParam() == TArchiveEngine::SQLite; }

  QTemporaryDir Dir;
  QString File = Dir.filePath("archivo.sqlite");
  std::string Address, Server, Database;
  TArchiveOrigin Download;
};
