#include "archive/archive_export.h"
#include "archive/archive.h"
#include "archive/archive_address.h"
#include "archive/archive_statistics.h"
#include "common/test_files.h"
#include "data/data_export.h"
#include "data/data_statistics.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUrl>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

// The engine by its name in the test list (archive_test.cpp).
void PrintTo(TArchiveEngine engine, std::ostream *out);

namespace {

TStamp At(int minute) { return StampFromSeconds(StampSeconds(TStamp{2026, 3, 1, 0, 0, 0}) + minute * 60LL); }

// Values that exercise every text: negatives, below one degree, missing.
TArchiveRecord Varied(int minute, int salt = 0) {
  TArchiveRecord r;
  r.Instant = At(minute);
  for (int k = 0; k < 16; ++k) {
    const int v = (minute * 37 + k * 53 + salt * 11) % 900 - 300;
    if ((minute + k) % 11 != 3) r.Values[static_cast<size_t>(k)] = v;
  }
  return r;
}

// Two workbooks that read the same, cell for cell, with the same formats.
const char *const kSameWorkbook = R"(
import sys, openpyxl
a, b = openpyxl.load_workbook(sys.argv[1]), openpyxl.load_workbook(sys.argv[2])
assert a.sheetnames == b.sheetnames == ['Datos', 'Estadísticas'], (a.sheetnames, b.sheetnames)
for name in a.sheetnames:
    x, y = a[name], b[name]
    assert x.freeze_panes == y.freeze_panes, name
    assert (x.max_row, x.max_column) == (y.max_row, y.max_column), (name, x.max_row, y.max_row)
    for rx, ry in zip(x.iter_rows(), y.iter_rows()):
        for cx, cy in zip(rx, ry):
            assert (cx.value, cx.number_format, cx.font.b) == (cy.value, cy.number_format, cy.font.b), \
                (name, cx.coordinate, cx.value, cy.value)
)";

// One statement on the PostgreSQL server the tests were given.
void OnServer(const std::string &server, const std::string &sql) {
  const TArchiveAddress a = ParseArchiveAddress(server);
  {
    QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "exportar-servidor");
    db.setDatabaseName(QString::fromStdString(a.Database));
    db.setHostName(QString::fromStdString(a.Host));
    if (a.Port > 0) db.setPort(a.Port);
    db.setUserName(QString::fromStdString(a.User));
    ASSERT_TRUE(db.open()) << db.lastError().text().toStdString();
    QSqlQuery q(db);
    EXPECT_TRUE(q.exec(QString::fromStdString(sql))) << sql << ": " << q.lastError().text().toStdString();
  }
  QSqlDatabase::removeDatabase("exportar-servidor");
}

// On SQLite always, on PostgreSQL when TALVEX_TEST_POSTGRESQL names a server
// (tests/archive/with_postgresql.sh), in a database of each test's own.
class ArchiveExport : public ::testing::TestWithParam<TArchiveEngine> {
protected:
  void SetUp() override {
    ASSERT_TRUE(Dir.isValid());
    if (GetParam() == TArchiveEngine::PostgreSQL) {
      const char *server = std::getenv("TALVEX_TEST_POSTGRESQL");
      if (!server || !*server) GTEST_SKIP() << "TALVEX_TEST_POSTGRESQL names no PostgreSQL server";
      Server = server;
      static int n = 0;
      Database = "talvex_exportar_" + std::to_string(getpid()) + "_" + std::to_string(++n);
      OnServer(Server, "CREATE DATABASE " + Database);
      QUrl url(QString::fromStdString(Server));
      url.setPath(QString::fromStdString("/" + Database));
      Address = url.toString().toStdString();
    }
    TArchive archive(Address);
    std::vector<TArchiveRecord> first, second;
    for (int m = 0; m < 300; ++m) first.push_back(Varied(m));
    // A gap of an hour, then a second download at five minutes that fills
    // some instants again with other values: versions beside.
    for (int m = 360; m < 600; m += 5) second.push_back(Varied(m));
    for (int m = 100; m < 120; m += 2) second.push_back(Varied(m, 1));
    archive.StoreRecords("cámara", "", TArchiveOrigin{}, first);
    archive.StoreRecords("cámara", "", TArchiveOrigin{}, second);
  }
  void TearDown() override {
    if (!Database.empty()) OnServer(Server, "DROP DATABASE " + Database + " WITH (FORCE)");
  }
  std::string Path(const std::string &name) const { return Dir.filePath(QString::fromStdString(name)).toStdString(); }

