// Alarm rules: one live frame of 16 channels evaluated, a year of readings
// every ten seconds scanned for its events (3.15 million readings), and the
// archive finding a channel's events again over that year when its limits
// change, and around a live batch added to it (SQLite); a month's on
// PostgreSQL when TALVEX_TEST_POSTGRESQL names a server where databases may
// be made (run under tests/archive/with_postgresql.sh).
//
// The year's archive is built once, in about a minute, and kept under the
// build folder (bench-data/) for later runs.
#include "alarms/alarm_rules.h"
#include "archive/archive.h"
#include "archive/archive_address.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUrl>

#include <benchmark/benchmark.h>

#include <unistd.h>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const std::int64_t kFirst = StampSeconds(TStamp{2025, 1, 1, 0, 0, 0});
constexpr int kStep = 10;
constexpr std::int64_t kYearRecords = 365LL * 86400 / kStep;

// Sixteen probes of cold rooms: each follows its room's day (defrost in the
// afternoon, a little above its high limit for a while) with some noise, and
// now and then a door left open (half an hour warm).
class TProbes {
public:
  TAlarmValues Values(std::int64_t index) {
    TAlarmValues v;
    const double day = static_cast<double>(index % 8640) / 8640.0;
    const bool door = index % 86400 > 40000 && index % 86400 < 40180;
    for (int k = 0; k < kAlarmChannels; ++k) {
      const double level = 40.0 * (k - 8) + 28.0 * std::sin(2 * M_PI * (day + k / 16.0));
      v[static_cast<size_t>(k)] =
          static_cast<std::int32_t>(level) + static_cast<std::int32_t>(Random() % 7) - 3 + (door ? 60 : 0);
    }
    return v;
  }

private:
  std::uint32_t Random() {
    State_ = State_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<std::uint32_t>(State_ >> 33);
  }
  std::uint64_t State_ = 20250101;
};

// Each channel's own band, 2,5 °C either side of its level, a 10-minute delay.
TAlarmLimitSet Limits(int delayMinutes = 10) {
  TAlarmLimitSet limits;
  for (int k = 0; k < kAlarmChannels; ++k)
    limits[static_cast<size_t>(k)] = TAlarmLimits{40 * (k - 8) - 25, 40 * (k - 8) + 25, delayMinutes, 5};
  return limits;
}

void BM_EvaluatorFeedFrame(benchmark::State &state) {
  TProbes probes;
  std::vector<TAlarmValues> frames;
  for (std::int64_t i = 0; i < 8640; ++i) frames.push_back(probes.Values(i));
  TAlarmEvaluator evaluator(Limits());
  std::int64_t i = 0;
  std::size_t changes = 0;
  for (auto _ : state) {
    changes += evaluator.Feed(kFirst + i * kStep, frames[static_cast<size_t>(i % 8640)]).size();
    ++i;
  }
  benchmark::DoNotOptimize(changes);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EvaluatorFeedFrame)->Unit(benchmark::kMicrosecond);

// A year's readings in memory, made once.
const std::vector<TAlarmValues> &YearValues() {
  static const std::vector<TAlarmValues> year = [] {
    TProbes probes;
    std::vector<TAlarmValues> v;
    v.reserve(static_cast<size_t>(kYearRecords));
    for (std::int64_t i = 0; i < kYearRecords; ++i) v.push_back(probes.Values(i));
    return v;
  }();
  return year;
}

// Events only (the evaluator), and events with the figures and MKT of all
// sixteen channels (the whole scan, as the statistics run it).
void BM_EventsOfAYear(benchmark::State &state) {
  const std::vector<TAlarmValues> &year = YearValues();
  std::size_t events = 0;
  for (auto _ : state) {
    events = 0;
    TAlarmEvaluator evaluator(Limits());
    for (size_t i = 0; i < year.size(); ++i)
      for (const TAlarmEvaluator::TChange &c : evaluator.Feed(kFirst + static_cast<std::int64_t>(i) * kStep, year[i]))
        events += c.Started ? 0 : 1;
  }
  state.counters["events"] = static_cast<double>(events);
  state.SetItemsProcessed(state.iterations() * kYearRecords);
}
BENCHMARK(BM_EventsOfAYear)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ScanOfAYear(benchmark::State &state) {
  const std::vector<TAlarmValues> &year = YearValues();
  std::size_t events = 0;
  for (auto _ : state) {
    TSeriesAlarmScan scan(Limits());
    for (size_t i = 0; i < year.size(); ++i) scan.Add(kFirst + static_cast<std::int64_t>(i) * kStep, year[i]);
    events = scan.Finish().Events.size();
  }
  state.counters["events"] = static_cast<double>(events);
  state.SetItemsProcessed(state.iterations() * kYearRecords);
}
BENCHMARK(BM_ScanOfAYear)->Unit(benchmark::kMillisecond)->UseRealTime();

TStamp At(std::int64_t index) { return StampFromSeconds(kFirst + index * kStep); }

std::vector<TArchiveRecord> Records(std::int64_t from, std::int64_t to) {
  const std::vector<TAlarmValues> &year = YearValues();
  std::vector<TArchiveRecord> out;
  out.reserve(static_cast<size_t>(to - from));
  for (std::int64_t i = from; i < to; ++i) {
    TArchiveRecord r;
    r.Instant = At(i);
    r.Values = year[static_cast<size_t>(i % kYearRecords)];
    out.push_back(r);
  }
  return out;
}

