// The history archive: keeping a download, drawing a year and a day of
// readings every ten seconds, what a reading costs on disk, and reading the
// records back. SQLite always; PostgreSQL too when TALVEX_TEST_POSTGRESQL
// names a server where databases may be made (run under
// tests/archive/with_postgresql.sh).
//
// The year (3.15 million records) is built once, in about a minute, and kept
// under the build folder (bench-data/) for later runs.
#include "archive/archive.h"
#include "archive/archive_address.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUrl>
#include <QVariant>

#include <benchmark/benchmark.h>

#include <unistd.h>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const std::int64_t kFirst = StampSeconds(TStamp{2025, 1, 1, 0, 0, 0});
constexpr int kStep = 10;
constexpr std::int64_t kYearRecords = 365LL * 86400 / kStep;

// Sixteen probes of a cold room read every ten seconds: each wanders slowly
// around its own level, with now and then a door opened (a one-sample jump).
class TReadings {
public:
  TArchiveRecord Next() {
    TArchiveRecord r;
    r.Instant = StampFromSeconds(kFirst + Index_ * kStep);
    for (int k = 0; k < 16; ++k) {
      std::int32_t &v = Level_[static_cast<size_t>(k)];
      v += static_cast<std::int32_t>(Random() % 3) - 1;
      if (v < -400 || v > 400) v = 40 * (k - 8);
      r.Values[static_cast<size_t>(k)] = Random() % 5000 == 0 ? v + 150 : v;
    }
    ++Index_;
    return r;
  }
  std::vector<TArchiveRecord> Take(std::int64_t n) {
    std::vector<TArchiveRecord> out;
    out.reserve(static_cast<size_t>(n));
    for (std::int64_t i = 0; i < n; ++i) out.push_back(Next());
    return out;
  }

private:
  std::uint32_t Random() {
    State_ = State_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<std::uint32_t>(State_ >> 33);
  }
  std::uint64_t State_ = 20250101;
  std::int64_t Index_ = 0;
  std::array<std::int32_t, 16> Level_ = {-320, -280, -240, -200, -160, -120, -80, -40,
                                         0,    40,   80,   120,  160,  200,  240, 280};
};

// A database of its own on the PostgreSQL server the environment names,
// dropped at the end; empty when none is named.
class TServerDatabase {
public:
  TServerDatabase() {
    const char *server = std::getenv("TALVEX_TEST_POSTGRESQL");
    if (!server || !*server) return;
    Server_ = server;
    Name_ = "talvex_bench_" + std::to_string(getpid());
    Run("DROP DATABASE IF EXISTS " + Name_);
    Run("CREATE DATABASE " + Name_);
    QUrl url(QString::fromStdString(Server_));
    url.setPath(QString::fromStdString("/" + Name_));
    Address_ = url.toString().toStdString();
  }
  ~TServerDatabase() {
    if (!Address_.empty()) Run("DROP DATABASE " + Name_ + " WITH (FORCE)");
  }
  TServerDatabase(const TServerDatabase &) = delete;
  TServerDatabase &operator=(const TServerDatabase &) = delete;
  const std::string &Address() const { return Address_; }

private:
  void Run(const std::string &sql) {
    const TArchiveAddress a = ParseArchiveAddress(Server_);
    {
      QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "bench-server");
      db.setHostName(QString::fromStdString(a.Host));
      if (a.Port > 0) db.setPort(a.Port);
      db.setUserName(QString::fromStdString(a.User));
      db.setDatabaseName(QString::fromStdString(a.Database));
      if (!db.open()) std::fprintf(stderr, "bench_archive: %s\n", db.lastError().text().toUtf8().constData());
      QSqlQuery q(db);
      if (!q.exec(QString::fromStdString(sql))) {
        std::fprintf(stderr, "bench_archive: %s\n", q.lastError().text().toUtf8().constData());
      }
    }
    QSqlDatabase::removeDatabase("bench-server");
  }
  std::string Server_, Name_, Address_;
};

