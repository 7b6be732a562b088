// A year of a logger at one record a minute (525,600 records) in the history
// archive, written out as the CSV, the workbook and the program's text file,
// and its statistics; the bare read of the year beside them, which every
// one of those pays. The archive is made once and kept in the build folder
// (bench-cache/), since storing a year takes longer than exporting it.
#include "archive/archive.h"
#include "archive/archive_export.h"
#include "archive/archive_statistics.h"
#include "runtime/format_settings.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int kYearMinutes = 525600;
const TStamp kFirst{2025, 1, 1, 0, 0, 0};
const TStamp kLast{2025, 12, 31, 23, 59, 0};

TStamp Minute(int m) { return StampFromSeconds(StampSeconds(kFirst) + m * 60LL); }

// The year's records: slow swings a few degrees apart per channel, now and
// then a missing value, and below zero on some channels.
void StoreYear(const std::string &path) {
  TArchive archive(path);
  const int chunk = 43200;  // a month: each one download, one transaction
  for (int start = 0; start < kYearMinutes; start += chunk) {
    std::vector<TArchiveRecord> records;
    for (int m = start; m < start + chunk && m < kYearMinutes; ++m) {
      TArchiveRecord r;
      r.Instant = Minute(m);
      for (int k = 0; k < 16; ++k) {
        if ((m + k) % 9973 == 0) continue;
        r.Values[static_cast<size_t>(k)] = -150 + k * 30 + (m / 7 + k * 13) % 200;
      }
      records.push_back(r);
    }
    archive.StoreRecords("cámara", "", TArchiveOrigin{}, records);
  }
}

// bench-cache/ beside the folder of this program (build/bin/..).
std::string YearArchive() {
  static std::string path;
  if (!path.empty()) return path;
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  const QString exe = n > 0 ? QString::fromUtf8(self, static_cast<int>(n)) : QString(".");
  const QString folder = QFileInfo(exe).absoluteDir().absoluteFilePath("../bench-cache");
  QDir().mkpath(folder);
  path = QDir(folder).absoluteFilePath("archivo-un-ano-por-minuto-v1.sqlite").toStdString();
  if (!QFile::exists(QString::fromStdString(path))) {
    // Made under another name and renamed when whole: a run cut short never
    // leaves half a year that a later run would take for the whole.
    const std::string making = path + ".haciendo-" + std::to_string(getpid());
    StoreYear(making);
    std::rename(making.c_str(), path.c_str());
  }
  return path;
}

std::string Scratch(const std::string &name) {
  const char *tmp = std::getenv("TMPDIR");
  return std::string(tmp && *tmp ? tmp : "/tmp") + "/talvex-bench-" + std::to_string(getpid()) + "-" + name;
}

void BM_ReadTheYear(benchmark::State &state) {
  TArchive archive(YearArchive());
  for (auto _ : state) {
    std::int64_t records = 0;
    archive.ReadRecords("cámara", kFirst, kLast, [&](const std::vector<TArchiveRecord> &slice) {
      records += static_cast<std::int64_t>(slice.size());
      return true;
    });
    benchmark::DoNotOptimize(records);
  }
  state.SetItemsProcessed(state.iterations() * kYearMinutes);
}
BENCHMARK(BM_ReadTheYear)->Unit(benchmark::kMillisecond)->Iterations(2);

// Progress is asked for as the window asks for it, and counted: the export
// timed is the one a user can follow and cancel.
void ExportTheYear(benchmark::State &state, TExportFormat format, const char *name) {
  ApplyProgramFormats();
  TArchive archive(YearArchive());
  const std::string path = Scratch(name);
  std::int64_t calls = 0;
  for (auto _ : state) {
    const auto written = ExportArchiveRange(archive, "cámara", kFirst, kLast, path, format, TCsvStyle::Semicolon, {},
                                            [&](std::int64_t, std::int64_t) { return ++calls > 0; });
    if (!written || *written != kYearMinutes) state.SkipWithError("not the whole year");
  }
  state.counters["progress_calls"] = static_cast<double>(calls) / static_cast<double>(state.iterations());
  state.counters["bytes"] = static_cast<double>(QFileInfo(QString::fromStdString(path)).size());
  state.SetItemsProcessed(state.iterations() * kYearMinutes);
  std::remove(path.c_str());
}

void BM_ExportTheYearCsv(benchmark::State &state) { ExportTheYear(state, TExportFormat::Csv, "anual.csv"); }
BENCHMARK(BM_ExportTheYearCsv)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ExportTheYearText(benchmark::State &state) { ExportTheYear(state, TExportFormat::Text, "anual.txt"); }
BENCHMARK(BM_ExportTheYearText)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ExportTheYearXlsx(benchmark::State &state) { ExportTheYear(state, TExportFormat::Xlsx, "anual.xlsx"); }
BENCHMARK(BM_ExportTheYearXlsx)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_StatisticsOfTheYear(benchmark::State &state) {
  TArchive archive(YearArchive());
  TStatLimits limits;
  limits.Upper = 300;
  for (auto _ : state) {
    const auto stats = ArchiveStatistics(archive, "cámara", kFirst, kLast, limits);
    if (!stats || stats->Stats.Records != kYearMinutes) state.SkipWithError("not the whole year");
  }
  state.SetItemsProcessed(state.iterations() * kYearMinutes);
}
BENCHMARK(BM_StatisticsOfTheYear)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