// The year in an archive, a day's download at a time, limits on every
// channel; made once.
std::string YearArchive() {
  const QString folder = QCoreApplication::applicationDirPath() + "/../bench-data";
  const QString path = folder + QString("/alarmas-anio-10s-esquema%1.sqlite").arg(kArchiveSchemaVersion);
  if (QFileInfo::exists(path)) return path.toStdString();
  QDir().mkpath(folder);
  const QString building = path + ".haciendo";
  for (const char *end : {"", "-wal", "-shm"}) QFile::remove(building + end);
  std::fprintf(stderr, "bench_alarms: building a year of readings in %s (once)...\n", path.toUtf8().constData());
  {
    TArchive archive(building.toStdString());
    const TAlarmLimitSet limits = Limits();
    for (int k = 0; k < kAlarmChannels; ++k) archive.SetAlarmLimits("cámara", k, limits[static_cast<size_t>(k)]);
    for (int day = 0; day < 365; ++day)
      archive.StoreRecords("cámara", "", {}, Records(day * 8640LL, (day + 1) * 8640LL));
  }
  QFile::rename(building, path);
  return path.toStdString();
}

// A new delay on one channel: its events found again over the whole year.
void BM_RefindAYearOnNewLimits_SQLite(benchmark::State &state) {
  TArchive archive(YearArchive());
  int delay = 10;
  for (auto _ : state) {
    delay = delay == 10 ? 15 : 10;
    archive.SetAlarmLimits("cámara", 0, Limits(delay)[0]);
  }
  state.counters["events"] = static_cast<double>(archive.AlarmEvents("cámara", At(0), At(kYearRecords)).size());
  archive.SetAlarmLimits("cámara", 0, Limits()[0]);
  state.SetItemsProcessed(state.iterations() * kYearRecords);
}
BENCHMARK(BM_RefindAYearOnNewLimits_SQLite)->Unit(benchmark::kMillisecond)->UseRealTime();

// A live batch of a minute (six readings) after the year, limits on all
// sixteen channels: what finding events around it adds to keeping it.
void BM_LiveBatchAfterAYear_SQLite(benchmark::State &state) {
  YearValues();  // made before the clock runs
  const QString copy =
      QDir::temp().filePath(QString("talvex-bench-alarmas-%1.sqlite").arg(QCoreApplication::applicationPid()));
  QFile::remove(copy);
  QFile::copy(QString::fromStdString(YearArchive()), copy);
  {
    TArchive archive(copy.toStdString());
    TArchiveOrigin live;
    live.Kind = TOriginKind::Live;
    std::int64_t at = kYearRecords;
    std::size_t started = 0;
    for (auto _ : state) {
      std::vector<TArchiveRecord> batch = Records(at, at + 6);
      for (size_t i = 0; i < batch.size(); ++i)
        batch[i].PcTimeUtc = 1767225600 + (at + static_cast<std::int64_t>(i)) * kStep;
      started += archive.StoreRecords("cámara", "", live, batch).EventsStarted.size();
      at += 6;
    }
    state.counters["events_started"] = static_cast<double>(started);
  }
  for (const char *end : {"", "-wal", "-shm"}) QFile::remove(copy + end);
}
BENCHMARK(BM_LiveBatchAfterAYear_SQLite)->Unit(benchmark::kMillisecond)->UseRealTime();

// A month of those readings in a database of its own on the server, found
// again when a channel's delay changes: a round trip per stretch where
// something can happen.
void BM_RefindAMonthOnNewLimits_PostgreSQL(benchmark::State &state) {
  const char *server = std::getenv("TALVEX_TEST_POSTGRESQL");
  if (!server || !*server) {
    state.SkipWithError("TALVEX_TEST_POSTGRESQL names no server");
    for (auto _ : state) {
    }
    return;
  }
  const std::string name = "talvex_bench_alarmas_" + std::to_string(getpid());
  auto run = [&](const std::string &sql) {
    const TArchiveAddress a = ParseArchiveAddress(server);
    {
      QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "bench-alarmas");
      db.setHostName(QString::fromStdString(a.Host));
      if (a.Port > 0) db.setPort(a.Port);
      db.setUserName(QString::fromStdString(a.User));
      db.setDatabaseName(QString::fromStdString(a.Database));
      db.open();
      QSqlQuery(db).exec(QString::fromStdString(sql));
    }
    QSqlDatabase::removeDatabase("bench-alarmas");
  };
  run("CREATE DATABASE " + name);
  QUrl url(QString::fromStdString(server));
  url.setPath(QString::fromStdString("/" + name));
  {
    TArchive archive(url.toString().toStdString());
    const TAlarmLimitSet limits = Limits();
    for (int k = 0; k < kAlarmChannels; ++k) archive.SetAlarmLimits("cámara", k, limits[static_cast<size_t>(k)]);
    for (int day = 0; day < 30; ++day)
      archive.StoreRecords("cámara", "", {}, Records(day * 8640LL, (day + 1) * 8640LL));
    int delay = 10;
    for (auto _ : state) {
      delay = delay == 10 ? 15 : 10;
      archive.SetAlarmLimits("cámara", 0, Limits(delay)[0]);
    }
    state.counters["events"] = static_cast<double>(archive.AlarmEvents("cámara", At(0), At(30 * 8640)).size());
    state.SetItemsProcessed(state.iterations() * 30 * 8640);
  }
  run("DROP DATABASE " + name + " WITH (FORCE)");
}
BENCHMARK(BM_RefindAMonthOnNewLimits_PostgreSQL)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