// One download after another into an archive that already holds a week,
// each of 2,000 new records: the write a finished download costs, its sync
// on commit included.
void StoreDownloads(benchmark::State &state, const std::string &address) {
  TReadings readings;
  TArchive archive(address);
  archive.StoreRecords("cámara", "/dev/ttyUSB0", {}, readings.Take(7 * 8640));
  for (auto _ : state) {
    state.PauseTiming();
    const std::vector<TArchiveRecord> download = readings.Take(2000);
    state.ResumeTiming();
    const TStoreResult r = archive.StoreRecords("cámara", "/dev/ttyUSB0", {}, download);
    if (r.Added != 2000) state.SkipWithError("the download was not all new");
  }
  state.SetItemsProcessed(state.iterations() * 2000);
}

void BM_StoreDownload_SQLite(benchmark::State &state) {
  QTemporaryDir dir;
  StoreDownloads(state, dir.filePath("archivo.sqlite").toStdString());
}
BENCHMARK(BM_StoreDownload_SQLite)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StoreDownload_PostgreSQL(benchmark::State &state) {
  const TServerDatabase db;
  StoreDownloads(state, db.Address());
}

// The same download again: every record found already held.
void BM_StoreDownloadAgain_SQLite(benchmark::State &state) {
  QTemporaryDir dir;
  TReadings readings;
  TArchive archive(dir.filePath("archivo.sqlite").toStdString());
  const std::vector<TArchiveRecord> download = readings.Take(2000);
  archive.StoreRecords("cámara", "", {}, download);
  for (auto _ : state) benchmark::DoNotOptimize(archive.StoreRecords("cámara", "", {}, download).AlreadyHeld);
  state.SetItemsProcessed(state.iterations() * 2000);
}
BENCHMARK(BM_StoreDownloadAgain_SQLite)->Unit(benchmark::kMillisecond)->UseRealTime();

// A year of readings every ten seconds, made once: a download of a day at a
// time, as a logger emptied daily would bring them.
std::string YearArchive() {
  const QString folder = QCoreApplication::applicationDirPath() + "/../bench-data";
  const QString path = folder + QString("/anio-10s-esquema%1.sqlite").arg(kArchiveSchemaVersion);
  if (QFileInfo::exists(path)) return path.toStdString();
  QDir().mkpath(folder);
  const QString building = path + ".haciendo";
  QFile::remove(building);
  QFile::remove(building + "-wal");
  QFile::remove(building + "-shm");
  std::fprintf(stderr, "bench_archive: building a year of readings in %s (once)...\n", path.toUtf8().constData());
  const auto start = std::chrono::steady_clock::now();
  {
    TArchive archive(building.toStdString());
    TReadings readings;
    for (int day = 0; day < 365; ++day) archive.StoreRecords("cámara", "", {}, readings.Take(8640));
  }
  std::fprintf(stderr, "bench_archive: built in %.0f s\n",
               std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  QFile::rename(building, path);
  return path.toStdString();
}

TStamp Day(int day) { return StampFromSeconds(kFirst + day * 86400LL); }

void BM_OutlineYear(benchmark::State &state) {
  TArchive archive(YearArchive());
  const int columns = static_cast<int>(state.range(0));
  std::int64_t records = 0;
  for (auto _ : state) records = archive.Outline("cámara", Day(0), Day(365), columns).Records;
  state.counters["records"] = static_cast<double>(records);
  if (records != kYearRecords) state.SkipWithError("the year is not whole");
}
BENCHMARK(BM_OutlineYear)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond)->UseRealTime();

// A different day each time, as a user stepping through them.
void BM_OutlineDay(benchmark::State &state) {
  TArchive archive(YearArchive());
  const int columns = static_cast<int>(state.range(0));
  int day = 0;
  for (auto _ : state) {
    day = (day + 37) % 365;
    const TStamp from = Day(day);
    const TStamp to = StampFromSeconds(StampSeconds(Day(day + 1)) - 1);
    benchmark::DoNotOptimize(archive.Outline("cámara", from, to, columns).Records);
  }
}
BENCHMARK(BM_OutlineDay)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond)->UseRealTime();

