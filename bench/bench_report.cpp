// The PDF report: of a download of 2,000 records (the logger's whole
// memory), and of a year of readings every ten seconds from the archive
// (3.15 million records, read once for the figures and the hash, the chart
// from the range's outline). Each run writes the whole file.
//
// The year is built once, with limits on two channels so it has alarm
// events, and kept under the build folder (bench-data/) for later runs.
#include "archive/archive.h"
#include "data/data_file_reader.h"
#include "data/text_file_writer.h"
#include "report/report.h"
#include "report/report_sources.h"
#include "runtime/format_settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

const std::int64_t kFirst = StampSeconds(TStamp{2025, 1, 1, 0, 0, 0});
constexpr int kStep = 10;

std::array<bool, kAlarmChannels> AllShown() {
  std::array<bool, kAlarmChannels> shown{};
  shown.fill(true);
  return shown;
}

// A cold room's sixteen probes wandering about their levels, now and then a
// door opened.
std::vector<TArchiveRecord> Readings(std::int64_t from, std::int64_t count, std::uint64_t &state) {
  std::vector<TArchiveRecord> out(static_cast<size_t>(count));
  for (std::int64_t i = 0; i < count; ++i) {
    TArchiveRecord &r = out[static_cast<size_t>(i)];
    r.Instant = StampFromSeconds(kFirst + (from + i) * kStep);
    for (int k = 0; k < kAlarmChannels; ++k) {
      state = state * 6364136223846793005ULL + 1442695040888963407ULL;
      const std::uint32_t random = static_cast<std::uint32_t>(state >> 33);
      const double wave = 40 * std::sin(static_cast<double>(from + i) / 4000.0 + k);
      r.Values[static_cast<size_t>(k)] =
          static_cast<std::int32_t>(50 + 10 * k + wave + (random % 4000 == 0 ? 150 : 0) + random % 3);
    }
  }
  return out;
}

void BM_ReportDownload(benchmark::State &state) {
  ApplyProgramFormats();
  QTemporaryDir dir;
  const std::string data = dir.filePath("datos.txt").toStdString(), pdf = dir.filePath("informe.pdf").toStdString();
  {
    std::uint64_t seed = 7;
    const TDataTable table = RecordsTable(Readings(0, 2000, seed));
    SaveTextFile(data, table, 2000);
  }
  const TOpenedData opened = ReadDataFile(data);
  TReportArchiveFacts facts;
  facts.Limits[0].High = 150;
  facts.Limits[1].Low = 40;
  for (auto _ : state) {
    const TReport report = ReportFromTable(opened.Table, opened.Records, ChannelsInOwnOrder(opened.ColumnOrder),
                                           AllShown(), "cámara", FileSourceText(data), facts);
    WriteReportPdf(report, pdf);
  }
  state.counters["KiB"] = static_cast<double>(QFileInfo(QString::fromStdString(pdf)).size()) / 1024;
}
BENCHMARK(BM_ReportDownload)->Unit(benchmark::kMillisecond)->UseRealTime();

std::string YearArchive() {
  const QString folder = QCoreApplication::applicationDirPath() + "/../bench-data";
  const QString path = folder + QString("/informe-anio-10s-esquema%1.sqlite").arg(kArchiveSchemaVersion);
  if (QFileInfo::exists(path)) return path.toStdString();
  QDir().mkpath(folder);
  const QString building = path + ".haciendo";
  for (const char *end : {"", "-wal", "-shm"}) QFile::remove(building + end);
  std::fprintf(stderr, "bench_report: building a year of readings in %s (once)...\n", path.toUtf8().constData());
  const auto start = std::chrono::steady_clock::now();
  {
    TArchive archive(building.toStdString());
    TAlarmLimits high, low;
    high.High = 150;
    low.Low = 40;
    archive.SetAlarmLimits("cámara", 0, high);
    archive.SetAlarmLimits("cámara", 1, low);
    std::uint64_t seed = 11;
    for (int day = 0; day < 365; ++day) archive.StoreRecords("cámara", "", {}, Readings(day * 8640LL, 8640, seed));
  }
  std::fprintf(stderr, "bench_report: built in %.0f s\n",
               std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  QFile::rename(building, path);
  return path.toStdString();
}

void BM_ReportYearFromArchive(benchmark::State &state) {
  ApplyProgramFormats();
  TArchive archive(YearArchive());
  QTemporaryDir dir;
  const std::string pdf = dir.filePath("informe.pdf").toStdString();
  const TStamp from = StampFromSeconds(kFirst), to = StampFromSeconds(kFirst + 365LL * 86400 - 1);
  std::int64_t records = 0;
  std::size_t events = 0;
  for (auto _ : state) {
    const TReport report = ReportFromArchive(archive, "cámara", from, to, AllShown());
    WriteReportPdf(report, pdf);
    records = report.Records;
    events = report.Events.size();
  }
  state.counters["records"] = static_cast<double>(records);
  state.counters["events"] = static_cast<double>(events);
  state.counters["KiB"] = static_cast<double>(QFileInfo(QString::fromStdString(pdf)).size()) / 1024;
}
BENCHMARK(BM_ReportYearFromArchive)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace
