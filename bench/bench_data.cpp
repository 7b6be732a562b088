// Downloaded data: decoding a dump into the table, filling the data window's
// grid, writing the text file, and a 100 000-record dump to see that the cost
// per record stays flat.
#include "data/data_window.h"
#include "data/dump_decoder.h"
#include "data/dump_lines.h"
#include "data/text_file_writer.h"
#include "runtime/format_settings.h"

#include <benchmark/benchmark.h>

#include <unistd.h>
#include <cstdio>
#include <string>

namespace {

// A dump as the logger sends it: header, `records` record lines plus the one
// before the end mark, CR LF line ends, the end mark.
std::string MakeDump(int records) {
  std::string dump = "X04/03/15 00:30:10  2\r\n";
  dump.reserve(static_cast<size_t>(records + 2) * 98 + 32);
  for (int i = 0; i <= records; ++i) {
    for (int k = 0; k < 16; ++k) {
      const int raw = 500 + (i * 7 + k * 31) % 2500;
      char field[8];
      std::snprintf(field, sizeof field, "%03d%03d", raw / 256, raw % 256);
      dump += field;
    }
    dump += "\r\n";
  }
  dump += "A";
  return dump;
}

void BM_DecodeDump(benchmark::State &state) {
  ApplyProgramFormats();
  const int records = static_cast<int>(state.range(0));
  const std::string dump = MakeDump(records);
  TDataTable table(DataColumns, records + 1);
  TDumpHeader header;
  for (auto _ : state) {
    table.Clear();
    const TDumpLines lines = SplitDumpLines(dump);
    DOSCANALESLM35(lines, table, header);
    benchmark::DoNotOptimize(table.Cells(18, records).data());
  }
  state.SetItemsProcessed(state.iterations() * records);
}
BENCHMARK(BM_DecodeDump)->Arg(2000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The whole activation of the window: emptying, sizing and filling the grid
// and telling the view.
void BM_FillGrid(benchmark::State &state) {
  ApplyProgramFormats();
  const int records = static_cast<int>(state.range(0));
  const std::string dump = MakeDump(records);
  TForm5 form(dump);
  for (auto _ : state) form.FormActivate();
  state.SetItemsProcessed(state.iterations() * records);
}
BENCHMARK(BM_FillGrid)->Arg(2000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_BuildTextFile(benchmark::State &state) {
  ApplyProgramFormats();
  const int records = static_cast<int>(state.range(0));
  const std::string dump = MakeDump(records);
  TDataTable table(DataColumns, records + 1);
  TDumpHeader header;
  DOSCANALESLM35(SplitDumpLines(dump), table, header);
  for (auto _ : state) benchmark::DoNotOptimize(BuildTextFile(table, records).size());
  state.SetItemsProcessed(state.iterations() * records);
}
BENCHMARK(BM_BuildTextFile)->Arg(2000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Saving to disk, fsync and rename included.
void BM_SaveTextFile(benchmark::State &state) {
  ApplyProgramFormats();
  const int records = static_cast<int>(state.range(0));
  const std::string dump = MakeDump(records);
  TDataTable table(DataColumns, records + 1);
  TDumpHeader header;
  DOSCANALESLM35(SplitDumpLines(dump), table, header);
  const std::string path = "/tmp/talvex-bench-" + std::to_string(getpid()) + ".txt";
  for (auto _ : state) SaveTextFile(path, table, records);
  unlink(path.c_str());
  state.SetItemsProcessed(state.iterations() * records);
}
BENCHMARK(BM_SaveTextFile)->Arg(2000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