// A month of readings every ten seconds on a server (259,200 records, made
// each run: the server is a throwaway one), outlined whole.
void BM_OutlineMonth_PostgreSQL(benchmark::State &state) {
  const TServerDatabase db;
  TArchive archive(db.Address());
  TReadings readings;
  for (int day = 0; day < 30; ++day) archive.StoreRecords("cámara", "", {}, readings.Take(8640));
  const int columns = static_cast<int>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(archive.Outline("cámara", Day(0), Day(30), columns).Records);
}

// Records read back a slice at a time, as an export takes them: 525,600.
void BM_ReadRecords(benchmark::State &state) {
  TArchive archive(YearArchive());
  const std::int64_t want = 525600;
  std::int64_t rows = 0;
  for (auto _ : state) {
    rows = 0;
    archive.ReadRecords("cámara", Day(100), StampFromSeconds(StampSeconds(Day(100)) + want * kStep - 1),
                        [&rows](const std::vector<TArchiveRecord> &slice) {
                          rows += static_cast<std::int64_t>(slice.size());
                          return true;
                        });
  }
  if (rows != want) state.SkipWithError("not every record came");
  state.SetItemsProcessed(state.iterations() * rows);
  state.counters["us_per_row"] =
      benchmark::Counter(static_cast<double>(state.iterations() * rows),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
}
BENCHMARK(BM_ReadRecords)->Unit(benchmark::kMillisecond)->UseRealTime();

// A million readings kept in downloads of 2,000 (0), or as live readings
// each with its PC time (1): the file's size per sample, the summaries'
// share apart.
void BM_BytesPerSample(benchmark::State &state) {
  const std::int64_t samples = 1000000;
  const bool live = state.range(0) == 1;
  for (auto _ : state) {
    QTemporaryDir dir;
    const QString path = dir.filePath("archivo.sqlite");
    {
      TArchive archive(path.toStdString());
      TReadings readings;
      TArchiveOrigin origin;
      if (live) origin.Kind = TOriginKind::Live;
      std::int64_t pcTime = 1796731200;
      for (std::int64_t n = 0; n < samples; n += 2000) {
        std::vector<TArchiveRecord> batch = readings.Take(2000);
        if (live) {
          for (TArchiveRecord &r : batch) r.PcTimeUtc = pcTime += 10;
          origin.PcTimeUtc = batch.front().PcTimeUtc;
        }
        archive.StoreRecords("cámara", "", origin, batch);
      }
    }
    const double bytes = static_cast<double>(QFileInfo(path).size() + QFileInfo(path + "-wal").size());
    double summaries = 0;
    {
      QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "bench-size");
      db.setDatabaseName(path);
      if (db.open()) {
        QSqlQuery q(db);
        if (q.exec("SELECT SUM(pgsize) FROM dbstat WHERE name = 'resumenes'") && q.next()) {
          summaries = q.value(0).toDouble();
        }
      }
    }
    QSqlDatabase::removeDatabase("bench-size");
    state.counters["bytes_per_sample"] = bytes / static_cast<double>(samples);
    state.counters["summaries_per_sample"] = summaries / static_cast<double>(samples);
  }
}
BENCHMARK(BM_BytesPerSample)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// The server's benchmarks are there only when a server is named: without
// one they have nothing to measure.
[[maybe_unused]] const bool kOnServer = [] {
  const char *server = std::getenv("TALVEX_TEST_POSTGRESQL");
  if (!server || !*server) return false;
  benchmark::RegisterBenchmark("BM_StoreDownload_PostgreSQL", BM_StoreDownload_PostgreSQL)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark("BM_OutlineMonth_PostgreSQL", BM_OutlineMonth_PostgreSQL)
      ->Arg(2000)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  return true;
}();

}  // namespace