  QTemporaryDir Dir;
  std::string Address = Path("archivo.sqlite");
  std::string Server, Database;
};

INSTANTIATE_TEST_SUITE_P(Engines, ArchiveExport, ::testing::Values(TArchiveEngine::SQLite, TArchiveEngine::PostgreSQL),
                         ::testing::PrintToStringParamName());

struct TRange {
  const char *Name;
  int From, To;
};
const TRange kRanges[] = {
    {"everything", -10, 700}, {"both ends inside", 50, 400}, {"one record", 7, 7}, {"nothing", 301, 359}};

TEST_P(ArchiveExport, ARangeIsWrittenAsTheDataWindowSavesTheSameRecords) {
  TArchive archive(Address);
  TStatLimits limits;
  limits.Upper = 400;
  limits.Lower = -200;
  struct TFormat {
    const char *Name;
    TExportFormat Format;
    TCsvStyle Style;
  } const formats[] = {{"texto", TExportFormat::Text, TCsvStyle::Comma},
                       {"coma.csv", TExportFormat::Csv, TCsvStyle::Comma},
                       {"punto_y_coma.csv", TExportFormat::Csv, TCsvStyle::Semicolon},
                       {"libro.xlsx", TExportFormat::Xlsx, TCsvStyle::Comma}};
  for (const TRange &range : kRanges) {
    const std::vector<TArchiveRecord> records = archive.Records("cámara", At(range.From), At(range.To));
    const TDataTable table = RecordsTable(records);
    for (const TFormat &f : formats) {
      SCOPED_TRACE(std::string(range.Name) + ", " + f.Name);
      const std::string ours = Path(std::string("archivo_") + f.Name), theirs = Path(std::string("ventana_") + f.Name);
      const auto written =
          ExportArchiveRange(archive, "cámara", At(range.From), At(range.To), ours, f.Format, f.Style, limits);
      ASSERT_TRUE(written);
      EXPECT_EQ(*written, static_cast<std::int64_t>(records.size()));
      SaveRecords(theirs, f.Format, {table, static_cast<int>(records.size()), {}}, f.Style, limits);
      if (f.Format == TExportFormat::Xlsx) EXPECT_EQ(Python(kSameWorkbook, ours, theirs), "");
      else EXPECT_EQ(ReadFile(ours), ReadFile(theirs));
    }
  }
}

