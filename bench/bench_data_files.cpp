// Saved files and spreadsheets at a hundred thousand records: opening a saved
// text file into the data window's grid (time, and memory against the file's
// size), exporting CSV and XLSX, and the statistics of 16 channels.
#include "data/data_export.h"
#include "data/data_file_reader.h"
#include "data/data_statistics.h"
#include "data/dump_decoder.h"
#include "data/dump_lines.h"
#include "data/string_grid.h"
#include "data/text_file_writer.h"
#include "runtime/format_settings.h"

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

// A decoded recording of `records` five-minute records whose channels all
// differ, as the data window holds it after a download.
TDataTable Recording(int records) {
  ApplyProgramFormats();
  std::string dump = "X04/03/15 00:30:10  2\r\n";
  for (int i = 0; i <= records; ++i) {
    for (int k = 0; k < 16; ++k) {
      const int raw = 200 + (i * 7 + k * 31) % 2500;
      char field[8];
      std::snprintf(field, sizeof field, "%03d%03d", raw / 256, raw % 256);
      dump += field;
    }
    dump += "\r\n";
  }
  dump += "A";
  TDataTable table(DataColumns, records + 1);
  TDumpHeader header;
  DOSCANALESLM35(SplitDumpLines(dump), table, header);
  return table;
}

std::string Scratch(const std::string &name) {
  const char *tmp = std::getenv("TMPDIR");
  return std::string(tmp && *tmp ? tmp : "/tmp") + "/talvex-bench-" + std::to_string(getpid()) + "-" + name;
}

long StatusKb(const char *field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::string key = std::string(field) + ":";
  while (std::getline(in, line))
    if (line.compare(0, key.size(), key) == 0) return std::atol(line.c_str() + key.size());
  return 0;
}

void BM_OpenSavedFileIntoTheGrid(benchmark::State &state) {
  const int records = static_cast<int>(state.range(0));
  const std::string path = Scratch("datos.txt");
  {
    const TDataTable table = Recording(records);
    std::ofstream(path, std::ios::binary) << BuildTextFile(table, records);
  }
  struct stat st;
  stat(path.c_str(), &st);
  TStringGrid grid(nullptr, DataColumns, 1);

  // Memory, once, outside the timing: the peak the open reaches above what
  // the process held before (the kernel's high-water mark, reset first), and
  // what stays.
  {
    // What making the file freed goes back to the system first, so the open
    // cannot hide in pages the process already held.
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = StatusKb("VmRSS");
    TOpenedData opened = ReadDataFile(path);
    grid.SetTable(std::move(opened.Table));
    grid.SetColumnOrder(opened.ColumnOrder);
    const long peak = StatusKb("VmHWM");
    const long after = StatusKb("VmRSS");
    state.counters["file_MB"] = st.st_size / 1e6;
    state.counters["peak_x_file"] = (peak - before) * 1024.0 / st.st_size;
    state.counters["kept_x_file"] = (after - before) * 1024.0 / st.st_size;
  }
  for (auto _ : state) {
    TOpenedData opened = ReadDataFile(path);
    grid.SetTable(std::move(opened.Table));
    grid.SetColumnOrder(opened.ColumnOrder);
  }
  unlink(path.c_str());
  state.SetItemsProcessed(state.iterations() * records);
}
BENCHMARK(BM_OpenSavedFileIntoTheGrid)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ExportCsv(benchmark::State &state) {
  const int records = static_cast<int>(state.range(0));
  const TDataTable table = Recording(records);
  const std::string path = Scratch("datos.csv");
  for (auto _ : state) SaveRecords(path, TExportFormat::Csv, {table, records, {}}, TCsvStyle::Semicolon, {});
  unlink(path.c_str());
  state.SetItemsProcessed(state.iterations() * records);
}
BENCHMARK(BM_ExportCsv)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ExportXlsx(benchmark::State &state) {
  const int records = static_cast<int>(state.range(0));
  const TDataTable table = Recording(records);
  const std::string path = Scratch("datos.xlsx");
  TStatLimits limits;
  limits.Upper = 250;
  for (auto _ : state) SaveRecords(path, TExportFormat::Xlsx, {table, records, {}}, TCsvStyle::Comma, limits);
  unlink(path.c_str());
  state.SetItemsProcessed(state.iterations() * records);
}
BENCHMARK(BM_ExportXlsx)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_Statistics(benchmark::State &state) {
  const int records = static_cast<int>(state.range(0));
  const TDataTable table = Recording(records);
  TStatLimits limits;
  limits.Upper = 250;
  limits.Lower = 0;
  for (auto _ : state) benchmark::DoNotOptimize(ComputeStatistics(table, records, {}, limits).Channels[15].Mean);
  state.SetItemsProcessed(state.iterations() * records * 16);
}
BENCHMARK(BM_Statistics)->Arg(100000)->Unit(benchmark::kMillisecond);

// The same with a logger's alarm limits on every channel: the events found
// besides the MKT.
void BM_StatisticsWithAlarmLimits(benchmark::State &state) {
  const int records = static_cast<int>(state.range(0));
  const TDataTable table = Recording(records);
  TAlarmOptions alarms;
  alarms.Limits.emplace();
  for (TAlarmLimits &l : *alarms.Limits) {
    l.High = 250;
    l.Low = 0;
  }
  for (auto _ : state)
    benchmark::DoNotOptimize(ComputeStatistics(table, records, {}, {}, alarms).Channels[15].Alarm.HighEvents);
  state.SetItemsProcessed(state.iterations() * records * 16);
}
BENCHMARK(BM_StatisticsWithAlarmLimits)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