TEST_P(ArchiveExport, StatisticsOfARangeAreTheDataWindowsForTheSameRecords) {
  TArchive archive(Address);
  TStatLimits limits;
  limits.Upper = 400;
  limits.Lower = -200;
  // Besides the stored ranges: records that all share one instant.
  archive.StoreRecords("una hora", "", TArchiveOrigin{}, {Varied(5), Varied(5, 1), Varied(5, 2)});
  struct TCase {
    const char *Logger;
    TRange Range;
  };
  std::vector<TCase> cases;
  for (const TRange &r : kRanges) cases.push_back({"cámara", r});
  cases.push_back({"cámara", {"regular", 400, 500}});
  cases.push_back({"una hora", {"one instant thrice", 0, 10}});
  for (const TCase &c : cases) {
    SCOPED_TRACE(std::string(c.Logger) + ": " + c.Range.Name);
    const std::vector<TArchiveRecord> records = archive.Records(c.Logger, At(c.Range.From), At(c.Range.To));
    const TDataStatistics want = ComputeStatistics(RecordsTable(records), static_cast<int>(records.size()), {}, limits);
    const auto got = ArchiveStatistics(archive, c.Logger, At(c.Range.From), At(c.Range.To), limits);
    ASSERT_TRUE(got);
    const TDataStatistics &s = got->Stats;
    EXPECT_EQ(s.Records, want.Records);
    EXPECT_EQ(s.IntervalsKnown, want.IntervalsKnown);
    EXPECT_EQ(s.Irregular, want.Irregular);
    EXPECT_EQ(s.ShortestStepSeconds, want.ShortestStepSeconds);
    EXPECT_EQ(s.LongestStepSeconds, want.LongestStepSeconds);
    EXPECT_EQ(s.StepMinutes, want.StepMinutes);
    EXPECT_EQ(s.SpacingText(), want.SpacingText());
    std::int64_t versioned = 0;
    for (size_t i = 0; i < records.size(); ++i) versioned += records[i].Version == 1 ? 1 : 0;
    EXPECT_EQ(got->InstantsWithVersions, versioned);
    EXPECT_EQ(got->First.has_value(), !records.empty());
    if (!records.empty()) {
      EXPECT_TRUE(*got->First == records.front().Instant && *got->Last == records.back().Instant);
    }
    for (size_t k = 0; k < 16; ++k) {
      SCOPED_TRACE(want.Channels[k].Name);
      const TChannelStats &a = s.Channels[k], &b = want.Channels[k];
      EXPECT_EQ(a.Name, b.Name);
      EXPECT_EQ(a.Count, b.Count);
      EXPECT_EQ(a.Above, b.Above);
      EXPECT_EQ(a.Below, b.Below);
      EXPECT_EQ(a.AboveSeconds, b.AboveSeconds);
      EXPECT_EQ(a.BelowSeconds, b.BelowSeconds);
      if (b.Count == 0) continue;
      EXPECT_EQ(a.Min, b.Min);
      EXPECT_EQ(a.Max, b.Max);
      EXPECT_EQ(a.MinRow, b.MinRow);
      EXPECT_EQ(a.MaxRow, b.MaxRow);
      EXPECT_TRUE(got->MinAt[k] == records[static_cast<size_t>(b.MinRow - 1)].Instant);
      EXPECT_TRUE(got->MaxAt[k] == records[static_cast<size_t>(b.MaxRow - 1)].Instant);
      EXPECT_EQ(a.Mean, b.Mean);
      EXPECT_EQ(a.StdDev, b.StdDev);
    }
  }
}

TEST_P(ArchiveExport, ACancelLeavesNoFileAndAnOldOneAsItWas) {
  TArchive archive(Address);
  QTemporaryDir out;
  auto in = [&out](const char *name) { return out.filePath(name).toStdString(); };
  const std::string old = in("anterior.csv");
  std::ofstream(old, std::ios::binary) << "lo que había";
  for (TExportFormat format : {TExportFormat::Text, TExportFormat::Csv, TExportFormat::Xlsx}) {
    // Cancelled at once, and once some records are read.
    for (std::int64_t after : {0, 1}) {
      SCOPED_TRACE(static_cast<int>(format) * 10 + after);
      auto cancel = [after](std::int64_t done, std::int64_t) { return done < after; };
      EXPECT_FALSE(
          ExportArchiveRange(archive, "cámara", At(0), At(700), in("nuevo"), format, TCsvStyle::Comma, {}, cancel));
      EXPECT_FALSE(ExportArchiveRange(archive, "cámara", At(0), At(700), old, format, TCsvStyle::Comma, {}, cancel));
      EXPECT_FALSE(ArchiveStatistics(archive, "cámara", At(0), At(700), {}, {}, cancel));
    }
  }
  EXPECT_EQ(ReadFile(old), "lo que había");
  // Nothing beside them either: no temporary file, no scratch workbook.
  EXPECT_EQ(QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList({"anterior.csv"}));
}

}  // namespace
